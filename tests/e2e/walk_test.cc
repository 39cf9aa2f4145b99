// The walk over file specifications: which files are cleaned, in which order.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/mp3_fixtures.h"
#include "support/test_support.h"

namespace scourby::testing {
namespace {

namespace fs = std::filesystem;

// A library: every .mp3 holds a 60-byte ID3v2 tag and three frames.
class Library {
 public:
  Library() {
    for (const char* name : {"b.mp3", "a.mp3", "A2.MP3", ".hidden.mp3", "notes.txt", "x.mp3/inner.mp3", "sub/c.mp3",
                             "sub/deeper/a.mp3", "sub2/d.mp3"}) {
      Add(name);
    }
    mkfifo((dir_ / "fifo.mp3").c_str(), 0600);
    symlink(".", (dir_ / "sub/loop").c_str());  // a folder that holds itself
    symlink("nowhere", (dir_ / "dead.mp3").c_str());
  }
  void Add(const std::string& name) {
    fs::create_directories((dir_.path() / name).parent_path());
    WriteFile(dir_ / name, Id3v2Tag(50) + Frames(3));
  }
  std::string Run(const std::vector<std::string>& args) {
    return FileLines(RunScourby(args, dir_.path().string()).out);
  }
  std::string path() const { return dir_.path().string(); }

 private:
  TempDir dir_;
};

std::string Line(const std::string& path) { return path + " - Cleaned 60 bytes\r\n"; }

TEST(Walk, ListsMatchingFilesFirstThenSubFoldersDepthFirst) {
  const struct {
    std::vector<std::string> args;
    std::string expected;
  } cases[] = {
      // Case-insensitive, sorted, hidden files, FIFOs and folders left out;
      // a dangling link is a file that cannot be opened.
      {{"*.mp3"}, Line("A2.MP3") + Line("a.mp3") + Line("b.mp3") + "dead.mp3...Cannot open!\r\n"},
      {{"*.MP3", "/s"},
       Line("A2.MP3") + Line("a.mp3") + Line("b.mp3") + "dead.mp3...Cannot open!\r\n" + Line("sub/c.mp3") +
           Line("sub/deeper/a.mp3") + Line("sub2/d.mp3") + Line("x.mp3/inner.mp3")},
      {{"a.mp3", "/S"}, Line("a.mp3") + Line("sub/deeper/a.mp3")},
      // A name that matches no file gets an answer; a folder named
      // without its separator is the folder.
      {{".hidden.mp3"}, ".hidden.mp3...No file found!\r\n"},
      {{"fifo.mp3"}, "fifo.mp3...No file found!\r\n"},
      {{"x.mp3"}, Line("x.mp3/inner.mp3")},
      {{"sub/"}, Line("sub/c.mp3")},
      {{"sub/", "/s"}, Line("sub/c.mp3") + Line("sub/deeper/a.mp3")},
      {{"sub"}, Line("sub/c.mp3")},
      {{"sub", "/s"}, Line("sub/c.mp3") + Line("sub/deeper/a.mp3")},
      {{"b.mp3|sub/c.mp3", "a.mp3"}, Line("b.mp3") + Line("sub/c.mp3") + Line("a.mp3")},
      {{"no-such-folder/*.mp3", "?.mp3"},
       "no-such-folder/*.mp3...No file found!\r\n" + Line("a.mp3") + Line("b.mp3")},
  };
  for (const auto& c : cases) {
    Library library;
    EXPECT_EQ(library.Run(c.args), c.expected) << ::testing::PrintToString(c.args);
  }
}

// A listing (a folder, or a wildcard) passes over the program's own files
// beside a file of the folder: its backup, its trash, a stale ".clean",
// whatever the ending's letter case. A name without its file beside it, or
// one whose base differs in case (file names are compared as the file
// system compares them), is listed; named whole, every file is cleaned.
TEST(Walk, AListingPassesOverBackupsAndTrashBesideTheirFiles) {
  const std::vector<std::string> names = {"a.mp3",       "a.mp3.bak",   "A.MP3.BAK",    "a.mp3.trash",
                                          "a.mp3.Clean", "b.mp3.TRASH", "lone.mp3.bak", "b.mp3"};
  const auto listed = [](const std::string& folder) {
    return Line(folder + "A.MP3.BAK") + Line(folder + "a.mp3") + Line(folder + "b.mp3") + Line(folder + "lone.mp3.bak");
  };
  const struct {
    std::vector<std::string> args;
    std::string expected;
  } cases[] = {
      {{"./"}, listed("./")},
      {{"*.*"}, listed("")},
      {{"*"}, listed("")},
      {{"./", "/S"}, listed("./")},
      {{"*.bak"}, Line("A.MP3.BAK") + Line("lone.mp3.bak")},
      // Named whole (a name matches without regard to case).
      {{"a.mp3.bak", "a.mp3.trash", "a.mp3.Clean", "b.mp3.TRASH"},
       Line("A.MP3.BAK") + Line("a.mp3.bak") + Line("a.mp3.trash") + Line("a.mp3.Clean") + Line("b.mp3.TRASH")},
  };
  for (const auto& c : cases) {
    TempDir dir;
    for (const std::string& name : names) WriteFile(dir / name, Id3v2Tag(50) + Frames(3));
    EXPECT_EQ(FileLines(RunScourby(c.args, dir.path().string()).out), c.expected) << ::testing::PrintToString(c.args);
  }
}

TEST(Walk, FullPathsAndFilesCreatedDuringTheWalkAreNotCleanedAgain) {
  Library library;
  const std::string root = library.path() + "/sub/";
  EXPECT_EQ(library.Run({root + "*", "/T", "/C"}), Line(root + "c.mp3"));
  EXPECT_TRUE(Exists(root + "c.mp3.trash"));
  // A listing passes over the trash beside its file.
  EXPECT_EQ(library.Run({root + "*"}), root + "c.mp3 - Cleaned 0 bytes\r\n");
}

TEST(Walk, DoubledSlashNamesAFileUnderTheRoot) {
  // "/name" alone is a switch; "//name" is the file below the root. Only the
  // echo matters here: nothing is written outside the test's folder.
  const RunResult run = RunScourby({"//scourby-test-no-such-file.mp3"});
  EXPECT_EQ(FileLines(run.out), "//scourby-test-no-such-file.mp3...No file found!\r\n");
}

}  // namespace
}  // namespace scourby::testing
