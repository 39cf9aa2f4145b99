#include "tags/id3v1.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>

#include "support/test_support.h"

namespace scourby {
namespace {

using testing::Bytes;
using testing::CorpusDir;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

std::span<const std::uint8_t> View(const Bytes& b) {
  return {reinterpret_cast<const std::uint8_t*>(b.data()), b.size()};
}

Bytes Padded(const Bytes& text, std::size_t size) { return text + Bytes(size - text.size(), '\0'); }

// A valid ID3v1.1 tag: track number 5 in byte 126, genre 17.
Bytes ValidTag() {
  return "TAG" + Padded("Title", 30) + Padded("Artist", 30) + Padded("Album", 30) + "1999" + Padded("Comment", 29) +
         "\x05\x11";
}

Bytes With(Bytes tag, std::size_t offset, const Bytes& bytes) { return tag.replace(offset, bytes.size(), bytes); }

TEST(IsTextField, Cases) {
  const struct {
    Bytes field;
    bool valid;
  } cases[] = {
      {Padded("Abcd", 30), true},
      {Bytes(30, ' '), true},
      {Bytes(30, '\0'), true},
      {"", true},
      {"\tAbc", false},
      {"\nAbc", false},
      {Bytes("Abcd\0\n", 6), true},  // nothing after the NUL is tested
      {Bytes("\0\x01\x02", 3), true},
      {"Ab\x1F", false},  // 31: the highest control byte
      {"Ab\x01", false},
      {"Ab \x7F", true},  // 32 and 127 are text
      {"\x80\xA0\xFF\xC3\xA9", true},
  };
  for (const auto& c : cases) EXPECT_EQ(IsTextField(View(c.field)), c.valid) << ::testing::PrintToString(c.field);
}

TEST(IsValidId3v1, Cases) {
  const Bytes tag = ValidTag();
  const struct {
    const char* name;
    Bytes tag;
    bool valid;
  } cases[] = {
      {"valid", tag, true},
      {"track number", With(tag, 125, Bytes("\0\x05", 2)), true},
      {"any byte 126 and genre", With(tag, 126, Bytes("\x01\x00", 2)), true},
      {"comment tested over 29 bytes", With(tag, 97, Bytes(29, 'c') + "\x01"), true},
      {"control byte in comment byte 125", With(tag, 97, Bytes(28, 'c') + "\x01"), false},
      {"year of two digits and two 0x01", With(tag, 93, "19\x01\x01"), false},
      {"year of four NULs", With(tag, 93, Bytes(4, '\0')), true},
      {"control byte opening the title", With(tag, 3, "\x01"), false},
      {"control byte ending a full title", With(tag, 3, Bytes(29, 't') + "\x1F"), false},
      {"control byte opening the artist", With(tag, 33, "\x0A"), false},
      {"control byte opening the album", With(tag, 63, "\x09"), false},
      {"control byte opening the year", With(tag, 93, "\x01"), false},
      {"control byte opening the comment", With(tag, 97, "\x01"), false},
      {"control byte after a NUL", With(tag, 3, Bytes("ab\0\x01", 4)), true},
      {"high bytes everywhere", With(tag, 3, Bytes(122, '\xE9')), true},
      {"magic case matters", With(tag, 0, "TAg"), false},
      {"other magic", With(tag, 0, "XAG"), false},
      {"longer string", tag + "\x01\x01", true},
      {"first 100 bytes", tag.substr(0, 100), true},
      {"magic only", "TAG", true},
      {"short of the magic", "TA", false},
      {"empty", "", false},
      {"cut-off title with a control byte", "TAGab\x01", false},
      {"cut-off artist with a control byte", "TAG" + Bytes(30, 't') + "\x01", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsValidId3v1(View(c.tag)), c.valid) << c.name;
}

TEST(ReadTrailingId3v1, Cases) {
  const Bytes tag = ValidTag();
  const Bytes audio(1000, '\xAA');
  const struct {
    const char* name;
    Bytes content;
    Bytes expected;
  } cases[] = {
      {"127-byte file", tag.substr(0, 127), ""},
      {"empty file", "", ""},
      {"tag only", tag, tag},
      {"audio and tag", audio + tag, tag},
      {"control byte in the title", audio + With(tag, 5, "\x1F"), ""},
      {"tag one byte before the end", audio + tag + "x", ""},
      {"no tag", audio, ""},
  };
  TempDir dir;
  for (const auto& c : cases) {
    WriteFile(dir / "f", c.content);
    for (const std::size_t bufferSize : {std::size_t{16}, platform::Reader::kDefaultBufferSize}) {
      SCOPED_TRACE(std::string(c.name) + " / buffer " + std::to_string(bufferSize));
      platform::File file = platform::File::OpenExisting(dir / "f", platform::FileAccess::kRead);
      ASSERT_TRUE(file.IsOpen());
      platform::Reader reader(file, bufferSize);
      reader.SetPosition(5);
      const std::vector<std::uint8_t> got = ReadTrailingId3v1(reader);
      EXPECT_EQ(Bytes(got.begin(), got.end()), c.expected);
      EXPECT_EQ(reader.Position(), 5);
    }
  }
}

// Six files end in a valid ID3v1 tag. audacious-trailing-id32-id31.mp3 has
// one 330 bytes before its end, followed by an appended ID3v2 tag, so it has
// no trailing tag; no other file ends in "TAG".
TEST(ReadTrailingId3v1, TaggedCorpus) {
  const std::filesystem::path corpus = CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  const std::set<std::string> withTag = {"97-unknown-23-update.mp3", "apev2-lyricsv2.mp3",  "bad-TYER-frame.mp3",
                                         "id3v1v2-combined.mp3",     "silence-44-s-v1.mp3", "silence-44-s.mp3"};
  for (const auto& entry : std::filesystem::directory_iterator(corpus / "tagged")) {
    const std::string name = entry.path().filename().string();
    const Bytes content = ReadFile(entry.path().string());
    platform::File file = platform::File::OpenExisting(entry.path().string(), platform::FileAccess::kRead);
    platform::Reader reader(file, 16);
    const std::vector<std::uint8_t> got = ReadTrailingId3v1(reader);
    const Bytes expected = withTag.count(name) != 0 ? content.substr(content.size() - 128) : "";
    EXPECT_EQ(Bytes(got.begin(), got.end()), expected) << name;
    EXPECT_EQ(reader.Position(), 0) << name;
  }
}

}  // namespace
}  // namespace scourby
