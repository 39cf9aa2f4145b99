// Writes the fixture set that tests/wine/parity.sh cleans with both builds:
//   wine_fixtures FOLDER
// files/  one file per layout of the end-to-end tests (tags, junk, RIFF,
//         Xing, cut-off frames, joined files, files that are no MP3), and
//         the sample
// lib/    a small library: files and sub-folders, a hidden file, a folder
//         whose name looks like a file
// names/  names that no single-byte code page can spell
#include <filesystem>
#include <iostream>
#include <string>

#include "support/mp3_fixtures.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using namespace scourby::testing;

namespace {

void Put(const fs::path& root, const std::string& name, const Bytes& content) {
  const fs::path path = root / fs::u8path(name);
  fs::create_directories(path.parent_path());
  WriteFile(path.string(), content);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: wine_fixtures FOLDER\n";
    return 2;
  }
  const fs::path root = argv[1];
  const Bytes frames = Frames(5);
  const Bytes head = Id3v2Tag(2038);
  const Bytes tag = Id3v1Tag();
  const Bytes shortened = Frames(4) + Frame().substr(0, 317);
  // Large enough to be read through many fillings of the read buffer.
  const Bytes many = Frames(12000);
  const Bytes large = Id3v2Tag(300000) + many.substr(0, 417 * 7000) + "JUNK" + many.substr(417 * 7000) + tag;

  const struct {
    const char* name;
    Bytes content;
  } files[] = {
      {"empty.mp3", ""},
      {"text.mp3", "hello, world\n"},
      {"frames.mp3", frames},
      {"both-tags.mp3", head + frames + tag},
      {"bad-v1-tag.mp3", frames + "TAG\x01"},
      {"junk.mp3", frames.substr(0, 1251) + "JUNKJUNKJUNK" + frames.substr(1251)},
      {"cut-off.mp3", frames + Frame().substr(0, 200)},
      {"lyrics.mp3", frames + "LYRICSBEGIN some words LYRICS200" + tag},
      {"riff.mp3", RiffWave(frames)},
      {"riff-avi.mp3", "RIFF" + Le32(4) + "AVI " + Frames(2)},
      {"riff-no-data.mp3", "RIFF" + Le32(4) + "WAVE" + "fmt " + Le32(0xFFFFFFFF) + Frames(2)},
      // Other audio: PCM in WAVE, FLAC behind an ID3v2 tag; a stream
      // behind junk that begins with fewer than 8 frames in a row.
      {"pcm-wave.mp3", RiffWave(frames, 0x0001)},
      {"flac.mp3", head + "fLaC" + frames},
      {"short-run.mp3", "JUNK" + Frames(5) + "JUNK" + Frames(8, 5)},
      // Tags at the end in either order, that /K keeps; one that lies.
      {"end-tags.mp3", head + frames + tag + ApeTag(true) + Id3v2FooterTag(40)},
      {"lyrics-then-tag.mp3", frames + Lyrics3V2() + tag},
      {"ape-lies.mp3", frames + "APETAGEX" + Le32(2000) + Le32(100000) + Le32(0) + Le32(0) + Bytes(8, '\0')},
      {"xing.mp3", XingFrame(3) + Frames(6)},
      {"far-junk.mp3", frames + Bytes(64100, '\0') + frames},
      {"tag-in-frame.mp3", shortened + tag},
      {"verbose-xing.mp3", Id3v2Tag(90) + XingFrame(2) + Frame(0xFB, 0x92, 0x64) + Frame().substr(0, 10)},
      {"large.mp3", large},
      // Files joined end to end, tags with pictures between them, damage.
      {"joined.mp3", XingFrame(3) + Frames(3) + tag + Id3v2PictureTag(70000) + XingFrame(2) + Frames(2) + tag},
      {"stacked-tags.mp3", head + Id3v2PictureTag(70000, 1) + frames + tag},
      {"picture-between.mp3", frames + Picture(30000, 2) + frames},
      {"stranded.mp3", Frames(3) + "JUNK" + Frame() + "JUNK" + Frames(3)},
      {"xing-then-junk.mp3", XingFrame(3) + Frames(4) + "JUNK"},
      {"sample.mp3", ReadFile(std::string(SCOURBY_SOURCE_DIR) + "/tests/data/sample.mp3")},
  };
  for (const auto& f : files) Put(root / "files", f.name, f.content);

  const Bytes song = Id3v2Tag(50) + Frames(3);
  for (const char* name : {"a.mp3", "b.mp3", "c-2.mp3", ".hidden.mp3", "x.mp3/inner.mp3", "sub/c.mp3",
                           "sub/deeper/a.mp3", "sub/deeper/b.txt", "sub2/d.mp3"}) {
    Put(root / "lib", name, song);
  }
  Put(root / "lib", "notes.txt", "not audio\r\n");

  for (const char* name : {"caf\xC3\xA9.mp3", "\xE6\x9B\xB2.mp3", "\xD0\xBF\xD0\xB5\xD1\x81\xD0\xBD\xD1\x8F/a.mp3"}) {
    Put(root / "names", name, song + Id3v1Tag());
  }
  return 0;
}
