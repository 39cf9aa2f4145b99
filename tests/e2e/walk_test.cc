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
      {{".hidden.mp3"}, ""},
      {{"fifo.mp3"}, ""},
      {{"x.mp3"}, ""},
      {{"sub/"}, Line("sub/c.mp3")},
      {{"sub/", "/s"}, Line("sub/c.mp3") + Line("sub/deeper/a.mp3")},
      {{"sub"}, ""},
      {{"b.mp3|sub/c.mp3", "a.mp3"}, Line("b.mp3") + Line("sub/c.mp3") + Line("a.mp3")},
      {{"no-such-folder/*.mp3", "?.mp3"}, Line("a.mp3") + Line("b.mp3")},
  };
  for (const auto& c : cases) {
    Library library;
    EXPECT_EQ(library.Run(c.args), c.expected) << ::testing::PrintToString(c.args);
  }
}

TEST(Walk, FullPathsAndFilesCreatedDuringTheWalkAreNotCleanedAgain) {
  Library library;
  const std::string root = library.path() + "/sub/";
  EXPECT_EQ(library.Run({root + "*", "/T", "/C"}), Line(root + "c.mp3"));
  EXPECT_TRUE(Exists(root + "c.mp3.trash"));
  EXPECT_EQ(library.Run({root + "*"}), root + "c.mp3 - Cleaned 0 bytes\r\n" + root + "c.mp3.trash...No MP3!\r\n");
}

TEST(Walk, DoubledSlashNamesAFileUnderTheRoot) {
  // "/name" alone is a switch; "//name" is the file below the root. Only the
  // echo matters here: nothing is written outside the test's folder.
  const RunResult run = RunScourby({"//scourby-test-no-such-file.mp3"});
  EXPECT_EQ(FileLines(run.out), "");
}

}  // namespace
}  // namespace scourby::testing
