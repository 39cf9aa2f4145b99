#include "tags/frame_reconstructor.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "support/test_support.h"
#include "tags/id3v1.h"

namespace scourby {
namespace {

using testing::Bytes;
using testing::CorpusDir;
using testing::ReadFile;

// A valid ID3v1.1 tag: track number 5 in byte 126, genre 17.
Bytes ValidTag() {
  const auto padded = [](const Bytes& text, std::size_t size) { return text + Bytes(size - text.size(), '\0'); };
  return "TAG" + padded("Title", 30) + padded("Artist", 30) + padded("Album", 30) + "1999" + padded("Comment", 29) +
         "\x05\x11";
}

// Bytes with the high bit set: never part of a marker.
Bytes Filler(std::size_t n) {
  Bytes b(n, '\0');
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<char>(0x80 | (i * 7 % 64));
  return b;
}

const Bytes kHeader = "\xFF\xFB\x90\x64";
constexpr std::size_t kUnchanged = Bytes::npos;

struct FrameCase {
  const char* name;
  Bytes frame;
  std::size_t clearFrom;  // kUnchanged: the frame stays as it is
  char fill;
};

void ExpectReconstructed(const FrameCase& c) {
  Bytes frame = c.frame;
  const bool changed = ReconstructFrame({reinterpret_cast<std::uint8_t*>(frame.data()), frame.size()});
  Bytes expected = c.frame;
  if (c.clearFrom != kUnchanged) expected.replace(c.clearFrom, Bytes::npos, c.frame.size() - c.clearFrom, c.fill);
  EXPECT_EQ(changed, c.clearFrom != kUnchanged) << c.name;
  EXPECT_EQ(frame, expected) << c.name;
}

TEST(ReconstructFrame, Cases) {
  const Bytes audio = kHeader + Filler(373);  // 377 bytes, last one 0xAC
  const char last = audio.back();
  const Bytes tagStart = "TAG" + Bytes(37, 'x');
  const Bytes badTag = "TAG\x01" + Bytes(36, 'x');
  const Bytes lyrics = "LYRICSBEGIN" + Bytes("IND0000200\x01\x02\0", 13);
  const FrameCase cases[] = {
      {"417-byte frame ending in a tag start", audio + tagStart, 377, last},
      {"first TAG invalid: Lyrics3 not looked for", audio + badTag + lyrics, kUnchanged, 0},
      {"Lyrics3 and no TAG", audio + lyrics + Filler(20), 377, last},
      {"Lyrics3 then a valid TAG", audio + lyrics + tagStart, 377 + lyrics.size(), '\0'},
      {"two TAGs, the first valid", audio + tagStart + tagStart, 377, last},
      {"first TAG invalid, second valid", audio + badTag + tagStart, kUnchanged, 0},
      {"TAG at offset 0", tagStart + Filler(100), 0, '\0'},
      {"LYRICSBEGIN at offset 0", lyrics + Filler(100), 0, '\0'},
      {"TAG in the last three bytes", audio + "TAG", 377, last},
      {"valid tag and more than 128 bytes after it", audio + ValidTag() + Bytes(50, '\x01'), 377, last},
      {"TAG after near misses", audio + "TTATA" + tagStart, 382, 'A'},
      {"LYRICSBEGIN after a near miss", audio + "LYRICSLYRICSBEGIN", 383, 'S'},
      {"cut-off markers", audio + "LYRICSBEGI" + "TA", kUnchanged, 0},
      {"markers in lower case", audio + "tag lyricsbegin" + Filler(10), kUnchanged, 0},
      {"no marker", audio + Filler(40), kUnchanged, 0},
      {"empty frame", "", kUnchanged, 0},
  };
  for (const FrameCase& c : cases) ExpectReconstructed(c);
}

// The block-wise search for a marker's first two letters against a plain
// byte-by-byte one, with pairs placed on every side of the 16- and 64-byte
// blocks, on the last byte, and split between blocks.
TEST(FindMarkerCandidate, FindsTheFirstPairWhereverItLies) {
  std::mt19937 random(11);
  for (int round = 0; round < 4000; ++round) {
    const std::size_t size = random() % 300;
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random() % 0x7F);
    for (std::size_t i = 0; i + 1 < size; ++i) {
      if ((bytes[i] == 'T' && bytes[i + 1] == 'A') || (bytes[i] == 'L' && bytes[i + 1] == 'Y')) bytes[i] = 'x';
    }
    std::size_t expected = size;
    if (size > 0 && round % 5 != 0) {
      const std::size_t at = random() % size;
      const char* pair = round % 2 ? "TA" : "LY";
      bytes[at] = static_cast<std::uint8_t>(pair[0]);
      if (at + 1 < size) {
        bytes[at + 1] = static_cast<std::uint8_t>(pair[1]);
        expected = at;
      }
    }
    if (expected == size && size > 0) {
      // A lone first letter, or one on the last byte, is no candidate.
      bytes[size - 1] = 'T';
    }
    EXPECT_EQ(FindMarkerCandidate(bytes), expected) << "size " << size << " round " << round;
  }
}

// The last 417 bytes of two files taken as a frame. In apev2-lyricsv2.mp3 the
// first "TAG" is the one inside "APETAGEX", which fails the test, so neither
// its Lyrics3 block nor its ID3v1 tag is cleared.
TEST(ReconstructFrame, TaggedCorpus) {
  const std::filesystem::path corpus = CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  const Bytes v1 = ReadFile((corpus / "tagged" / "silence-44-s-v1.mp3").string());
  const Bytes v1End = v1.substr(v1.size() - 417);
  ExpectReconstructed({"silence-44-s-v1.mp3", v1End, 289, v1End[288]});
  const Bytes ape = ReadFile((corpus / "tagged" / "apev2-lyricsv2.mp3").string());
  ExpectReconstructed({"apev2-lyricsv2.mp3", ape.substr(ape.size() - 417), kUnchanged, 0});
}

// The plain reading of the marker rule, to check the block-wise scan against.
std::size_t NaiveReconstructStart(const std::string& frame) {
  const std::size_t tag = frame.find("TAG");
  if (tag != std::string::npos) {
    std::string candidate = frame.substr(tag, 128);
    candidate.resize(128, '\0');
    return IsValidId3v1(std::span(reinterpret_cast<const std::uint8_t*>(candidate.data()), 128)) ? tag : frame.size();
  }
  const std::size_t lyrics = frame.find("LYRICSBEGIN");
  return lyrics == std::string::npos ? frame.size() : lyrics;
}

TEST(ReconstructStart, AgreesWithThePlainRuleAtEveryOffsetAndLength) {
  std::mt19937 random(42);
  const std::string markers[] = {"TAG", "TAGTitle", "TAG\x01", "LYRICSBEGIN", "LYRICSBEGI", "TA", "T", "L"};
  for (int round = 0; round < 20000; ++round) {
    std::string frame(random() % 200, '\0');
    for (char& c : frame) c = static_cast<char>("TLAGYRICSBEN\0x\xFF"[random() % 15]);
    const int planted = static_cast<int>(random() % 3);
    for (int i = 0; i < planted && !frame.empty(); ++i) {
      const std::string& marker = markers[random() % std::size(markers)];
      frame.replace(random() % frame.size(), marker.size(), marker);
    }
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(frame.data()), frame.size());
    ASSERT_EQ(ReconstructStart(bytes), NaiveReconstructStart(frame)) << ::testing::PrintToString(frame);
  }
}

}  // namespace
}  // namespace scourby
