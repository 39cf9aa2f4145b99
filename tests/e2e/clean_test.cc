// Cleaning single files end to end: the program's output, the cleaned file
// and the trash file, byte for byte, in direct and compatibility mode.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "mpeg/frame_header.h"
#include "support/mp3_fixtures.h"
#include "support/test_support.h"

namespace scourby::testing {
namespace {

namespace fs = std::filesystem;

const std::string kBannerAndEcho =
    "Scourby v1.4 - MP3 cleaner by the Scourby developers\r\n"
    "Disclaimer: Author cannot be held responsible for any damage.\r\n"
    "Always make backups when working with important data!\r\n\r\n";

struct Cleaned {
  Bytes out;       // the file lines only: banner, echo and summary cut off
  Bytes summary;   // the last line
  Bytes file;      // song.mp3 afterwards
  Bytes trash;     // song.mp3.trash, or "<none>"
  bool cleanLeft;  // a song.mp3.clean stayed behind
  bool timeKept;   // song.mp3's modification time stayed as it was
};

// Cleans one file named song.mp3 with these switches.
Cleaned CleanOne(const Bytes& content, std::vector<std::string> switches) {
  TempDir dir;
  WriteFile(dir / "song.mp3", content);
  const auto old = std::filesystem::file_time_type(std::chrono::hours(24 * 365 * 30));
  std::filesystem::last_write_time(dir / "song.mp3", old);
  switches.insert(switches.begin(), "song.mp3");
  const RunResult run = RunScourby(switches, dir.path().string());
  EXPECT_EQ(run.exitCode, 0);
  Cleaned c;
  const std::size_t begin = run.out.find("\r\n\r\n", kBannerAndEcho.size() - 4 + 2);
  const std::size_t end = run.out.rfind("\r\n\r\nFinished!");
  EXPECT_NE(begin, std::string::npos);
  EXPECT_NE(end, std::string::npos);
  c.out = run.out.substr(begin + 4, end + 2 - begin - 4);
  c.summary = run.out.substr(end + 4);
  c.file = ReadFile(dir / "song.mp3");
  c.trash = Exists(dir / "song.mp3.trash") ? ReadFile(dir / "song.mp3.trash") : "<none>";
  c.cleanLeft = Exists(dir / "song.mp3.clean");
  c.timeKept = std::filesystem::last_write_time(dir / "song.mp3") == old;
  return c;
}

std::string SummaryLine(int files, long long bytes) {
  return "Finished! Processed " + std::to_string(files) + " file(s) - cleaned " + std::to_string(bytes) + " bytes\r\n";
}

struct Case {
  const char* name;
  Bytes input;
  std::vector<std::string> switches;
  Bytes expectedFile;
  Bytes expectedTrash;  // "<none>" when no trash file may exist
  long long cleaned;    // the number after " - Cleaned ", or -999 for "...No MP3!"
};

std::vector<Case> Cases() {
  const Bytes frames = Frames(5);
  const Bytes head = Id3v2Tag(2038);
  const Bytes tag = Id3v1Tag();
  const Bytes junk = "JUNKJUNKJUNK";
  const Bytes cut = Frame().substr(0, 200);
  const Bytes lyrics = "LYRICSBEGIN some words LYRICS200";
  std::vector<Case> cases = {
      {"empty file", "", {"/T"}, "", "<none>", -999},
      {"text file", "hello, world\n", {"/T"}, "hello, world\n", "<none>", -999},
      {"frames only", frames, {}, frames, "<none>", 0},
      {"frames only, empty trash deleted", frames, {"/T"}, frames, "<none>", 0},
      {"ID3v2 and ID3v1",
       head + frames + tag,
       {"/T"},
       frames,
       head + tag,
       static_cast<long long>(head.size() + tag.size())},
      {"kept ID3v1", head + frames + tag, {"/T", "/P"}, frames + tag, head + tag, static_cast<long long>(head.size())},
      {"keep asked, no valid tag", frames + "TAG\x01", {"/P"}, frames, "<none>", 4},
      {"junk between frames", frames.substr(0, 1251) + junk + frames.substr(1251), {"/T"}, frames, junk, 12},
      {"cut-off last frame", frames + cut, {"/T"}, frames, cut, 200},
      {"lyrics and tag after frames",
       frames + lyrics + tag,
       {"/T"},
       frames,
       lyrics + tag,
       static_cast<long long>(lyrics.size() + tag.size())},
      {"RIFF/WAVE", RiffWave(frames), {"/T"}, frames, RiffWave(frames).substr(0, 58), 58},
      {"extensible RIFF/WAVE of MPEG",
       RiffWave(frames, 0xFFFE, 0x0050),
       {"/T"},
       frames,
       RiffWave(frames, 0xFFFE, 0x0050).substr(0, 68),
       68},
      // Only MPEG audio in a WAVE file is MP3, whatever its data holds.
      {"PCM WAVE holding frames", RiffWave(frames, 0x0001), {"/T"}, RiffWave(frames, 0x0001), "<none>", -999},
      {"extensible PCM WAVE holding frames",
       RiffWave(frames, 0xFFFE, 0x0001),
       {"/T"},
       RiffWave(frames, 0xFFFE, 0x0001),
       "<none>",
       -999},
      {"FLAC behind an ID3v2 tag", head + "fLaC" + frames, {"/T"}, head + "fLaC" + frames, "<none>", -999},
      // Behind junk a stream is taken from where 8 frames follow one
      // another: fewer go with the junk.
      {"a stream behind junk that begins with 5 frames in a row",
       junk + Frames(5) + junk + Frames(8, 5),
       {"/T"},
       Frames(8, 5),
       junk + Frames(5) + junk,
       static_cast<long long>(2 * junk.size() + 5 * 417)},
      {"Xing count keeps the Xing frame and that many frames",
       XingFrame(3) + Frames(4) + "JUNK",
       {"/T"},
       XingFrame(3) + Frames(3),
       Frames(4).substr(417 * 3) + "JUNK",
       417 + 4},
      {"a stream that goes on beyond its Xing count is kept, its header made true",
       XingFrame(3) + Frames(6),
       {"/T"},
       XingFrame(6) + Frames(6),
       "<none>",
       0},
      {"a file cut short gets a header that counts the frames left",
       XingFrame(5) + Frames(4) + cut,
       {"/T"},
       XingFrame(4) + Frames(4),
       cut,
       200},
      {"junk beyond the search range ends the walk",
       frames + Bytes(64100, '\0') + frames,
       {"/T"},
       frames,
       Bytes(64100, '\0') + frames,
       64100 + 5 * 417},
  };
  // A frame that runs into a tag: the frame keeps its length, the tag start
  // inside it is cleared, and the tag counts twice with /P.
  Bytes shortened = Frames(4) + Frame().substr(0, 317);
  Bytes reconstructed = Frames(4) + Frame().substr(0, 317) + Bytes(100, Frame()[316]);
  cases.push_back({"tag inside the last frame, kept", shortened + tag, {"/P"}, reconstructed + tag, "<none>", -100});
  cases.push_back({"tag inside the last frame, reconstructor off",
                   shortened + tag,
                   {"/F", "/T"},
                   Frames(4) + Frame().substr(0, 317) + tag.substr(0, 100),
                   tag.substr(100),
                   28});
  // A tag that /P keeps, whose text holds a joined part's header frame and
  // a cut-off frame: what the walk removes there stays in the file as the
  // tag, so nothing is removed, and the trash gets nothing.
  const auto mono = [](const Bytes& body) {
    Bytes frame = "\xFF\xF3\x24\xC4" + body;
    frame.resize(48, 'x');
    return frame;
  };
  const Bytes framesInTag = mono("") + mono("") + mono("") + "TAG" + Bytes(37, ' ') +
                            mono(Bytes(9, '!') + "Info\x21\x47\x78\x78") + mono("").substr(0, 40);
  cases.push_back({"frames inside a kept tag", framesInTag, {"/T", "/P"}, framesInTag, "<none>", 0});
  return cases;
}

TEST(CleanFile, RemovesEverythingButFramesInBothModes) {
  for (const Case& c : Cases()) {
    for (const bool compat : {false, true}) {
      std::vector<std::string> switches = c.switches;
      if (compat) switches.push_back("/C");
      SCOPED_TRACE(std::string(c.name) + (compat ? " /C" : ""));
      const Cleaned got = CleanOne(c.input, switches);
      if (c.cleaned == -999) {
        EXPECT_EQ(got.out, "song.mp3...No MP3!\r\n");
        EXPECT_EQ(got.summary, SummaryLine(0, 0));
      } else {
        EXPECT_EQ(got.out, "song.mp3 - Cleaned " + std::to_string(c.cleaned) + " bytes\r\n");
        EXPECT_EQ(got.summary, SummaryLine(1, c.cleaned));
      }
      EXPECT_TRUE(got.file == c.expectedFile) << "cleaned file differs";
      EXPECT_TRUE(got.trash == c.expectedTrash) << "trash differs";
      EXPECT_FALSE(got.cleanLeft);
    }
  }
}

// With /L each removed piece gets a line in file order, with its size, its
// offset in the file as it was read and its kind, then the bytes the
// reconstructor cleared and the VBR header rewritten, right before the
// file's last line; the path's line ends first. (That the pieces are the
// trash is checked on real files and by the pass's fuzz target.)
TEST(CleanFile, TheListNamesEveryRemovedPieceInFileOrder) {
  const Bytes frames = Frames(3);
  const Bytes tag = Id3v1Tag();
  const Bytes cut = Frame().substr(0, 200);
  // A last frame that runs 100 bytes into the ID3v1 tag behind it.
  const Bytes intoTag = Frames(3) + Frame().substr(0, 317);
  const auto removed = [](std::size_t size, std::size_t at, const std::string& kind) {
    return " - Removed " + std::to_string(size) + " bytes at " + std::to_string(at) + ": " + kind + "\r\n";
  };
  const struct {
    const char* name;
    Bytes input;
    std::vector<std::string> switches;
    std::string listed;
  } cases[] = {
      {"ID3v2 and ID3v1 tags",
       Id3v2Tag(100) + frames + tag,
       {},
       removed(110, 0, "ID3v2 tag") + removed(128, 1361, "ID3v1 tag")},
      {"junk around a whole ID3v2 tag between frames",
       frames + "JUNK" + Id3v2Tag(20) + "MORE" + Frames(2, 1),
       {},
       removed(4, 1251, "junk") + removed(30, 1255, "ID3v2 tag") + removed(4, 1285, "junk")},
      {"a RIFF wrapper and the tag in its data",
       RiffWave(Id3v2Tag(10) + frames),
       {},
       removed(58, 0, "RIFF/WAVE header") + removed(20, 58, "ID3v2 tag")},
      {"APEv2, Lyrics3 and ID3v1 tags at the end",
       frames + ApeTag(true) + Lyrics3V2() + tag,
       {},
       removed(83, 1251, "APEv2 tag") + removed(42, 1334, "Lyrics3 block") + removed(128, 1376, "ID3v1 tag")},
      {"an APEv2 tag without its header, junk before it",
       frames + "JUNK" + ApeTag(false),
       {},
       removed(4, 1251, "junk") + removed(51, 1255, "APEv2 tag")},
      {"a Lyrics3 v1 block",
       frames + "LYRICSBEGINla la la LYRICSBEGIN la LYRICSEND",
       {},
       removed(20, 1251, "junk") + removed(24, 1271, "Lyrics3 block")},
      {"a cut-off last frame", frames + cut, {}, removed(200, 1251, "cut-off frame")},
      {"a joined part, its tags and header frame",
       XingFrame(2) + Frames(2) + tag + Id3v2Tag(20) + XingFrame(2) + Frames(2, 5),
       {},
       removed(128, 1251, "junk") + removed(30, 1379, "ID3v2 tag") + removed(417, 1409, "VBR header of a joined part") +
           " - Rewrote the VBR header at 0\r\n"},
      {"a last frame cut into by its ID3v1 tag",
       intoTag + tag,
       {},
       removed(28, 1668, "junk") + " - Cleared 100 bytes at 1568: tag text in the last frame\r\n"},
      {"a tag that /P keeps is not listed", Id3v2Tag(10) + frames + tag, {"/P"}, removed(20, 0, "ID3v2 tag")},
      {"nothing to remove, nothing listed", frames, {}, ""},
  };
  for (const auto& c : cases) {
    for (const char* mode : {"/T", "/TC", "/TN"}) {
      SCOPED_TRACE(std::string(c.name) + " " + mode);
      std::vector<std::string> switches = c.switches;
      switches.push_back("/L");
      switches.push_back(mode);
      const Cleaned got = CleanOne(c.input, switches);
      const std::size_t last = got.out.rfind(" - ");
      ASSERT_NE(last, std::string::npos) << got.out;
      // The path's line ends before the first listed line.
      EXPECT_EQ(got.out.substr(0, last), "song.mp3" + (c.listed.empty() ? "" : "\r\n" + c.listed));
    }
  }
  // More pieces than memory holds (they go to a scratch file): a byte of
  // junk after every third frame, 20000 times.
  const Bytes small = Frame(0xF3, 0x14, 0xC4, 1) + Frame(0xF3, 0x14, 0xC4, 2) + Frame(0xF3, 0x14, 0xC4, 3);
  Bytes many;
  for (int i = 0; i < 20000; ++i) many += small + "J";
  many += small;
  const Cleaned manyPieces = CleanOne(many, {"/L", "/T"});
  std::size_t lines = 0;
  for (std::size_t at = 0; (at = manyPieces.out.find(" - Removed 1 bytes at ", at)) != std::string::npos; ++at) {
    ++lines;
    EXPECT_EQ(std::stoul(manyPieces.out.substr(at + 22)), lines * small.size() + lines - 1) << "piece " << lines;
    if (lines > 3 && std::stoul(manyPieces.out.substr(at + 22)) != lines * small.size() + lines - 1) break;
  }
  EXPECT_EQ(lines, 20000u);
  EXPECT_EQ(manyPieces.trash, Bytes(20000, 'J'));

  // Verbose: after the bytes read and kept, before the last line.
  const Cleaned verbose = CleanOne(Id3v2Tag(100) + frames, {"/V", "/L"});
  EXPECT_NE(verbose.out.find(" bytes saved\r\n - Removed 110 bytes at 0: ID3v2 tag\r\n - Cleaned 110 bytes\r\n"),
            std::string::npos)
      << verbose.out;
}

// A Layer III stream of one version, sample rate and channel count whose
// bitrates vary, without a VBR header, gets one in front: a Xing frame that
// counts its frames and bytes. Direct mode makes room for it where bytes in
// front are removed, and grows the file where too few are; the stream
// moves once at the end where nothing in front is removed, or where only
// a later part's bitrate differs. A second run changes nothing.
TEST(CleanFile, AVariableBitrateStreamWithoutAHeaderGetsOne) {
  Bytes vbr, later, mixed;
  for (int i = 0; i < 8; ++i) vbr += Frame(0xFB, i % 2 ? 0xA0 : 0x90, 0x64, i);  // 128 and 160 kbit/s
  later = Frames(8) + Frame(0xFB, 0xA0, 0x64, 9) + Frame(0xFB, 0xA0, 0x64, 10);
  mixed = vbr + Frame(0xFB, 0x90, 0xC4) + Frame(0xFB, 0x90, 0xC4, 1);  // a mono part behind
  Bytes layer2, vbri = Frame() + vbr;
  for (int i = 0; i < 8; ++i) layer2 += Frame(0xFD, i % 2 ? 0xA0 : 0x90, 0x64, i);
  vbri.replace(36, 4, "VBRI");
  const Bytes tag = Id3v2Tag(2038), small = Id3v2Tag(10);
  const struct {
    const char* name;
    Bytes input;
    std::size_t removed;  // in front of the frames
    bool added;
  } cases[] = {
      {"variable bitrate, nothing in front: the file grows", vbr, 0, true},
      {"a tag in front longer than the header frame", tag + vbr, tag.size(), true},
      {"a tag in front shorter than the header frame: the file grows", small + vbr, small.size(), true},
      {"a constant bitrate, then another part's", later, 0, true},
      {"a tag, then frames whose channels change: room taken back", tag + mixed, tag.size(), false},
      {"frames whose channels change, nothing else to remove: untouched", mixed, 0, false},
      {"a constant bitrate", Frames(8), 0, false},
      {"sample rates that change", vbr + Frame(0xFB, 0x94, 0x64) + Frame(0xFB, 0x94, 0x64, 1), 0, false},
      {"Layer II", layer2, 0, false},
      {"a first frame with a VBRI header", vbri, 0, false},
  };
  for (const auto& c : cases) {
    for (const char* mode : {"/T", "/TC", "/TN"}) {
      SCOPED_TRACE(std::string(c.name) + " " + mode);
      const Bytes frames = c.input.substr(c.removed);
      const Cleaned got = CleanOne(c.input, {mode, "/L"});
      const bool dry = std::string(mode) == "/TN";
      EXPECT_TRUE(got.out.ends_with((dry ? " - Would clean " : " - Cleaned ") + std::to_string(c.removed) + " bytes\r\n"))
          << got.out;
      // MPEG 1 at 44100 Hz, stereo: the header frame at 48 kbit/s.
      const std::size_t added = 156;
      EXPECT_EQ(got.out.find(" - Added a VBR header of " + std::to_string(added) + " bytes in front of the frame at " +
                             std::to_string(c.removed) + "\r\n") != Bytes::npos,
                c.added)
          << got.out;
      if (dry || !c.added) {
        EXPECT_TRUE(got.file == (dry ? c.input : frames));
        EXPECT_EQ(got.timeKept, dry || c.removed == 0);
        continue;
      }
      ASSERT_TRUE(got.file.size() == frames.size() + added && got.file.ends_with(frames));
      FrameHeader header;
      ASSERT_TRUE(IsFrameHeader(reinterpret_cast<const std::uint8_t*>(got.file.data()), header));
      EXPECT_EQ(static_cast<std::size_t>(header.frameLength), added);
      EXPECT_EQ(got.file.substr(36, 16), "Xing" + Be32(7) + Be32(FrameCount(frames)) +
                                             Be32(static_cast<std::uint32_t>(got.file.size())));
      EXPECT_TRUE(got.trash == (c.removed ? c.input.substr(0, c.removed) : "<none>"));
      const Cleaned again = CleanOne(got.file, {mode});
      EXPECT_EQ(again.out, "song.mp3 - Cleaned 0 bytes\r\n");
      EXPECT_TRUE(again.file == got.file);
    }
  }
}

TEST(CleanFile, VerboseReportIsExact) {
  const Bytes input = Id3v2Tag(90) + XingFrame(2) + Frame(0xFB, 0x92, 0x64) + Frame().substr(0, 10);
  const Cleaned got = CleanOne(input, {"/V"});
  EXPECT_EQ(got.out,
            "song.mp3\r\n"
            " - MPEG 1.0 layer 3\r\n"
            " - Header found at: 100 bytes\r\n"
            " - XingVBR - Total number of frames = 2\r\n"
            "\r - Frame #    1: 417 bytes 128kbit 44100Hz"
            "\r - Frame #    2: 418 bytes 128kbit 44100Hz"
            "\r - Frame #    3: 417 bytes 128kbit 44100Hz\r\n"
            " - 945 bytes read - 835 bytes saved\r\n"
            " - Cleaned 110 bytes\r\n");
}

TEST(CleanFile, BackupHoldsTheOriginalAndReplacesAnOlderOne) {
  TempDir dir;
  const Bytes original = Id3v2Tag(50) + Frames(3);
  WriteFile(dir / "a.mp3", original);
  WriteFile(dir / "a.mp3.bak", "older backup");
  const RunResult run = RunScourby({"a.mp3", "/B"}, dir.path().string());
  EXPECT_NE(run.out.find("a.mp3 - Cleaned 60 bytes\r\n"), std::string::npos);
  EXPECT_EQ(ReadFile(dir / "a.mp3.bak"), original);
  EXPECT_EQ(ReadFile(dir / "a.mp3"), Frames(3));
}

TEST(CleanFile, KeepTimestampRestoresTimesInBothModes) {
  for (const char* mode : {"/D", "/DC"}) {
    TempDir dir;
    WriteFile(dir / "a.mp3", Id3v2Tag(50) + Frames(3));
    const timespec times[2] = {{1000000000, 123456789}, {1100000000, 987654321}};
    ASSERT_EQ(utimensat(AT_FDCWD, (dir / "a.mp3").c_str(), times, 0), 0);
    RunScourby({"a.mp3", mode}, dir.path().string());
    struct stat st;
    ASSERT_EQ(stat((dir / "a.mp3").c_str(), &st), 0);
    EXPECT_EQ(ReadFile(dir / "a.mp3"), Frames(3)) << mode;
    EXPECT_EQ(st.st_mtim.tv_sec, 1100000000) << mode;
    EXPECT_EQ(st.st_mtim.tv_nsec, 987654321) << mode;
    EXPECT_EQ(st.st_atim.tv_sec, 1000000000) << mode;
  }
}

TEST(CleanFile, OutputsKeepThePermissionsOfTheInput) {
  TempDir dir;
  WriteFile(dir / "a.mp3", Id3v2Tag(50) + Frames(3));
  chmod((dir / "a.mp3").c_str(), 0600);
  RunScourby({"a.mp3", "/C", "/T"}, dir.path().string());
  struct stat st;
  ASSERT_EQ(stat((dir / "a.mp3").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(stat((dir / "a.mp3.trash").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// A link or a folder planted where an output file or the backup goes is
// never written through, replaced or deleted: it stays exactly as it was,
// and the file it stands in the way of is left untouched.
TEST(CleanFile, PathsPlantedAtTheOutputNamesStayAsTheyWere) {
  // Hard links: another name of a file kept elsewhere, or of the input.
  enum class Planted { kLink, kDanglingLink, kFolder, kHardLink, kHardLinkToInput };
  for (const char* output : {".clean", ".trash", ".bak"}) {
    for (const Planted planted :
         {Planted::kLink, Planted::kDanglingLink, Planted::kFolder, Planted::kHardLink, Planted::kHardLinkToInput}) {
      for (const char* mode : {"/T", "/TC", "/TB"}) {
        SCOPED_TRACE(std::string(output) + " " + std::to_string(static_cast<int>(planted)) + " " + mode);
        TempDir dir;
        const Bytes original = Id3v2Tag(50) + Frames(3);
        WriteFile(dir / "a.mp3", original);
        WriteFile(dir / "victim", "precious");
        const timespec times[2] = {{1000000000, 0}, {1100000000, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, (dir / "a.mp3").c_str(), times, 0), 0);
        const std::string at = dir / (std::string("a.mp3") + output);
        if (planted == Planted::kFolder) {
          ASSERT_EQ(mkdir(at.c_str(), 0755), 0);
          WriteFile(at + "/inside", "kept");
        } else if (planted == Planted::kHardLink || planted == Planted::kHardLinkToInput) {
          ASSERT_EQ(link((planted == Planted::kHardLink ? dir / "victim" : dir / "a.mp3").c_str(), at.c_str()), 0);
        } else {
          const std::string target = planted == Planted::kLink ? dir / "victim" : dir / "nowhere";
          ASSERT_EQ(symlink(target.c_str(), at.c_str()), 0);
        }
        const RunResult run = RunScourby({"a.mp3", mode}, dir.path().string());
        const std::string out = output, sw = mode;
        // A backup replaces a hard link at its name: the other name keeps
        // its file.
        const bool hard = planted == Planted::kHardLink || planted == Planted::kHardLinkToInput;
        const bool inTheWay =
            out == ".trash" || (out == ".clean" && sw != "/T") || (out == ".bak" && sw == "/TB" && !hard);
        if (inTheWay) {
          // Without its output the file is not cleaned (and without its
          // trash the removed bytes would be lost).
          const std::string line =
              out == ".bak" ? "a.mp3 ! Could not rename a.mp3.clean to a.mp3" : "a.mp3 ! Could not write a.mp3" + out;
          EXPECT_NE(run.out.find(line + "\r\n\r\nFinished! Processed 0"), std::string::npos) << run.out;
          EXPECT_EQ(ReadFile(dir / "a.mp3"), original);
        } else {
          EXPECT_EQ(ReadFile(dir / "a.mp3"), Frames(3));
        }
        EXPECT_EQ(ReadFile(dir / "victim"), "precious");
        if (planted == Planted::kFolder) {
          EXPECT_EQ(ReadFile(at + "/inside"), "kept");
        } else if (hard) {
          // Still the other name of its file (unless a backup took it): the
          // input rewritten in place, or as it was where compatibility mode
          // put a new file in its place.
          const Bytes input = sw == "/T" ? ReadFile(dir / "a.mp3") : original;
          if (!(out == ".bak" && sw == "/TB")) {
            EXPECT_EQ(ReadFile(at), planted == Planted::kHardLink ? "precious" : input);
          }
        } else {
          char target[4096];
          const ssize_t length = readlink(at.c_str(), target, sizeof target);
          EXPECT_EQ(std::string(target, length > 0 ? static_cast<std::size_t>(length) : 0),
                    planted == Planted::kLink ? dir / "victim" : dir / "nowhere");
        }
        EXPECT_FALSE(Exists(dir / "nowhere"));
        EXPECT_FALSE(inTheWay && out != ".trash" && Exists(dir / "a.mp3.trash"));
        EXPECT_FALSE(Exists(dir / "a.mp3.clean") && out != ".clean");
        if (inTheWay) {
          struct stat st;
          ASSERT_EQ(stat((dir / "a.mp3").c_str(), &st), 0);
          EXPECT_EQ(st.st_mtim.tv_sec, 1100000000);
        }
      }
    }
  }
}

// The trash is added to, never cut: a second run that removes nothing
// leaves it exactly as it was, and a file tagged again and cleaned again
// adds the new tags behind the old ones.
TEST(CleanFile, TheTrashKeepsEveryRemovedByteAcrossRuns) {
  for (const char* mode : {"/T", "/TC"}) {
    SCOPED_TRACE(mode);
    TempDir dir;
    const Bytes head = Id3v2Tag(50), tag = Id3v1Tag("First");
    WriteFile(dir / "a.mp3", head + Frames(3) + tag);
    RunScourby({"a.mp3", mode}, dir.path().string());
    ASSERT_TRUE(ReadFile(dir / "a.mp3.trash") == head + tag);
    const timespec times[2] = {{1000000000, 0}, {1100000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (dir / "a.mp3.trash").c_str(), times, 0), 0);

    const RunResult again = RunScourby({"a.mp3", mode}, dir.path().string());
    EXPECT_NE(again.out.find("a.mp3 - Cleaned 0 bytes\r\n"), std::string::npos) << again.out;
    EXPECT_TRUE(ReadFile(dir / "a.mp3.trash") == head + tag);
    struct stat st;
    ASSERT_EQ(stat((dir / "a.mp3.trash").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1100000000) << "a trash that gained nothing was written";

    const Bytes newHead = Id3v2Tag(70), newTag = Id3v1Tag("Second");
    WriteFile(dir / "a.mp3", newHead + ReadFile(dir / "a.mp3") + newTag);
    RunScourby({"a.mp3", mode}, dir.path().string());
    EXPECT_TRUE(ReadFile(dir / "a.mp3") == Frames(3));
    EXPECT_TRUE(ReadFile(dir / "a.mp3.trash") == head + tag + newHead + newTag);
  }
}

// What a folder holds, sub-folders included: each entry's bytes,
// modification and status-change times and inode, and a file's access time
// (a folder's moves when it is listed); the folder's own under ".".
struct Entry {
  Bytes bytes;
  std::int64_t mtime = 0;
  std::int64_t ctime = 0;
  std::int64_t atime = 0;
  ino_t inode = 0;
  bool operator==(const Entry&) const = default;
};
// A file's bytes, read without moving its access time.
Bytes ReadUntimed(const fs::path& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOATIME);
  EXPECT_GE(fd, 0) << path;
  Bytes bytes;
  char chunk[65536];
  for (ssize_t got; fd >= 0 && (got = read(fd, chunk, sizeof chunk)) > 0;)
    bytes.append(chunk, static_cast<std::size_t>(got));
  if (fd >= 0) close(fd);
  return bytes;
}

std::map<std::string, Entry> Snapshot(const TempDir& dir) {
  std::map<std::string, Entry> entries;
  const auto add = [&](const fs::path& path, const std::string& name) {
    struct stat st;
    EXPECT_EQ(stat(path.c_str(), &st), 0);
    const auto ns = [](const timespec& t) { return t.tv_sec * 1000000000LL + t.tv_nsec; };
    const bool folder = S_ISDIR(st.st_mode);
    entries[name] = {folder ? "" : ReadUntimed(path), ns(st.st_mtim), ns(st.st_ctim), folder ? 0 : ns(st.st_atim),
                     st.st_ino};
  };
  for (const auto& item : fs::recursive_directory_iterator(dir.path())) {
    add(item.path(), fs::relative(item.path(), dir.path()).string());
  }
  add(dir.path(), ".");
  return entries;
}

// Times well in the past on everything in the folder, so that any write
// shows.
void SetOldTimes(const TempDir& dir) {
  const timespec times[2] = {{1000000000, 5}, {1100000000, 7}};
  for (const auto& item : fs::recursive_directory_iterator(dir.path())) {
    ASSERT_EQ(utimensat(AT_FDCWD, item.path().c_str(), times, 0), 0);
  }
  ASSERT_EQ(utimensat(AT_FDCWD, dir.path().c_str(), times, 0), 0);
}

// A dry run walks every file and prints what a real run prints, with
// " - Would clean" and "Checked ... would clean" for " - Cleaned" and
// "Processed ... cleaned", and changes nothing on disk: no byte, time,
// inode or folder entry. A file that the real run cannot open (locked by
// another cleaner; read-only, for a user other than root) gets
// "...Cannot open!" in the dry run too.
TEST(CleanFile, ADryRunReportsWhatARunWouldDoAndChangesNothing) {
  const auto fill = [](const TempDir& dir) {
    WriteFile(dir / "tagged.mp3", Id3v2Tag(300) + Frames(4) + "JUNK" + Frames(2) + Id3v1Tag());
    WriteFile(dir / "frames.mp3", Frames(5));
    WriteFile(dir / "text.mp3", "no audio here");
    fs::create_directory(dir.path() / "sub");
    WriteFile(dir / "sub/deep.mp3", Id3v2Tag(20) + Frames(3));
    WriteFile(dir / "tagged.mp3.trash", "an earlier run's trash");
    WriteFile(dir / "locked.mp3", Id3v2Tag(20) + Frames(3));
    WriteFile(dir / "read-only.mp3", Id3v2Tag(20) + Frames(3));
    chmod((dir / "read-only.mp3").c_str(), 0444);
  };
  // Another cleaner holds locked.mp3 in both folders.
  const auto lock = [](const TempDir& dir) {
    const int fd = open((dir / "locked.mp3").c_str(), O_RDONLY);
    EXPECT_EQ(flock(fd, LOCK_EX), 0);
    return fd;
  };
  const auto dry = [](Bytes out) {
    const auto replace = [&](const std::string& from, const std::string& to) {
      for (std::size_t at = 0; (at = out.find(from, at)) != std::string::npos; at += to.size()) {
        out.replace(at, from.size(), to);
      }
    };
    replace("Use /? option for help.", "* Dry run (nothing is changed)\r\nUse /? option for help.");
    replace(" - Cleaned ", " - Would clean ");
    replace("Finished! Processed ", "Finished! Checked ");
    replace(" - cleaned ", " - would clean ");
    return out;
  };
  for (const char* switches : {"", "/T", "/B", "/C", "/D", "/V", "/S", "/TBDVSP"}) {
    SCOPED_TRACE(switches);
    TempDir real, checked;
    fill(real);
    fill(checked);
    SetOldTimes(checked);
    const int locks[] = {lock(real), lock(checked)};
    const auto before = Snapshot(checked);
    const RunResult run = RunScourby({"*.mp3", switches}, real.path().string());
    const RunResult dryRun =
        RunScourby({"*.mp3", *switches ? std::string(switches) + "N" : "/N"}, checked.path().string());
    EXPECT_EQ(dryRun.out, dry(run.out));
    EXPECT_NE(dryRun.out.find(" - Would clean "), std::string::npos);
    EXPECT_NE(dryRun.out.find("locked.mp3...Cannot open!"), std::string::npos) << dryRun.out;
    const bool compat = std::string(switches).find_first_of("CB") != std::string::npos;
    if (geteuid() != 0 && !compat) {
      EXPECT_NE(dryRun.out.find("read-only.mp3...Cannot open!"), std::string::npos) << dryRun.out;
    }
    EXPECT_TRUE(Snapshot(checked) == before);
    for (const int fd : locks) close(fd);
  }
}

// A file with nothing to remove is left exactly as it was, whatever the
// switches: a second run over a cleaned file changes no byte, time or inode,
// makes or replaces no backup (after two /B runs the backup still holds the
// original), adds nothing to the trash and leaves no ".clean".
TEST(CleanFile, ASecondRunOverACleanedFileChangesNothingOnDisk) {
  const Bytes original = Id3v2Tag(50) + Frames(3) + Id3v1Tag("Kept");
  for (const char* switches : {"/V", "/C", "/B", "/T", "/TC", "/D", "/DC", "/P", "/PC", "/BTDP"}) {
    SCOPED_TRACE(switches);
    TempDir dir;
    WriteFile(dir / "a.mp3", original);
    ASSERT_NE(RunScourby({"a.mp3", switches}, dir.path().string()).out.find(" - Cleaned "), std::string::npos);
    SetOldTimes(dir);
    auto before = Snapshot(dir);
    // Compatibility mode makes its ".clean" and takes it away again.
    before.erase(".");
    const RunResult again = RunScourby({"a.mp3", switches}, dir.path().string());
    EXPECT_NE(again.out.find(" - Cleaned 0 bytes\r\n"), std::string::npos) << again.out;
    EXPECT_NE(again.out.find("Processed 1 file(s) - cleaned 0 bytes"), std::string::npos) << again.out;
    auto after = Snapshot(dir);
    after.erase(".");
    EXPECT_TRUE(after == before);
    if (std::string(switches).find('B') != std::string::npos) {
      EXPECT_TRUE(ReadFile(dir / "a.mp3.bak") == original);
    }
  }
}

// A library of links into a store: the link stays a link and the file in
// the store is cleaned; its backup goes beside it, the trash beside the link.
TEST(CleanFile, ALinkIsCleanedAtItsFinalTarget) {
  for (const char* mode : {"/T", "/TC", "/TB"}) {
    SCOPED_TRACE(mode);
    TempDir dir;
    ASSERT_EQ(mkdir((dir / "store").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((dir / "lib").c_str(), 0755), 0);
    const Bytes original = Id3v2Tag(50) + Frames(3) + Id3v1Tag();
    WriteFile(dir / "store/song.mp3", original);
    // A link to a link to the file.
    ASSERT_EQ(symlink("../store/song.mp3", (dir / "lib/hop.mp3").c_str()), 0);
    ASSERT_EQ(symlink("hop.mp3", (dir / "lib/song.mp3").c_str()), 0);
    const RunResult run = RunScourby({"lib/song.mp3", mode}, dir.path().string());
    EXPECT_NE(run.out.find("lib/song.mp3 - Cleaned 188 bytes\r\n"), std::string::npos) << run.out;
    char target[256];
    const ssize_t length = readlink((dir / "lib/song.mp3").c_str(), target, sizeof target);
    EXPECT_EQ(std::string(target, length > 0 ? static_cast<std::size_t>(length) : 0), "hop.mp3");
    EXPECT_TRUE(ReadFile(dir / "store/song.mp3") == Frames(3));
    EXPECT_TRUE(ReadFile(dir / "lib/song.mp3.trash") == original.substr(0, 60) + Id3v1Tag());
    EXPECT_EQ(Exists(dir / "store/song.mp3.bak"), std::string(mode) == "/TB");
    if (Exists(dir / "store/song.mp3.bak")) {
      EXPECT_TRUE(ReadFile(dir / "store/song.mp3.bak") == original);
    }
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
      names.push_back(entry.path().lexically_relative(dir.path()).string());
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected = {"lib",   "lib/hop.mp3",   "lib/song.mp3", "lib/song.mp3.trash",
                                         "store", "store/song.mp3"};
    if (std::string(mode) == "/TB") expected.push_back("store/song.mp3.bak");
    EXPECT_EQ(names, expected);
  }
}

TEST(CleanFile, UnwritableFolderLeavesInputUntouchedInCompatibilityMode) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  TempDir dir;
  const Bytes original = Id3v2Tag(50) + Frames(3);
  WriteFile(dir / "a.mp3", original);
  chmod(dir.path().c_str(), 0500);
  const RunResult run = RunScourby({"a.mp3", "/C"}, dir.path().string());
  chmod(dir.path().c_str(), 0700);
  EXPECT_NE(run.out.find("a.mp3 ! Could not write a.mp3.clean\r\n"), std::string::npos) << run.out;
  EXPECT_EQ(ReadFile(dir / "a.mp3"), original);
}

TEST(CleanFile, RiffMessagesLeaveTheFileUntouched) {
  const struct {
    Bytes input;
    const char* message;
  } cases[] = {
      {"RIFF" + Le32(4) + "AVI " + Frames(2), "song.mp3...RIFF but not WAVE (AVI )!\r\n"},
      {"RIFF" + Le32(4) + "WAVE" + "fmt " + Le32(0xFFFFFFFF) + Frames(2),
       "song.mp3...WAVE-file chunk 'fmt ' incomplete, 'data' not found!\r\n"},
  };
  for (const auto& c : cases) {
    const Cleaned got = CleanOne(c.input, {"/T"});
    EXPECT_EQ(got.out, c.message);
    EXPECT_TRUE(got.file == c.input);
    EXPECT_EQ(got.trash, "<none>");
  }
}

}  // namespace
}  // namespace scourby::testing

namespace scourby::testing {
namespace {

// A small file system of its own, so that a disk can fill up mid-pass. Needs
// root; tests skip without it.
class FullDisk {
 public:
  explicit FullDisk(const std::string& size) {
    mounted_ =
        geteuid() == 0 &&
        std::system(
            ("mount -t tmpfs -o size=" + size + " scourby-test " + dir_.path().string() + " 2>/dev/null").c_str()) == 0;
  }
  ~FullDisk() {
    if (mounted_) std::system(("umount " + dir_.path().string()).c_str());
  }
  bool mounted() const { return mounted_; }
  std::string operator/(const std::string& name) const { return dir_ / name; }
  std::string path() const { return dir_.path().string(); }

 private:
  TempDir dir_;
  bool mounted_ = false;
};

TEST(CleanFile, AFullDiskLeavesTheInputUntouchedInCompatibilityMode) {
  FullDisk disk("128k");
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a small file system here";
  const Bytes original = Id3v2Tag(2000) + Frames(240);
  WriteFile(disk / "a.mp3", original);
  // With /T, whichever output meets the full disk first is named.
  for (const char* mode : {"/C", "/CT", "/B"}) {
    const RunResult run = RunScourby({"a.mp3", mode}, disk.path());
    const bool named =
        run.out.find("a.mp3 ! Could not write a.mp3.clean\r\n\r\nFinished! Processed 0 file(s)") != std::string::npos ||
        (std::string(mode) == "/CT" &&
         run.out.find("a.mp3 ! Could not write a.mp3.trash\r\n\r\nFinished! Processed 0 file(s)") != std::string::npos);
    EXPECT_TRUE(named) << mode << run.out;
    EXPECT_TRUE(ReadFile(disk / "a.mp3") == original);
    EXPECT_FALSE(Exists(disk / "a.mp3.clean"));
    EXPECT_FALSE(Exists(disk / "a.mp3.bak"));
  }
  // With /V the line says why.
  const RunResult verbose = RunScourby({"a.mp3", "/CV"}, disk.path());
  EXPECT_NE(verbose.out.find(" ! Could not write a.mp3.clean\r\n - Reason: disk full\r\n"), std::string::npos)
      << verbose.out;
  // Rewriting in place needs no room at all.
  const RunResult run = RunScourby({"a.mp3"}, disk.path());
  EXPECT_NE(run.out.find("a.mp3 - Cleaned 2010 bytes\r\n"), std::string::npos) << run.out;
  EXPECT_TRUE(ReadFile(disk / "a.mp3") == Frames(240));
  // But for a VBR header added in front of a stream with nothing to remove:
  // the file is made longer first, and on a full disk it stays as it was.
  // (21 pages of frames, so that the header needs a page of its own.)
  Bytes vbr;
  for (int i = 0; i < 168; ++i) vbr += Frame(0xFB, i < 32 && i % 2 ? 0x90 : 0xA0, 0x64, i);
  ASSERT_EQ(vbr.size(), 21u * 4096);
  std::filesystem::remove(disk / "a.mp3");
  WriteFile(disk / "vbr.mp3", vbr);
  std::system(("dd if=/dev/zero of='" + (disk / "filler") + "' bs=4096 2>/dev/null").c_str());
  const RunResult grown = RunScourby({"vbr.mp3", "/V", "/T"}, disk.path());
  EXPECT_NE(grown.out.find(" ! Could not rewrite vbr.mp3\r\n - Reason: disk full\r\n"), std::string::npos) << grown.out;
  EXPECT_TRUE(ReadFile(disk / "vbr.mp3") == vbr);
  EXPECT_FALSE(Exists(disk / "vbr.mp3.trash"));
}

}  // namespace
}  // namespace scourby::testing
