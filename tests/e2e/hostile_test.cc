// Hostile and odd inputs, end to end: contents that lie about their sizes,
// entries that are not files, odd and overlong names, and a file that grows
// while it is cleaned. Each gets a clear line and nothing else changes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "support/mp3_fixtures.h"
#include "support/test_support.h"

namespace scourby::testing {
namespace {

namespace fs = std::filesystem;

const Bytes kNoMp3 = "...No MP3!\r\n";

TEST(Hostile, ContentsThatLieAboutTheirSizesGetAClearOutcome) {
  const Bytes frames = Frames(5);
  const Bytes fmt = "fmt " + Le32(16) + Bytes("\x55\x00", 2) + Bytes(14, '\x01');
  const Bytes riffHead = "RIFF" + Le32(0xFFFFFFFF) + "WAVE" + fmt + "data" + Le32(0xFFFFFFFF);
  struct Case {
    const char* name;
    Bytes input;
    Bytes result;   // what follows the path on its line
    Bytes cleaned;  // the file afterwards (the input when it stays)
    Bytes trash;    // "<none>": no trash file
  };
  std::vector<Case> cases = {
      {"0 bytes", "", kNoMp3, "", "<none>"},
      {"3 bytes", "\xFF\xFB\x90", kNoMp3, "\xFF\xFB\x90", "<none>"},
      {"all 0xFF", Bytes(8192, '\xFF'), kNoMp3, Bytes(8192, '\xFF'), "<none>"},
      // 256 MB (less one byte) claimed, 1 KB there: the frames lie inside
      // the claimed tag, so none is found and the file stays.
      {"ID3v2 tag claiming 256 MB", (Bytes("ID3\x03\x00\x00\x7F\x7F\x7F\x7F", 10) + frames).substr(0, 1024), kNoMp3,
       (Bytes("ID3\x03\x00\x00\x7F\x7F\x7F\x7F", 10) + frames).substr(0, 1024), "<none>"},
      // Streaming writers leave both sizes at 0xFFFFFFFF: the data runs to
      // the end of the file.
      {"RIFF and data sizes of 0xFFFFFFFF", riffHead + frames, " - Cleaned 44 bytes\r\n", frames, riffHead},
  };
  // Tags at the end whose sizes lie are no tags: /K removes them as junk,
  // and nothing outside the file is read.
  const Bytes apeBeforeTheFile = "APETAGEX" + Le32(2000) + Le32(100000) + Le32(0) + Le32(0) + Bytes(8, '\0');
  const Bytes lyricsMismatch = "LYRICSBEGINwords000099LYRICS200";
  Bytes footerLies = Id3v2FooterTag(300);
  footerLies[footerLies.size() - 2] = '\x7F';
  const Bytes pastTheEnd = Bytes("ID3\x04\x00\x10\x00\x00\x7F\x7F", 10) + "3DI" + Bytes("\x04\x00\x10\x00\x00\x7F\x7F", 7);
  const auto removed = [](const Bytes& junk) { return " - Cleaned " + std::to_string(junk.size()) + " bytes\r\n"; };
  for (const Bytes& lie : {apeBeforeTheFile, lyricsMismatch, footerLies, pastTheEnd}) {
    cases.push_back({"a tag at the end whose size lies, /K", frames + lie, removed(lie), frames, lie});
  }
  for (const auto& c : cases) {
    const bool keep = std::string(c.name).ends_with("/K");
    for (const char* mode : {keep ? "/KT" : "/T", keep ? "/KCT" : "/CT"}) {
      SCOPED_TRACE(std::string(c.name) + " " + mode);
      TempDir dir;
      WriteFile(dir / "x.mp3", c.input);
      const RunResult run = RunScourbyWithin(60, {"x.mp3", mode}, dir.path().string());
      EXPECT_EQ(run.exitCode, 0);
      EXPECT_EQ(FileLines(run.out), "x.mp3" + c.result);
      EXPECT_TRUE(ReadFile(dir / "x.mp3") == c.cleaned);
      EXPECT_TRUE((Exists(dir / "x.mp3.trash") ? ReadFile(dir / "x.mp3.trash") : "<none>") == c.trash);
      EXPECT_FALSE(Exists(dir / "x.mp3.clean"));
    }
  }
}

// A deep chain of folders under root whose path, with root, is length bytes
// long; returns the path of a file at its end, relative to root. Paths near
// the system's limit are only usable relative to root, so the folders are
// made and removed by commands run there.
std::string DeepFile(const std::string& root, std::size_t length) {
  std::string relative = "deep";
  while (root.size() + relative.size() + 1 + 200 + 1 + 40 < length) relative += "/" + std::string(200, 'd');
  EXPECT_EQ(std::system(("cd '" + root + "' && mkdir -p " + relative).c_str()), 0);
  const std::size_t nameLength = length - root.size() - 1 - relative.size() - 1;
  return relative + "/" + std::string(nameLength - 4, 'a') + ".mp3";
}

void RemoveDeep(const std::string& root) { EXPECT_EQ(std::system(("cd '" + root + "' && rm -rf deep").c_str()), 0); }

// Whole-file access relative to an open folder.
void WriteAt(int folder, const std::string& path, const Bytes& content) {
  const int fd = openat(folder, path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
  close(fd);
}

Bytes ReadAt(int folder, const std::string& path) {
  const int fd = openat(folder, path.c_str(), O_RDONLY);
  if (fd < 0) return "<none>";
  Bytes content;
  char buffer[4096];
  ssize_t got;
  while ((got = read(fd, buffer, sizeof buffer)) > 0) content.append(buffer, static_cast<std::size_t>(got));
  close(fd);
  return content;
}

TEST(Hostile, OddNamesAndEntriesGetAClearOutcomeOnTheirLine) {
  const Bytes song = Id3v2Tag(10) + Frames(3);
  const Bytes cleaned = Frames(3);
  const std::string longName = std::string(246, 'n') + ".mp3";  // 250 bytes; ".clean" makes 256
  const std::string tooLong = " ! Could not write ";
  struct Case {
    const char* name;
    std::string file;  // created holding song; empty: none
    std::vector<std::string> args;
    std::string expected;  // the file lines
    bool changes;          // the file is cleaned
  };
  const Case cases[] = {
      {"blanks and quotes",
       "a \"quoted\" 'name' .mp3",
       {"a \"quoted\" 'name' .mp3"},
       "a \"quoted\" 'name' .mp3 - Cleaned 20 bytes\r\n",
       true},
      {"leading dash through a folder", "-x.mp3", {"./"}, "./-x.mp3 - Cleaned 20 bytes\r\n", true},
      {"leading dash through a wildcard", "-x.mp3", {"*.mp3"}, "-x.mp3 - Cleaned 20 bytes\r\n", true},
      {"bytes that are not UTF-8", "\xFF\xFE\x80.mp3", {"*.mp3"}, "\xFF\xFE\x80.mp3 - Cleaned 20 bytes\r\n", true},
      {"250-byte name, direct", longName, {longName}, longName + " - Cleaned 20 bytes\r\n", true},
      // Without its trash the removed bytes would be lost: the file stays.
      {"250-byte name, trash", longName, {longName, "/T"}, longName + tooLong + longName + ".trash\r\n", false},
      {"250-byte name, compatibility", longName, {longName, "/C"}, longName + tooLong + longName + ".clean\r\n", false},
      {"250-byte name, backup", longName, {"*.mp3", "/B"}, longName + tooLong + longName + ".clean\r\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    WriteFile(dir / c.file, song);
    const RunResult run = RunScourbyWithin(60, c.args, dir.path().string());
    EXPECT_EQ(FileLines(run.out), c.expected);
    EXPECT_TRUE(ReadFile(dir / c.file) == (c.changes ? cleaned : song));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path())) names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{c.file}) << "nothing but the file itself";
  }
}

TEST(Hostile, AFolderOrAFifoNamedLikeAnMp3IsNeverOpened) {
  TempDir dir;
  fs::create_directory(dir / "x.mp3");
  WriteFile(dir / "x.mp3/inner.mp3", Id3v2Tag(10) + Frames(3));
  ASSERT_EQ(mkfifo((dir / "y.mp3").c_str(), 0600), 0);
  // No file matches; the folder named whole is walked as a folder.
  const struct {
    std::vector<std::string> args;
    std::string lines;
  } cases[] = {
      {{"y.mp3"}, "y.mp3...No file found!\r\n"},
      {{"*.mp3"}, "*.mp3...No file found!\r\n"},
      {{"y.mp3", "/C"}, "y.mp3...No file found!\r\n"},
      {{"./", "/T"}, "./...No file found!\r\n"},
      {{"x.mp3", "/C"}, "x.mp3/inner.mp3 - Cleaned 20 bytes\r\n"},
  };
  for (const auto& c : cases) {
    const RunResult run = RunScourbyWithin(20, c.args, dir.path().string());
    EXPECT_EQ(run.exitCode, 0) << "killed after hanging: " << ::testing::PrintToString(c.args);
    EXPECT_EQ(FileLines(run.out), c.lines) << ::testing::PrintToString(c.args);
  }
  EXPECT_TRUE(ReadFile(dir / "x.mp3/inner.mp3") == Frames(3));
}

TEST(Hostile, LongPathsAreCleanedOrGetAClearMessage) {
  TempDir dir;
  const std::string root = dir.path().string();
  const int folder = open(root.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(folder, 0);
  const Bytes song = Id3v2Tag(10) + Frames(3);
  // 4,000 bytes: reached by the walk and by its full name.
  const std::string file = DeepFile(root, 4000);
  ASSERT_EQ((root + "/" + file).size(), 4000u);
  WriteAt(folder, file, song);
  RunResult run = RunScourbyWithin(60, {"deep/", "/S", "/C", "/T"}, root);
  EXPECT_EQ(FileLines(run.out), file + " - Cleaned 20 bytes\r\n");
  EXPECT_TRUE(ReadAt(folder, file) == Frames(3));
  EXPECT_TRUE(ReadAt(folder, file + ".trash") == Id3v2Tag(10));
  unlinkat(folder, (file + ".trash").c_str(), 0);
  WriteAt(folder, file, song);
  run = RunScourbyWithin(60, {root + "/" + file}, root);
  EXPECT_EQ(FileLines(run.out), root + "/" + file + " - Cleaned 20 bytes\r\n");
  EXPECT_TRUE(ReadAt(folder, file) == Frames(3));
  RemoveDeep(root);

  // At the system's limit: the file can be named, its ".clean" cannot.
  const std::string edge = DeepFile(root, root.size() + 1 + 4092);
  ASSERT_EQ(edge.size(), 4092u);
  WriteAt(folder, edge, song);
  run = RunScourbyWithin(60, {"deep/", "/S", "/C"}, root);
  EXPECT_EQ(FileLines(run.out), edge + " ! Could not write " + edge + ".clean\r\n");
  EXPECT_TRUE(ReadAt(folder, edge) == song);
  EXPECT_EQ(ReadAt(folder, edge + ".clean"), "<none>");
  RemoveDeep(root);
  close(folder);
}

// Another process appends to the file while it is cleaned. The pass cleans
// the length it saw when it opened the file and never loses an appended
// byte: compatibility mode leaves the file as it is (appended bytes
// included), direct mode keeps the appended bytes behind the cleaned data.
TEST(Hostile, BytesAppendedWhileAFileIsCleanedAreKept) {
  const Bytes original = Id3v2Tag(1000) + Frames(30000);
  for (const char* mode : {"/C", ""}) {
    SCOPED_TRACE(mode);
    TempDir dir;
    const std::string path = dir / "grow.mp3";
    WriteFile(path, original);
    std::vector<std::string> args = {"grow.mp3", "/V"};
    if (*mode) args.push_back(mode);
    Process scourby(args, dir.path().string());
    // Progress lines arrive once the pass has the file open and is working.
    ASSERT_TRUE(scourby.WaitForOutput(" - Frame #"));
    // A few appends in quick succession while the pass is still walking the
    // frames. (An append in the instant between the pass's last look at the
    // length and its cut or rename cannot be caught without a lock that
    // every writer honours; the test leaves that instant alone.)
    Bytes appended;
    std::thread appender([&] {
      for (int i = 0; i < 3; ++i) {
        const Bytes chunk = "<appended " + std::to_string(i) + ">";
        const int fd = open(path.c_str(), O_WRONLY | O_APPEND);
        if (fd < 0 || write(fd, chunk.data(), chunk.size()) != static_cast<ssize_t>(chunk.size())) break;
        close(fd);
        appended += chunk;
        usleep(500);
      }
    });
    appender.join();
    const RunResult run = scourby.Wait();
    const Bytes now = ReadFile(path);
    const std::string lines = FileLines(run.out);
    if (lines.find(" - Cleaned ") != std::string::npos) {
      EXPECT_TRUE(now == Frames(30000) + appended) << "appended bytes lost or cleaned away";
      EXPECT_NE(lines.find(" - Cleaned 1010 bytes\r\n"), std::string::npos);
    } else {
      EXPECT_EQ(std::string(mode), "/C");
      EXPECT_NE(lines.find("\r\n ! Could not clean grow.mp3: it changed meanwhile\r\n"), std::string::npos);
      EXPECT_TRUE(now == original + appended) << "the input changed";
    }
    EXPECT_FALSE(Exists(path + ".clean"));
  }
}

}  // namespace
}  // namespace scourby::testing
