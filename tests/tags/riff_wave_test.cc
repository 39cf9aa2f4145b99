#include "tags/riff_wave.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/console.h"
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
  std::int32_t result;
  std::int64_t position;
  Bytes printed;
};

Outcome Unwrap(const std::string& path, std::size_t bufferSize) {
  platform::File file = platform::File::OpenExisting(path, platform::FileAccess::kRead);
  EXPECT_TRUE(file.IsOpen()) << path;
  platform::Reader reader(file, bufferSize);
  reader.SetPosition(7);  // the walk starts at offset 0 wherever the reader was
  Bytes printed;
  platform::CaptureStdout(&printed);
  const std::int32_t result = SkipRiffWave(reader);
  platform::CaptureStdout(nullptr);
  return {result, reader.Position(), printed};
}

struct Case {
  const char* name;
  Bytes content;
  std::int32_t result;
  std::int64_t position;  // checked unless the result is -1
  Bytes printed;
};

Bytes NotWave(const Bytes& form) { return "...RIFF but not WAVE (" + form + ")!\r\n"; }
Bytes NoData(const Bytes& id) { return "...WAVE-file chunk '" + id + "' incomplete, 'data' not found!\r\n"; }

TEST(SkipRiffWave, Cases) {
  const Case cases[] = {
      {"plain mp3", kMpegFrameStart + Bytes(400, 'a'), 0, 0, ""},
      {"id3v2 tagged", "ID3\x03" + Bytes(300, '\0'), 0, 0, ""},
      {"empty file", "", 0, 0, ""},
      {"shorter than the magic", "RIF", 0, 0, ""},
      {"RIFX", "RIFX" + Le32(100) + "WAVE" + Chunk("data", 4), 0, 0, ""},
      {"RF64", "RF64" + Le32(100) + "WAVE" + Chunk("data", 4), 0, 0, ""},
      {"minimal mp3 in wave",
       WaveHeader() + Chunk("fmt ", 30) + Chunk("fact", 4) + Chunk("data", 8) + kMpegFrameStart, 1, 70, ""},
      // The pad byte is 'x': without it the next id would be read as "xdat".
      {"odd LIST chunk is padded", "RIFF" + Le32(4) + "WAVE" + Chunk("LIST", 25) + "x" + Chunk("data", 2), 1,
       12 + 34 + 8, ""},
      {"ids compare exactly", WaveHeader() + Chunk("DATA", 4) + Chunk("Data", 4) + Chunk("data", 0) + "z", 1,
       12 + 12 + 12 + 8, ""},
      {"data chunk first", WaveHeader() + Chunk("data", 3), 1, 20, ""},
      {"AVI form type", "RIFF" + Le32(100) + "AVI " + Bytes(40, 'q'), -1, 0, NotWave("AVI ")},
      {"ten-byte file: last four of the six bytes read", "RIFF" + Bytes("\x10\x00WAVx", 6), -1, 0,
       NotWave("WAVx")},
      {"six-byte file", "RIFFab", -1, 0, NotWave("ab")},
      {"magic only", "RIFF", -1, 0, NotWave("")},
      {"fmt chunk reaching the end", WaveHeader() + Chunk("fmt ", 30), -1, 0, NoData("fmt ")},
      {"header only: an empty id", WaveHeader(), -1, 0, NoData("")},
      {"size 0xFFFFFFFF does not wrap", WaveHeader() + Chunk("junk", 0) + "big!" + Le32(0xFFFFFFFF) +
                                            Chunk("data", 4) + Bytes(64, 'r'),
       -1, 0, NoData("big!")},
      {"cut-off header two bytes before the end", WaveHeader() + Chunk("fmt ", 4) + "ab", -1, 0, NoData("ab")},
      {"one byte left ends the walk", WaveHeader() + Chunk("fmt ", 4) + "d", -1, 0, NoData("fmt ")},
      {"cut-off data header", WaveHeader() + Chunk("fmt ", 4) + "data\x01", 1, 24 + 8, ""},
      {"binary id printed raw", WaveHeader() + Bytes("\x00\xFF\r\n", 4) + Le32(0), -1, 0,
       NoData(Bytes("\x00\xFF\r\n", 4))},
  };
  TempDir dir;
  for (const Case& c : cases) {
    WriteFile(dir / "f", c.content);
    for (const std::size_t bufferSize : {std::size_t{16}, platform::Reader::kDefaultBufferSize}) {
      SCOPED_TRACE(std::string(c.name) + " / buffer " + std::to_string(bufferSize));
      const Outcome got = Unwrap(dir / "f", bufferSize);
      EXPECT_EQ(got.result, c.result);
      if (c.result != -1) {
        EXPECT_EQ(got.position, c.position);
      }
      EXPECT_EQ(got.printed, c.printed);
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
    EXPECT_EQ(got.result, wave ? 1 : 0) << entry.path();
    EXPECT_EQ(got.position, wave ? 44 : 0) << entry.path();
    EXPECT_EQ(got.printed, "") << entry.path();
    ++files;
  }
  EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace scourby
