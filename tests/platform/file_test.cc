// The contract of the file and folder layer, checked the same way against
// each platform's implementation (POSIX here, Win32 in the Windows build).
#include "platform/file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "platform/dir.h"

namespace scourby::platform {
namespace {

namespace fs = std::filesystem;

class FileLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("scourby-file-" + std::to_string(std::random_device()()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(dir_, error)) {
      fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, error);
    }
    fs::remove_all(dir_, error);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  void Put(const std::string& name, const std::string& content) const {
    std::ofstream(Path(name), std::ios::binary) << content;
  }
  std::string Get(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
  }

  fs::path dir_;
};

TEST_F(FileLayer, ReadsAndWritesAtAnyOffset) {
  Put("a", "0123456789");
  File file = File::OpenExisting(Path("a"), FileAccess::kReadWrite);
  ASSERT_TRUE(file.IsOpen());
  EXPECT_EQ(file.Length(), 10);
  char buffer[16] = {};
  EXPECT_EQ(file.ReadAt(6, buffer, 8), 4);  // short only at the end
  EXPECT_EQ(std::string(buffer, 4), "6789");
  EXPECT_EQ(file.ReadAt(10, buffer, 8), 0);
  EXPECT_EQ(file.ReadAt(99, buffer, 8), 0);
  EXPECT_TRUE(file.WriteAt(2, "ab", 2));
  EXPECT_TRUE(file.WriteAt(12, "z", 1));  // past the end: the gap is zeros
  EXPECT_EQ(file.Length(), 13);
  EXPECT_TRUE(file.Truncate(4));
  EXPECT_EQ(file.Length(), 4);
  EXPECT_TRUE(file.Flush());
  EXPECT_TRUE(file.Close());
  EXPECT_TRUE(file.Close());  // closing twice is harmless
  EXPECT_EQ(Get("a"), "01ab");
}

TEST_F(FileLayer, PositionsBeyondFourGigabytes) {
  // A sparse file: only the written bytes take room on the disk.
  constexpr std::int64_t kFar = (std::int64_t{1} << 32) + 0xFFFFFFFF;  // low half all ones
  File output = File::CreateOutput(Path("big"), nullptr);
  ASSERT_TRUE(output.IsOpen());
  ASSERT_TRUE(output.WriteAt(kFar, "xyz", 3));
  EXPECT_EQ(output.Length(), kFar + 3);
  output.Close();
  File file = File::OpenExisting(Path("big"), FileAccess::kReadWrite);
  ASSERT_TRUE(file.IsOpen());
  char buffer[4] = {};
  EXPECT_EQ(file.ReadAt(kFar + 1, buffer, 4), 2);
  EXPECT_EQ(std::string(buffer, 2), "yz");
  EXPECT_TRUE(file.Truncate(kFar + 1));
  EXPECT_EQ(file.Length(), kFar + 1);
  EXPECT_TRUE(file.Truncate(0));
}

TEST_F(FileLayer, OpensOnlyExistingFiles) {
  fs::create_directories(dir_ / "folder");
  EXPECT_FALSE(File::OpenExisting(Path("missing"), FileAccess::kRead).IsOpen());
  EXPECT_FALSE(File::OpenExisting(Path("folder"), FileAccess::kRead).IsOpen());
  EXPECT_FALSE(File::OpenExisting(Path("folder"), FileAccess::kReadWrite).IsOpen());
  EXPECT_FALSE(fs::exists(dir_ / "missing"));
}

TEST_F(FileLayer, CreateOutputEmptiesAnExistingFile) {
  Put("out", "old content");
  File like = File::OpenExisting(Path("out"), FileAccess::kRead);
  File out = File::CreateOutput(Path("out.trash"), &like);
  ASSERT_TRUE(out.IsOpen());
  EXPECT_TRUE(out.WriteAt(0, "new", 3));
  out.Close();
  like.Close();
  File again = File::CreateOutput(Path("out"), nullptr);
  ASSERT_TRUE(again.IsOpen());
  EXPECT_EQ(again.Length(), 0);
  again.Close();
  EXPECT_EQ(Get("out.trash"), "new");
  EXPECT_EQ(Get("out"), "");
}

TEST_F(FileLayer, OutputsAreOpenedOnlyAtThePathItself) {
  Put("kept", "earlier");
  bool created = true;
  File kept = File::OpenOrCreateOutput(Path("kept"), nullptr, created);
  ASSERT_TRUE(kept.IsOpen());
  EXPECT_FALSE(created);
  EXPECT_EQ(kept.Length(), 7);  // not cut
  kept.Close();
  File made = File::OpenOrCreateOutput(Path("made"), nullptr, created);
  ASSERT_TRUE(made.IsOpen());
  EXPECT_TRUE(created);
  made.Close();

  // A folder or a link at the path is never opened, followed or changed.
  fs::create_directories(dir_ / "folder");
  Put("victim", "precious");
  std::error_code error;
  fs::create_symlink(dir_ / "victim", dir_ / "link", error);
  const bool links = !error;  // Wine makes no links
  fs::create_symlink(dir_ / "nowhere", dir_ / "dangling", error);
  for (const std::string name : {"folder", "link", "dangling"}) {
    if (!links && name != "folder") continue;
    EXPECT_FALSE(File::OpenOrCreateOutput(Path(name), nullptr, created).IsOpen()) << name;
    EXPECT_FALSE(File::CreateOutput(Path(name), nullptr).IsOpen()) << name;
  }
  EXPECT_EQ(Get("victim"), "precious");
  EXPECT_FALSE(fs::exists(dir_ / "nowhere"));

  // A file is where its path names it; one reached through a link is where
  // the link leads.
  File victim = File::OpenExisting(Path("victim"), FileAccess::kRead);
  EXPECT_EQ(FinalPathOf(Path("victim"), victim), Path("victim"));
  if (links) {
    File viaLink = File::OpenExisting(Path("link"), FileAccess::kRead);
    const std::string target = FinalPathOf(Path("link"), viaLink);
    EXPECT_TRUE(!target.empty() && fs::equivalent(target, dir_ / "victim")) << target;
    EXPECT_NE(fs::path(target).filename(), "link");
  }
}

TEST_F(FileLayer, TimesComeBackAsTheyWereSet) {
  Put("t", "x");
  File file = File::OpenExisting(Path("t"), FileAccess::kReadWrite);
  FileTimes times;
  ASSERT_TRUE(file.GetTimes(times));
  FileTimes old = times;
  // Whole seconds, a year or two back, in each system's own units.
  old.lastAccess -= 1000 * (kPathSeparator == '\\' ? 10000000LL : 1000000000LL) * 3600;
  old.lastWrite -= 2000 * (kPathSeparator == '\\' ? 10000000LL : 1000000000LL) * 3600;
  ASSERT_TRUE(file.SetTimes(old));
  file.Close();
  File check = File::OpenExisting(Path("t"), FileAccess::kRead);
  FileTimes now;
  ASSERT_TRUE(check.GetTimes(now));
  EXPECT_EQ(now.lastAccess, old.lastAccess);
  EXPECT_EQ(now.lastWrite, old.lastWrite);
}

TEST_F(FileLayer, RenameReplacesAndDeleteRemoves) {
  Put("from", "new");
  Put("to", "old");
  EXPECT_FALSE(RenameReplacing(Path("from"), Path("to")).failed());
  EXPECT_EQ(Get("to"), "new");
  EXPECT_FALSE(fs::exists(dir_ / "from"));
  EXPECT_TRUE(RenameReplacing(Path("from"), Path("to")).failed());
  EXPECT_EQ(Get("to"), "new");
  EXPECT_FALSE(DeletePath(Path("to")).failed());
  EXPECT_EQ(DeletePath(Path("to")).kind, Error::Kind::kNoSuchFile);
}

TEST_F(FileLayer, ReadOnlyFilesOpenOnlyForReading) {
  Put("ro", "data");
  fs::permissions(dir_ / "ro", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  EXPECT_TRUE(File::OpenExisting(Path("ro"), FileAccess::kRead).IsOpen());
#ifdef _WIN32
  // Windows refuses to rewrite a read-only file, also to an administrator.
  EXPECT_FALSE(File::OpenExisting(Path("ro"), FileAccess::kReadWrite).IsOpen());
#endif
}

TEST_F(FileLayer, FolderSearchMatchesWildcardsWithoutRegardToCase) {
  for (const char* name : {"b.mp3", "a.MP3", "c.txt", "ab.mp3"}) Put(name, "x");
  fs::create_directories(dir_ / "sub.mp3");
  std::vector<std::string> names;
  for (const DirEntry& entry : FindEntries(Path("*.mp3"))) {
    names.push_back(entry.name);
    EXPECT_EQ((entry.attributes & kAttributeDirectory) != 0, entry.name == "sub.mp3") << entry.name;
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.MP3", "ab.mp3", "b.mp3", "sub.mp3"}));
  std::vector<std::string> one;
  for (const DirEntry& entry : FindEntries(Path("?.mp3"))) one.push_back(entry.name);
  std::sort(one.begin(), one.end());
  EXPECT_EQ(one, (std::vector<std::string>{"a.MP3", "b.mp3"}));
  EXPECT_TRUE(FindEntries(Path("none-such") + kPathSeparator + "*.*").empty());

  const auto sub = IdentifyFolder(Path("sub.mp3") + kPathSeparator);
  ASSERT_TRUE(sub.has_value());
  EXPECT_EQ(sub, IdentifyFolder(Path("sub.mp3")));
  EXPECT_NE(sub, IdentifyFolder(dir_.string()));
  EXPECT_FALSE(IdentifyFolder(Path("b.mp3")).has_value());
}

}  // namespace
}  // namespace scourby::platform
