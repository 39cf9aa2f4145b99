// The frame walk of the cleaning pass over a large file, through read
// buffers of several sizes and with every read going to the file, to show
// what the buffer saves and which size reads fastest. Rates are per wall-clock second, system calls included.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "mpeg/frame_search.h"

namespace scourby {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kFileSize = 96u << 20;

// MPEG 1 Layer III frames at 44100 Hz, bitrate and padding changing from
// frame to frame, random audio bytes, and 1 to 64 bytes of junk (never
// 0xFF, so it holds no header) after every 16th frame. Built once, removed
// at exit.
class WalkFile {
 public:
  WalkFile() {
    folder_ = fs::temp_directory_path() / ("scourby-bench-" + std::to_string(std::random_device{}()));
    fs::create_directory(folder_);
    path_ = (folder_ / "walk.mp3").string();
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    std::mt19937 random(417);
    std::vector<char> bytes;
    bytes.reserve(kFileSize + 4096);
    while (bytes.size() < kFileSize) {
      AppendFrame(bytes, random);
      if (frames_ % 16 == 0) AppendJunk(bytes, random);
    }
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path_);
    size_ = static_cast<std::int64_t>(bytes.size());
  }
  ~WalkFile() {
    std::error_code error;
    fs::remove_all(folder_, error);
  }

  const std::string& path() const { return path_; }
  std::int64_t size() const { return size_; }
  int frames() const { return frames_; }

 private:
  void AppendFrame(std::vector<char>& bytes, std::mt19937& random) {
    const unsigned bitrateIndex = 1 + static_cast<unsigned>(frames_ % 14);
    const unsigned padding = static_cast<unsigned>(frames_ / 14) % 2;
    FrameHeader header;
    header.headerBytes = {0xFF, 0xFB, static_cast<std::uint8_t>(bitrateIndex << 4 | padding << 1), 0x64};
    if (DecodeFrameHeader(header) != 1) throw std::logic_error("bad benchmark header");
    bytes.insert(bytes.end(), header.headerBytes.begin(), header.headerBytes.end());
    for (std::int32_t i = 4; i < header.frameLength; ++i) bytes.push_back(static_cast<char>(random()));
    ++frames_;
  }

  static void AppendJunk(std::vector<char>& bytes, std::mt19937& random) {
    const std::uint32_t length = 1 + random() % 64;
    for (std::uint32_t i = 0; i < length; ++i) bytes.push_back(static_cast<char>(random() % 0xFF));
  }

  fs::path folder_;
  std::string path_;
  std::int64_t size_ = 0;
  int frames_ = 0;
};

const WalkFile& TheWalkFile() {
  static const WalkFile file;
  return file;
}

// The pass's walk: find the first frame with the Xing probe, then read each
// frame whole and search again behind it. Returns the frames read.
int WalkFrames(platform::Reader& reader) {
  FrameHeader header;
  XingInfo xing;
  int frames = 0;
  std::int32_t found = FindFrameHeader(reader, 1, header, xing);
  while (found == 1) {
    const auto length = static_cast<std::size_t>(header.frameLength);
    if (reader.View(length).size() < length) break;
    ++frames;
    found = FindFrameHeader(reader, 0, header, xing);
  }
  return frames;
}

// Argument: the Reader's buffer size (0 makes every read a system call).
void BM_FrameWalk(benchmark::State& state) {
  const WalkFile& walkFile = TheWalkFile();
  platform::File file = platform::File::OpenExisting(walkFile.path(), platform::FileAccess::kRead);
  if (!file.IsOpen()) {
    state.SkipWithError("cannot open the walk file");
    return;
  }
  for (auto _ : state) {
    platform::Reader reader(file, static_cast<std::size_t>(state.range(0)));
    const int frames = WalkFrames(reader);
    if (frames != walkFile.frames() || reader.Position() != walkFile.size()) {
      state.SkipWithError("the walk did not reach every frame");
      break;
    }
    benchmark::DoNotOptimize(frames);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * walkFile.size());
}

BENCHMARK(BM_FrameWalk)
    ->ArgName("buffer")
    ->Arg(128 << 10)
    ->Arg(256 << 10)
    ->Arg(512 << 10)
    ->Arg(1 << 20)
    ->Arg(2 << 20)
    ->Arg(0)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace scourby

BENCHMARK_MAIN();
