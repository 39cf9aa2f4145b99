// The program's own output for switches, help and the summary, byte for byte.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

#include "support/mp3_fixtures.h"
#include "support/test_support.h"

namespace scourby::testing {
namespace {

const std::string kBanner =
    "Scourby v1.4 - MP3 cleaner by the Scourby developers\n"
    "Disclaimer: Author cannot be held responsible for any damage.\n"
    "Always make backups when working with important data!\n"
    "\n";

const std::string kHelp =
    "Removes all trash (ID3-tags, images, comments, lyrics or broken frames) from\n"
    "mp3 files. Advanced mp3-frame scanner which removes all non-frame data. This\n"
    "also fixes any buffer-overflow bugs with WindowsXP or WinAMP.\n"
    "\n"
    "Syntax: scourby filespec1 [filespec2 [...]] {options}\n"
    "\n"
    "Options:\n"
    "  /V   Verbose mode                    /F   Disable frame-reconstructor\n"
    "  /B   Save backup to filename.bak     /C   Compatibility mode (use tempfile)\n"
    "  /T   Save trash to filename.trash    /S   Recurse subfolders\n"
    "  /P   Preserve ID3v1 tags only        /D   Preserve modification timestamp\n"
    "  /N   Dry run (nothing is changed)\n"
    "  /L   List what is removed\n"
    "  /E   Exit code tells what failed\n"
    "  /K   Keep tags, repair the audio\n"
    "See README.TXT for detailed information about these options.\n"
    "\n"
    "Notes:\n"
    "1) If the file is not an mp3 at all, it's left untouched.\n"
    "2) 100% compatible with variable bitrate files.\n"
    "3) An mp3-encoded WAV-file is converted to MP3-file (RIFF/WAVE-header removed).\n"
    "\n"
    "Example: scourby \"d:\\my mp3z\\*.mp3\" c:\\download\\mysong.mp3 /T\n";

std::string Summary(int files, long long bytes) {
  return "\nFinished! Processed " + std::to_string(files) + " file(s) - cleaned " + std::to_string(bytes) + " bytes\n";
}

std::string DrySummary(int files, long long bytes) {
  return "\nFinished! Checked " + std::to_string(files) + " file(s) - would clean " + std::to_string(bytes) +
         " bytes\n";
}

TEST(FrontEnd, HelpTextLinesHaveTheirExactLengths) {
  const RunResult run = RunScourby({"/?"});
  const std::string out = run.out;
  std::vector<std::size_t> lengths;
  std::size_t start = 0;
  for (std::size_t end; (end = out.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lengths.push_back(end - start);
    EXPECT_NE(out[end - 1], ' ') << "trailing blank";
  }
  // Option rows 8-12 and the example line of the help text, after the banner.
  ASSERT_EQ(lengths.size(), 4u + 23u);
  EXPECT_EQ(lengths[4 + 7], 71u);
  EXPECT_EQ(lengths[4 + 8], 77u);
  EXPECT_EQ(lengths[4 + 9], 62u);
  EXPECT_EQ(lengths[4 + 10], 75u);
  EXPECT_EQ(lengths[4 + 11], 35u);
  EXPECT_EQ(lengths[4 + 12], 27u);
  EXPECT_EQ(lengths[4 + 13], 34u);
  EXPECT_EQ(lengths[4 + 22], 61u);
  EXPECT_EQ(out.find("/F"), out.find("  /V") + 39);
}

TEST(FrontEnd, OutputForSwitchesAndHelpIsExact) {
  TempDir dir;
  WriteFile(dir / "a.mp3", "not touched");
  const struct {
    std::vector<std::string> args;
    std::string expected;
    int exitCode = 0;
  } cases[] = {
      {{}, kBanner + kHelp},
      {{"/?"}, kBanner + kHelp},
      {{"-H"}, kBanner + kHelp},
      {{"--h"}, kBanner + kHelp},
      {{"a.mp3", "/?"}, kBanner + kHelp},
      {{"", ""}, kBanner + kHelp},
      {{"/?", "/x"}, kBanner + "Invalid switch: /x\n"},
      {{"/vx", "a.mp3"}, kBanner + "Invalid switch: /vx\n"},
      {{"-x.mp3"}, kBanner + "Invalid switch: -x.mp3\n"},
      {{"---v"}, kBanner + "Invalid switch: ---v\n"},
      {{"/V"}, kBanner + "* Verbose mode\nUse /? option for help.\n\n" + Summary(0, 0)},
      {{"/", "-", "--"}, kBanner + "Use /? option for help.\n\n" + Summary(0, 0)},
      {{"/SDV"},
       kBanner +
           "* Verbose mode\n* Recurse subfolders\n* Preserve modification timestamps\nUse /? option for help.\n\n" +
           Summary(0, 0)},
      {{"nothing-here.mp3", "/B"},
       kBanner + "* Save backups\n* Compatibility mode\nUse /? option for help.\n\nnothing-here.mp3...No file found!\n" +
           Summary(0, 0)},
      {{"/dpscftbv"},
       kBanner +
           "* Verbose mode\n* Save backups\n* Save trash-files\n* Frame-reconstructor disabled\n* Compatibility mode\n"
           "* Recurse subfolders\n* Preserve ID3v1 tags only\n* Preserve modification timestamps\n"
           "Use /? option for help.\n\n" +
           Summary(0, 0)},
      {{"/nV"},
       kBanner + "* Verbose mode\n* Dry run (nothing is changed)\nUse /? option for help.\n\n" + DrySummary(0, 0)},
      {{"/EKLNV"},
       kBanner +
           "* Verbose mode\n* Dry run (nothing is changed)\n* List what is removed\n* Exit code tells what failed\n"
           "* Keep tags, repair the audio\nUse /? option for help.\n\n" +
           DrySummary(0, 0)},
      // After a lone "--" every argument is a specification, whatever it
      // begins with; a "--" after that one is a specification too.
      {{"--", "-x.mp3", "/V", "--"},
       kBanner + "Use /? option for help.\n\n-x.mp3...No file found!\n/V...No file found!\n--...No file found!\n" +
           Summary(0, 0)},
      {{"/e", "--", "--help", "-e"},
       kBanner + "* Exit code tells what failed\nUse /? option for help.\n\n--help...No file found!\n-e...No file found!\n" +
           Summary(0, 0),
       1},
      // An e anywhere among the switches, before or after the invalid
      // letter, ends the run with exit code 2; one after a lone "--" is a
      // file's name.
      {{"/ex", "a.mp3"}, kBanner + "Invalid switch: /ex\n", 2},
      {{"/e", "-x.mp3"}, kBanner + "Invalid switch: -x.mp3\n", 2},
      {{"/xe", "a.mp3"}, kBanner + "Invalid switch: /xe\n", 2},
      {{"/X", "a.mp3", "/E"}, kBanner + "Invalid switch: /X\n", 2},
      {{"/X", "--", "/E"}, kBanner + "Invalid switch: /X\n", 0},
      // The known letters h, e, l and p: help.
      {{"-help"}, kBanner + kHelp},
      // The two long options of every command-line tool, in any letter case
      // and among file specifications; no file is touched.
      {{"--help"}, kBanner + kHelp},
      {{"a.mp3", "--HELP", "/T"}, kBanner + kHelp},
      {{"--version"}, kBanner},
      {{"a.mp3", "--Version", "/T"}, kBanner},
      {{"--version", "/x"}, kBanner},
      {{"/x", "--version"}, kBanner + "Invalid switch: /x\n"},
      // Letters as any others: h, e, then l is invalid, after the e.
      {{"--helpme"}, kBanner + "Invalid switch: --helpme\n", 2},
      {{"--versions"}, kBanner + "Invalid switch: --versions\n", 2},
  };
  for (const auto& c : cases) {
    const RunResult run = RunScourby(c.args, dir.path().string());
    EXPECT_EQ(run.out, Crlf(c.expected)) << ::testing::PrintToString(c.args);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitCode, c.exitCode) << ::testing::PrintToString(c.args);
  }
  EXPECT_EQ(ReadFile(dir / "a.mp3"), "not touched");
}

// With /E the exit code says whether every file was handled: 1 when a file
// failed or a specification matched no file (over its whole walk), 0
// otherwise ("...No MP3!" is no failure); without /E it is always 0.
TEST(FrontEnd, ExitStatusTellsWhatFailed) {
  TempDir dir;
  WriteFile(dir / "good.mp3", Id3v2Tag(50) + Frames(3));
  WriteFile(dir / "text.mp3", "no audio here");
  WriteFile(dir / "-dash.mp3", Id3v2Tag(50) + Frames(3));
  std::filesystem::create_directories(dir.path() / "deep/er");
  WriteFile(dir / "deep/er/low.mp3", Id3v2Tag(50) + Frames(3));
  ASSERT_EQ(symlink("nowhere", (dir / "dead.mp3").c_str()), 0);
  // A lock that another program holds.
  WriteFile(dir / "held.mp3", Id3v2Tag(50) + Frames(3));
  const int held = open((dir / "held.mp3").c_str(), O_RDONLY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  const struct {
    std::vector<std::string> args;
    int withE;
    const char* line;  // a line the run prints
  } cases[] = {
      {{"good.mp3"}, 0, "good.mp3 - Cleaned "},
      {{"text.mp3"}, 0, "text.mp3...No MP3!"},
      // A name that matches nothing, over the whole walk, gets an answer.
      {{"none.mp3"}, 1, "\r\nnone.mp3...No file found!\r\n"},
      {{"none.mp3", "/S"}, 1, "\r\nnone.mp3...No file found!\r\n"},
      {{"good.mp3", "none/*.mp3"}, 1, "\r\nnone/*.mp3...No file found!\r\n"},
      {{"dead.mp3"}, 1, "dead.mp3...Cannot open!\r\n\r\nFinished"},
      // With /V a failure says why: a link met by a wildcard that leads
      // nowhere, a file another program holds.
      {{"*.mp3", "/V"}, 1, "dead.mp3...Cannot open!\r\n - Reason: no such file\r\n"},
      {{"held.mp3", "/V"}, 1, "held.mp3...Cannot open!\r\n - Reason: locked by another program\r\n"},
      {{"held.mp3", "/V", "/C"}, 1, "held.mp3...Cannot open!\r\n - Reason: locked by another program\r\n"},
      // A folder named without its separator is the folder.
      {{"deep", "/S"}, 0, "low.mp3 - Cleaned "},
      {{"deep/*.mp3", "/S"}, 0, "low.mp3 - Cleaned "},
      {{"--", "-dash.mp3"}, 0, "-dash.mp3 - Cleaned "},
  };
  for (const auto& c : cases) {
    for (const bool e : {false, true}) {
      std::vector<std::string> args = c.args;
      if (e) args.insert(args.begin(), "/E");
      const RunResult run = RunScourby(args, dir.path().string());
      EXPECT_NE(run.out.find(c.line), std::string::npos) << run.out;
      EXPECT_EQ(run.exitCode, e ? c.withE : 0) << ::testing::PrintToString(args);
    }
  }
  close(held);
}

}  // namespace
}  // namespace scourby::testing
