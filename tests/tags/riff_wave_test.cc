#include "tags/riff_wave.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

namespace scourby {
namespace {

using testing::Bytes;
using testing::CorpusDir;
using testing::TempDir;
using testing::WriteFile;

Bytes Le32(std::uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}

// A chunk header and size bytes of payload (the pad byte not included).
Bytes Chunk(const Bytes& id, std::uint32_t size) { return id + Le32(size) + Bytes(size, 'p'); }

Bytes WaveHeader() { return "RIFF" + Le32(1000) + "WAVE"; }

const Bytes kMpegFrameStart = "\xFF\xFB\x90\x64";

struct Outcome {
  RiffWave found;
  std::int64_t position;
};

Outcome Unwrap(const std::string& path, std::size_t bufferSize) {
  platform::File file = platform::File::OpenExisting(path, platform::FileAccess::kRead);
  EXPECT_TRUE(file.IsOpen()) << path;
  platform::Reader reader(file, bufferSize);
  reader.SetPosition(7);  // the walk starts at offset 0 wherever the reader was
  const RiffWave found = SkipRiffWave(reader);
  return {found, reader.Position()};
}

struct Case {
  const char* name;
  Bytes content;
  RiffWave found;
  std::int64_t position;  // checked unless the result is -1
};

const RiffWave kNoRiff = {.result = 0};
const RiffWave kData = {.result = 1};
RiffWave NotWave(const Bytes& form) { return {.result = -1, .notWave = true, .id = form}; }
RiffWave NoData(const Bytes& id) { return {.result = -1, .notWave = false, .id = id}; }

TEST(SkipRiffWave, Cases) {
  const Case cases[] = {
      {"plain mp3", kMpegFrameStart + Bytes(400, 'a'), kNoRiff, 0},
      {"id3v2 tagged", "ID3\x03" + Bytes(300, '\0'), kNoRiff, 0},
      {"empty file", "", kNoRiff, 0},
      {"shorter than the magic", "RIF", kNoRiff, 0},
      {"RIFX", "RIFX" + Le32(100) + "WAVE" + Chunk("data", 4), kNoRiff, 0},
      {"RF64", "RF64" + Le32(100) + "WAVE" + Chunk("data", 4), kNoRiff, 0},
      {"minimal mp3 in wave", WaveHeader() + Chunk("fmt ", 30) + Chunk("fact", 4) + Chunk("data", 8) + kMpegFrameStart,
       kData, 70},
      // The pad byte is 'x': without it the next id would be read as "xdat".
      {"odd LIST chunk is padded", "RIFF" + Le32(4) + "WAVE" + Chunk("LIST", 25) + "x" + Chunk("data", 2), kData,
       12 + 34 + 8},
      {"ids compare exactly", WaveHeader() + Chunk("DATA", 4) + Chunk("Data", 4) + Chunk("data", 0) + "z", kData,
       12 + 12 + 12 + 8},
      {"data chunk first", WaveHeader() + Chunk("data", 3), kData, 20},
      {"AVI form type", "RIFF" + Le32(100) + "AVI " + Bytes(40, 'q'), NotWave("AVI "), 0},
      {"ten-byte file: last four of the six bytes read", "RIFF" + Bytes("\x10\x00WAVx", 6), NotWave("WAVx"), 0},
      {"six-byte file", "RIFFab", NotWave("ab"), 0},
      {"magic only", "RIFF", NotWave(""), 0},
      {"fmt chunk reaching the end", WaveHeader() + Chunk("fmt ", 30), NoData("fmt "), 0},
      {"header only: an empty id", WaveHeader(), NoData(""), 0},
      {"size 0xFFFFFFFF does not wrap",
       WaveHeader() + Chunk("junk", 0) + "big!" + Le32(0xFFFFFFFF) + Chunk("data", 4) + Bytes(64, 'r'), NoData("big!"),
       0},
      {"cut-off header two bytes before the end", WaveHeader() + Chunk("fmt ", 4) + "ab", NoData("ab"), 0},
      {"one byte left ends the walk", WaveHeader() + Chunk("fmt ", 4) + "d", NoData("fmt "), 0},
      {"cut-off data header", WaveHeader() + Chunk("fmt ", 4) + "data\x01", kData, 24 + 8},
      {"binary id kept raw", WaveHeader() + Bytes("\x00\xFF\r\n", 4) + Le32(0), NoData(Bytes("\x00\xFF\r\n", 4)), 0},
  };
  TempDir dir;
  for (const Case& c : cases) {
    WriteFile(dir / "f", c.content);
    for (const std::size_t bufferSize : {std::size_t{16}, platform::Reader::kDefaultBufferSize}) {
      SCOPED_TRACE(std::string(c.name) + " / buffer " + std::to_string(bufferSize));
      const Outcome got = Unwrap(dir / "f", bufferSize);
      EXPECT_EQ(got.found, c.found);
      if (c.found.result != -1) {
        EXPECT_EQ(got.position, c.position);
      }
    }
  }
}

// The WAV files hold 8- and 16-bit PCM: 'fmt ' (16 bytes) at 12, 'data' at
// 36, payload at 44; a LIST chunk follows the payload. The MP3 files are no
// RIFF at all.
TEST(SkipRiffWave, TaggedCorpus) {
  const std::filesystem::path corpus = CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus / "tagged")) {
    const bool wave = entry.path().extension() == ".wav";
    const Outcome got = Unwrap(entry.path().string(), 16);
    EXPECT_EQ(got.found, wave ? kData : kNoRiff) << entry.path();
    EXPECT_EQ(got.position, wave ? 44 : 0) << entry.path();
    ++files;
  }
  EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace scourby
