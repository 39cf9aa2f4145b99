#include "platform/reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/test_support.h"

namespace scourby::platform {
namespace {

using scourby::testing::Bytes;
using scourby::testing::ReadFile;
using scourby::testing::TempDir;
using scourby::testing::WriteFile;

Bytes Pattern(std::size_t n) {
  Bytes b(n, '\0');
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<char>(i * 7 + i / 251);
  return b;
}

TEST(Reader, ReadsMatchTheFileForEveryBufferSizeAndStepPattern) {
  TempDir dir;
  const Bytes content = Pattern(10007);
  WriteFile(dir / "f", content);
  File file = File::OpenExisting(dir / "f", FileAccess::kRead);
  ASSERT_TRUE(file.IsOpen());
  for (const std::size_t bufferSize : {16u, 17u, 4096u, 65536u}) {
    for (const std::size_t step : {1u, 3u, 4u, 417u, 5000u, 20000u}) {
      Reader reader(file, bufferSize);
      Bytes got;
      std::vector<char> chunk(step);
      std::size_t n;
      while ((n = reader.Read(chunk.data(), step)) > 0) {
        got.append(chunk.data(), n);
        if (n < step) break;
      }
      EXPECT_EQ(got, content) << bufferSize << "/" << step;
      EXPECT_EQ(reader.Position(), static_cast<std::int64_t>(content.size()));
      EXPECT_FALSE(reader.Failed());
    }
  }
}

TEST(Reader, PositionsPastTheEndReadNothingAndSeeksAreExact) {
  TempDir dir;
  WriteFile(dir / "f", "0123456789");
  File file = File::OpenExisting(dir / "f", FileAccess::kRead);
  Reader reader(file, 16);
  char b[8] = {};
  reader.SetPosition(100);
  EXPECT_EQ(reader.Read(b, 4), 0u);
  EXPECT_EQ(reader.Position(), 100);
  reader.SetPosition(8);
  EXPECT_EQ(reader.Read(b, 4), 2u);
  EXPECT_EQ(std::string(b, 2), "89");
  EXPECT_EQ(reader.Position(), 10);
  reader.SetPosition(3);
  EXPECT_EQ(reader.Read(b, 3), 3u);
  EXPECT_EQ(std::string(b, 3), "345");
  EXPECT_EQ(reader.Length(), 10);
}

TEST(Reader, WritesBehindTheReadPositionStayCoherentWithTheBuffer) {
  TempDir dir;
  WriteFile(dir / "f", "abcdefghijklmnop");
  File file = File::OpenExisting(dir / "f", FileAccess::kReadWrite);
  ASSERT_TRUE(file.IsOpen());
  Reader reader(file, 64);
  char b[16];
  ASSERT_EQ(reader.Read(b, 8), 8u);
  ASSERT_TRUE(reader.WriteAt(2, "XYZ", 3));
  EXPECT_EQ(reader.Position(), 8);
  reader.SetPosition(0);
  ASSERT_EQ(reader.Read(b, 16), 16u);
  EXPECT_EQ(std::string(b, 16), "abXYZfghijklmnop");
  EXPECT_EQ(ReadFile(dir / "f"), "abXYZfghijklmnop");
}

// Another process cuts the file short of the length the pass counts on: the
// read comes back short and counts as failed.
TEST(Reader, AFileCutShortOfTheLimitFailsTheRead) {
  TempDir dir;
  const Bytes content = Pattern(100000);
  WriteFile(dir / "f", content);
  File file = File::OpenExisting(dir / "f", FileAccess::kRead);
  for (const std::size_t bufferSize : {0u, 16u, 4096u}) {
    Reader reader(file, bufferSize);
    reader.SetLimit(100000);
    ASSERT_EQ(reader.View(8).size(), 8u);
    EXPECT_FALSE(reader.Failed());
    ASSERT_EQ(truncate((dir / "f").c_str(), 50000), 0);
    reader.SetPosition(49990);
    EXPECT_EQ(reader.View(4000).size(), 10u) << bufferSize;
    EXPECT_TRUE(reader.Failed()) << bufferSize;
    WriteFile(dir / "f", content);
  }
}

TEST(File, ReadWriteOpenIsExclusiveBetweenCleaners) {
  TempDir dir;
  WriteFile(dir / "f", "x");
  File first = File::OpenExisting(dir / "f", FileAccess::kReadWrite);
  ASSERT_TRUE(first.IsOpen());
  EXPECT_FALSE(File::OpenExisting(dir / "f", FileAccess::kReadWrite).IsOpen());
  File reader = File::OpenExisting(dir / "f", FileAccess::kRead);
  EXPECT_TRUE(reader.IsOpen());
  EXPECT_FALSE(reader.TryLock());
  first.Close();
  EXPECT_TRUE(reader.TryLock());
}

TEST(File, OpenExistingRefusesMissingFilesFoldersAndFifos) {
  TempDir dir;
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  for (const char* name : {"missing", "", "fifo"}) {
    EXPECT_FALSE(File::OpenExisting(dir / name, FileAccess::kRead).IsOpen()) << name;
  }
}

TEST(File, CreateOutputNeverFollowsALinkAndTakesThePermissionsOfItsInput) {
  TempDir dir;
  WriteFile(dir / "in", "input");
  chmod((dir / "in").c_str(), 0640);
  WriteFile(dir / "target", "precious");
  ASSERT_EQ(symlink((dir / "target").c_str(), (dir / "link").c_str()), 0);
  File in = File::OpenExisting(dir / "in", FileAccess::kRead);

  EXPECT_FALSE(File::CreateOutput(dir / "link", &in).IsOpen());
  EXPECT_EQ(ReadFile(dir / "target"), "precious");

  WriteFile(dir / "out", "old content");
  File out = File::CreateOutput(dir / "out", &in);
  ASSERT_TRUE(out.IsOpen());
  EXPECT_EQ(out.Length(), 0);
  struct stat st;
  ASSERT_EQ(stat((dir / "out").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(File, TimesRoundTripWithFullPrecision) {
  TempDir dir;
  WriteFile(dir / "f", "x");
  File file = File::OpenExisting(dir / "f", FileAccess::kReadWrite);
  FileTimes times;
  times.lastAccess = 1234567890123456789;
  times.lastWrite = 1111111111222222222;
  ASSERT_TRUE(file.SetTimes(times));
  FileTimes back;
  ASSERT_TRUE(file.GetTimes(back));
  EXPECT_EQ(back.lastAccess, times.lastAccess);
  EXPECT_EQ(back.lastWrite, times.lastWrite);
}

TEST(Reader, ALimitEndsReadsAndViewsEvenWhenTheFileGrows) {
  TempDir dir;
  const Bytes content = Pattern(5000);
  WriteFile(dir / "f", content);
  File file = File::OpenExisting(dir / "f", FileAccess::kReadWrite);
  ASSERT_TRUE(file.IsOpen());
  WriteFile(dir / "f", content + Pattern(3000));  // grows after the open
  for (const std::size_t bufferSize : {0u, 16u, 4096u, 65536u}) {
    Reader reader(file, bufferSize);
    reader.SetLimit(4000);
    EXPECT_EQ(reader.Length(), 4000);
    Bytes got(6000, '\0');
    EXPECT_EQ(reader.Read(got.data(), 3990), 3990u) << bufferSize;
    EXPECT_EQ(reader.Read(got.data() + 3990, 100), 10u) << bufferSize;
    EXPECT_EQ(got.substr(0, 4000), content.substr(0, 4000));
    reader.SetPosition(3998);
    EXPECT_EQ(reader.View(417).size(), 2u) << bufferSize;
    reader.SetPosition(4500);
    EXPECT_EQ(reader.Read(got.data(), 10), 0u);
    EXPECT_FALSE(reader.Failed());
    // Moved down, it hides the bytes beyond it, even those in the buffer;
    // moved up, they come back, and so do bytes written meanwhile.
    reader.SetLimit(3000);
    EXPECT_EQ(reader.Peek(2990, 4).size(), 10u) << bufferSize;
    ASSERT_TRUE(reader.WriteAt(3500, "new!", 4));
    reader.SetLimit(5000);
    reader.SetPosition(2990);
    EXPECT_EQ(reader.Read(got.data(), 2010), 2010u) << bufferSize;
    EXPECT_TRUE(got.substr(0, 2010) == content.substr(2990, 510) + "new!" + content.substr(3504, 1496)) << bufferSize;
    EXPECT_FALSE(reader.Failed());
    ASSERT_TRUE(reader.WriteAt(3500, content.data() + 3500, 4));
  }
  const Bytes inMemory = Pattern(100);
  Reader memory(std::span(reinterpret_cast<const std::uint8_t*>(inMemory.data()), inMemory.size()));
  memory.SetLimit(40);
  EXPECT_EQ(memory.Peek(30, 4).size(), 10u);
  memory.SetLimit(1000);
  EXPECT_EQ(memory.Length(), 100);
  EXPECT_EQ(memory.Peek(30, 4).size(), 70u);
}

}  // namespace
}  // namespace scourby::platform

namespace scourby::platform {
namespace {

TEST(Reader, ViewsMatchTheFileAcrossBufferEdgesAndBeyondTheBuffer) {
  TempDir dir;
  const Bytes content = Pattern(5000);
  WriteFile(dir / "f", content);
  File file = File::OpenExisting(dir / "f", FileAccess::kRead);
  for (const std::size_t bufferSize : {0u, 16u, 100u, 4096u}) {
    for (const std::size_t step : {1u, 7u, 417u, 2000u}) {
      Reader reader(file, bufferSize);
      Bytes got;
      for (;;) {
        const auto view = reader.View(step);
        got.append(reinterpret_cast<const char*>(view.data()), view.size());
        if (view.size() < step) break;
      }
      EXPECT_EQ(got, content) << bufferSize << "/" << step;
      EXPECT_EQ(reader.Position(), 5000);
    }
  }
}

}  // namespace
}  // namespace scourby::platform
