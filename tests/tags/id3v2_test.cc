#include "tags/id3v2.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "support/test_support.h"

namespace scourby {
namespace {

using testing::Bytes;
using testing::CorpusDir;
using testing::TempDir;
using testing::WriteFile;

Bytes Header(std::uint8_t major, std::uint8_t revision, std::uint8_t flags, std::uint32_t sizeBytes) {
  return Bytes("ID3") + static_cast<char>(major) + static_cast<char>(revision) + static_cast<char>(flags) +
         static_cast<char>(sizeBytes >> 24) + static_cast<char>(sizeBytes >> 16) + static_cast<char>(sizeBytes >> 8) +
         static_cast<char>(sizeBytes);
}

// Reads the file through a reader positioned at start; returns where
// SkipId3v2 leaves it.
std::int64_t SkipFrom(const std::string& path, std::int64_t start, std::size_t bufferSize) {
  platform::File file = platform::File::OpenExisting(path, platform::FileAccess::kRead);
  EXPECT_TRUE(file.IsOpen()) << path;
  platform::Reader reader(file, bufferSize);
  reader.SetPosition(start);
  SkipId3v2(reader);
  return reader.Position();
}

struct Case {
  const char* name;
  Bytes tag;  // the bytes from the position on; 300 bytes of audio follow
  std::int64_t skipped;
};

TEST(SkipId3v2, Cases) {
  const Case cases[] = {
      {"size 00 00 02 01", Header(3, 0, 0x00, 0x00000201), 267},
      {"footer flag", Header(3, 0, 0x10, 0x00000201), 277},
      {"all flags: only the footer bit counts", Header(3, 0, 0xFF, 0x00000201), 277},
      {"all flags but the footer bit", Header(3, 0, 0xEF, 0x00000201), 267},
      {"size zero", Header(4, 0, 0x00, 0), 10},
      {"size zero with footer", Header(4, 0, 0x10, 0), 20},
      {"largest size, past the end of the file", Header(4, 0, 0x00, 0x7F7F7F7F), 268435465},
      {"largest size with footer", Header(4, 0, 0x10, 0x7F7F7F7F), 268435475},
      {"major 0, revision 0xFE accepted", Header(0, 0xFE, 0, 1), 11},
      {"major 0xFE accepted", Header(0xFE, 0, 0, 1), 11},
      {"major 0xFF", Header(0xFF, 0, 0, 1), 0},
      {"revision 0xFF", Header(3, 0xFF, 0, 1), 0},
      {"size byte 6 >= 0x80", Header(3, 0, 0, 0x80000001), 0},
      {"size byte 7 >= 0x80", Header(3, 0, 0, 0x00FF0001), 0},
      {"size byte 8 >= 0x80", Header(3, 0, 0, 0x00008001), 0},
      {"size byte 9 >= 0x80", Header(3, 0, 0, 0x00000080), 0},
      {"lower-case magic", "id3" + Header(3, 0, 0, 1).substr(3), 0},
      {"other magic", "ID4" + Header(3, 0, 0, 1).substr(3), 0},
      {"two tags back to back: only the first", Header(3, 0, 0, 5) + "12345" + Header(3, 0, 0, 5), 15},
  };
  TempDir dir;
  const Bytes audio(300, '\xAA');
  for (const Case& c : cases) {
    for (const std::int64_t start : {0, 37}) {  // 37: behind a RIFF header or other leading bytes
      WriteFile(dir / "f", Bytes(static_cast<std::size_t>(start), 'j') + c.tag + audio);
      for (const std::size_t bufferSize : {std::size_t{16}, platform::Reader::kDefaultBufferSize}) {
        SCOPED_TRACE(std::string(c.name) + " / start " + std::to_string(start) + " / buffer " +
                     std::to_string(bufferSize));
        EXPECT_EQ(SkipFrom(dir / "f", start, bufferSize), start + c.skipped);
      }
    }
  }
}

// The missing header bytes are never made up: a cut-off header is no tag.
TEST(SkipId3v2, HeaderCutOffByTheEndOfTheFileIsNoTag) {
  TempDir dir;
  const Bytes header = Header(3, 0, 0, 0);
  for (std::size_t length = 0; length < header.size(); ++length) {
    WriteFile(dir / "f", "jj" + header.substr(0, length));
    EXPECT_EQ(SkipFrom(dir / "f", 2, 16), 2) << length;
  }
  WriteFile(dir / "f", "jj" + header);
  EXPECT_EQ(SkipFrom(dir / "f", 2, 16), 12);
}

TEST(SkipId3v2, PositionPastTheEndIsNoTag) {
  TempDir dir;
  WriteFile(dir / "f", Header(3, 0, 0, 0));
  EXPECT_EQ(SkipFrom(dir / "f", 50, 16), 50);
}

// Tag lengths read from the files with xxd; each tag is followed right away
// by a frame sync byte. The other files carry no ID3v2 tag at their start
// (the "audacious-trailing" ones have theirs at the end, with a footer).
TEST(SkipId3v2, TaggedCorpus) {
  const std::filesystem::path corpus = CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  const std::map<std::string, std::int64_t> tagLengths = {
      {"97-unknown-23-update.mp3", 1314},
      {"apev2-lyricsv2.mp3", 1280},
      {"bad-POPM-frame.mp3", 1562},
      {"bad-TYER-frame.mp3", 1167},
      {"bad-xing.mp3", 1582},
      {"id3v1v2-combined.mp3", 2225},
      {"id3v22-test.mp3", 2225},
      {"silence-44-s.mp3", 1314},
      {"too-short.mp3", 2147},
      {"vbri.mp3", 1007},
  };
  int tagged = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus / "tagged")) {
    const std::string name = entry.path().filename().string();
    const auto it = tagLengths.find(name);
    // The WAV files are looked at where their payload begins.
    const std::int64_t start = entry.path().extension() == ".wav" ? 44 : 0;
    const std::int64_t end = SkipFrom(entry.path().string(), start, 16);
    EXPECT_EQ(end, start + (it == tagLengths.end() ? 0 : it->second)) << name;
    if (it != tagLengths.end()) {
      ++tagged;
      EXPECT_EQ(testing::ReadFile(entry.path().string()).at(static_cast<std::size_t>(end)), '\xFF') << name;
    }
  }
  EXPECT_EQ(tagged, static_cast<int>(tagLengths.size()));
}

}  // namespace
}  // namespace scourby
