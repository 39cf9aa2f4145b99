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
RiffWave Data(WaveAudio audio) { return {.result = 1, .audio = audio}; }

// A "fmt " chunk's data with this format tag, and for the extensible format
// (0xFFFE) this sub-format tag at its byte 24.
Bytes Format(std::uint16_t tag, std::uint16_t subFormat = 0, std::size_t size = 40) {
  Bytes fmt(size, '\x02');
  fmt[0] = static_cast<char>(tag);
  fmt[1] = static_cast<char>(tag >> 8);
  if (size >= 26) {
    fmt[24] = static_cast<char>(subFormat);
    fmt[25] = static_cast<char>(subFormat >> 8);
  }
  return fmt;
}
Bytes FmtChunk(const Bytes& data) { return "fmt " + Le32(static_cast<std::uint32_t>(data.size())) + data; }
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
      {"minimal wave", WaveHeader() + Chunk("fmt ", 30) + Chunk("fact", 4) + Chunk("data", 8) + kMpegFrameStart,
       Data(WaveAudio::kOther), 70},
      {"MPEG Layer 3 in wave", WaveHeader() + FmtChunk(Format(0x0055, 0, 30)) + Chunk("data", 8),
       Data(WaveAudio::kMpeg), 58},
      {"MPEG in wave", WaveHeader() + FmtChunk(Format(0x0050)) + Chunk("data", 8), Data(WaveAudio::kMpeg), 68},
      {"PCM in wave", WaveHeader() + FmtChunk(Format(0x0001, 0, 16)) + Chunk("data", 8), Data(WaveAudio::kOther), 44},
      {"extensible, MPEG Layer 3", WaveHeader() + FmtChunk(Format(0xFFFE, 0x0055)) + Chunk("data", 8),
       Data(WaveAudio::kMpeg), 68},
      {"extensible, MPEG", WaveHeader() + FmtChunk(Format(0xFFFE, 0x0050)) + Chunk("data", 8), Data(WaveAudio::kMpeg),
       68},
      {"extensible, PCM", WaveHeader() + FmtChunk(Format(0xFFFE, 0x0001)) + Chunk("data", 8), Data(WaveAudio::kOther),
       68},
      {"extensible, cut short of its sub-format", WaveHeader() + FmtChunk(Format(0xFFFE, 0, 18)) + Chunk("data", 8),
       Data(WaveAudio::kOther), 46},
      {"a format chunk of one byte", WaveHeader() + FmtChunk("\x55") + "x" + Chunk("data", 8), Data(WaveAudio::kOther),
       30},
      {"a format chunk behind the data is not read", WaveHeader() + Chunk("data", 8) + FmtChunk(Format(0x0001)), kData,
       20},
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
      {"cut-off data header", WaveHeader() + Chunk("fmt ", 4) + "data\x01", Data(WaveAudio::kOther), 24 + 8},
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

Bytes Le64(std::uint64_t v) { return Le32(static_cast<std::uint32_t>(v)) + Le32(static_cast<std::uint32_t>(v >> 32)); }

// A Wave64 chunk: its 16-byte id, its size with the 24-byte head, its data
// padded to 8 bytes.
Bytes Wave64Chunk(const char* name, const Bytes& data) {
  const Bytes guid("\xF3\xAC\xD3\x11\x8C\xD1\x00\xC0\x4F\x8E\xDB\x8A", 12);
  Bytes chunk = Bytes(name, 4) + guid + Le64(24 + data.size()) + data;
  return chunk + Bytes((8 - chunk.size() % 8) % 8, '\0');
}
Bytes Wave64(const Bytes& chunks) {
  const Bytes riff("riff\x2E\x91\xCF\x11\xA5\xD6\x28\xDB\x04\xC1\x00\x00", 16);
  return riff + Le64(40 + chunks.size()) + Bytes("wave\xF3\xAC\xD3\x11\x8C\xD1\x00\xC0\x4F\x8E\xDB\x8A", 16) + chunks;
}
Bytes Rf64(const char* magic, const Bytes& chunks) {
  return magic + Le32(0xFFFFFFFF) + "WAVE" + Chunk("ds64", 28) + chunks;
}

TEST(Wave64Audio, Cases) {
  const Bytes data = Chunk("data", 8);
  const struct {
    const char* name;
    Bytes content;
    WaveAudio audio;
  } cases[] = {
      {"RF64 of PCM", Rf64("RF64", FmtChunk(Format(0x0001, 0, 16)) + data), WaveAudio::kOther},
      {"RF64 of MPEG", Rf64("RF64", FmtChunk(Format(0x0055, 0, 30)) + data), WaveAudio::kMpeg},
      {"BW64 of extensible PCM", Rf64("BW64", FmtChunk(Format(0xFFFE, 0x0001)) + data), WaveAudio::kOther},
      {"RF64 without a format before its data", Rf64("RF64", data + FmtChunk(Format(0x0001))), WaveAudio::kUnknown},
      {"RF64 of another form", "RF64" + Le32(0xFFFFFFFF) + "AVI " + FmtChunk(Format(0x0001)), WaveAudio::kUnknown},
      {"Wave64 of PCM", Wave64(Wave64Chunk("fmt ", Format(0x0001, 0, 18)) + Wave64Chunk("data", "ab")),
       WaveAudio::kOther},
      {"Wave64 of MPEG behind another chunk",
       Wave64(Wave64Chunk("junk", "odd") + Wave64Chunk("fmt ", Format(0x0055, 0, 30)) + Wave64Chunk("data", "ab")),
       WaveAudio::kMpeg},
      {"Wave64 without a format before its data", Wave64(Wave64Chunk("data", "ab") + Wave64Chunk("fmt ", Format(1))),
       WaveAudio::kUnknown},
      {"Wave64 whose chunk size is below its head", Wave64(Bytes(16, 'z') + Le64(3) + Wave64Chunk("fmt ", Format(1))),
       WaveAudio::kUnknown},
      {"RIFF/WAVE is no 64-bit form", WaveHeader() + FmtChunk(Format(0x0001)) + data, WaveAudio::kUnknown},
      {"too short", "RF64", WaveAudio::kUnknown},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(c.content.data());
    platform::Reader reader(std::span(bytes, c.content.size()));
    EXPECT_EQ(Wave64Audio(reader), c.audio);
  }
}

// The WAV files hold 8- and 16-bit PCM: 'fmt ' (16 bytes) at 12, 'data' at
// 36, payload at 44; a LIST chunk follows the payload. The MP3 files are no
// RIFF at all, nor WAVE of 64 bits.
TEST(SkipRiffWave, TaggedCorpus) {
  const std::filesystem::path corpus = CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus / "tagged")) {
    const bool wave = entry.path().extension() == ".wav";
    const Outcome got = Unwrap(entry.path().string(), 16);
    EXPECT_EQ(got.found, wave ? Data(WaveAudio::kOther) : kNoRiff) << entry.path();
    EXPECT_EQ(got.position, wave ? 44 : 0) << entry.path();
    platform::File file = platform::File::OpenExisting(entry.path().string(), platform::FileAccess::kRead);
    platform::Reader reader(file);
    EXPECT_EQ(Wave64Audio(reader), WaveAudio::kUnknown) << entry.path();
    ++files;
  }
  EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace scourby
