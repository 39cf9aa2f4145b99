// How long a chain of frame headers forms by chance in files that hold no
// MPEG audio (PCM, say): for every offset with a valid header, the number of
// whole frames in a row that start there, each beginning where the one
// before ends and all of the first frame's version, layer, sample rate and
// channel count. Reports per layer the longest chain, how many offsets start
// a chain of at least 2, 3, ... frames, and the files with the longest.
//   chance_chains FILE...

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "mpeg/frame_header.h"

namespace {

using scourby::FrameHeader;

// Files are read from the end backwards in chunks. The first kCarry bytes of
// a chunk, with their chain lengths, are kept behind the next (earlier)
// chunk, so a frame that starts near a chunk's end finds the frame after it.
// kCarry is well above the longest frame (2881 bytes).
constexpr std::size_t kChunk = 8u << 20;
constexpr std::size_t kCarry = 64u << 10;

constexpr std::array<std::uint32_t, 10> kThresholds = {2, 3, 4, 5, 6, 8, 12, 16, 24, 32};

struct Longest {
  std::uint32_t length = 0;
  std::string file;
  std::uint64_t offset = 0;
  FrameHeader header;
};

struct LayerStats {
  std::uint64_t headers = 0;  // offsets with a valid header
  std::array<std::uint64_t, kThresholds.size()> atLeast{};
  Longest longest;
};

// Version, layer, sample rate and channel count: what every frame of a
// chain shares with its first.
bool SameKey(const FrameHeader& a, const FrameHeader& b) {
  const bool monoA = scourby::ChannelMode(a) == 3;
  const bool monoB = scourby::ChannelMode(b) == 3;
  return a.versionCode == b.versionCode && a.layer == b.layer && a.sampleRate == b.sampleRate && monoA == monoB;
}

// Scans one file; returns its size, or -1 if it cannot be read. fileBest
// receives the file's longest chain per layer.
std::int64_t ScanFile(const std::string& path, std::array<LayerStats, 4>& stats, std::array<Longest, 4>& fileBest) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return -1;
  const auto size = static_cast<std::uint64_t>(in.tellg());
  if (size == 0) return 0;

  std::vector<std::uint8_t> bytes(kChunk + kCarry);
  std::vector<std::uint32_t> chain(kChunk + kCarry, 0);
  std::uint64_t start = ((size - 1) / kChunk) * kChunk;
  std::size_t carried = 0;  // bytes kept from the later chunk
  while (true) {
    const std::size_t own = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size - start));
    if (carried > 0) {
      // own == kChunk whenever something is carried.
      std::copy_n(bytes.begin(), carried, bytes.begin() + static_cast<std::ptrdiff_t>(own));
      std::copy_n(chain.begin(), carried, chain.begin() + static_cast<std::ptrdiff_t>(own));
    }
    in.seekg(static_cast<std::streamoff>(start));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(own));
    if (static_cast<std::size_t>(in.gcount()) != own) return -1;
    const std::size_t window = own + carried;  // ends at the file's end or kCarry past the chunk

    FrameHeader header;
    FrameHeader next;
    for (std::size_t i = own; i-- > 0;) {
      chain[i] = 0;
      if (i + 4 > window || !scourby::IsFrameHeader(bytes.data() + i, header)) continue;
      const std::uint64_t at = start + i;
      auto& layer = stats[static_cast<std::size_t>(header.layer)];
      ++layer.headers;
      if (at + static_cast<std::uint64_t>(header.frameLength) > size) continue;
      std::uint32_t length = 1;
      const std::size_t j = i + static_cast<std::size_t>(header.frameLength);
      if (j + 4 <= window && scourby::IsFrameHeader(bytes.data() + j, next) && SameKey(header, next)) {
        length += chain[j];
      }
      chain[i] = length;
      for (std::size_t t = 0; t < kThresholds.size(); ++t) {
        if (length >= kThresholds[t]) ++layer.atLeast[t];
      }
      auto& best = fileBest[static_cast<std::size_t>(header.layer)];
      if (length > best.length) best = {length, path, at, header};
    }

    if (start == 0) break;
    carried = std::min(kCarry, own);
    start -= kChunk;
  }
  return static_cast<std::int64_t>(size);
}

std::string Describe(const Longest& l) {
  if (l.length == 0) return "-";
  char text[160];
  std::snprintf(text, sizeof text, "MPEG %s, %d Hz, %s, %d kbit/s, %d bytes", scourby::VersionText(l.header.versionCode),
                l.header.sampleRate, scourby::ChannelMode(l.header) == 3 ? "mono" : "stereo", l.header.bitrate,
                l.header.frameLength);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: chance_chains FILE...\n";
    return 2;
  }
  scourby::InitFrameTables();

  std::array<LayerStats, 4> stats{};  // indexed by layer, 1 to 3
  std::vector<Longest> worst;         // each file's longest chain per layer
  std::uint64_t total = 0;
  int failed = 0;
  for (int a = 1; a < argc; ++a) {
    std::array<Longest, 4> fileBest{};
    const std::int64_t size = ScanFile(argv[a], stats, fileBest);
    if (size < 0) {
      std::cerr << "cannot read " << argv[a] << "\n";
      ++failed;
      continue;
    }
    total += static_cast<std::uint64_t>(size);
    for (std::size_t layer = 1; layer <= 3; ++layer) {
      const Longest& best = fileBest[layer];
      if (best.length == 0) continue;
      if (best.length > stats[layer].longest.length) stats[layer].longest = best;
      worst.push_back(best);
    }
  }

  std::printf("files: %d   bytes scanned: %llu (%.1f MB)\n\n", argc - 1 - failed,
              static_cast<unsigned long long>(total), static_cast<double>(total) / 1e6);
  std::printf("layer  headers     longest");
  for (const auto t : kThresholds) std::printf("  >=%-7u", t);
  std::printf("\n");
  for (std::size_t layer = 1; layer <= 3; ++layer) {
    const LayerStats& s = stats[layer];
    std::printf("%-5s  %-10llu  %-7u", layer == 1 ? "I" : layer == 2 ? "II" : "III",
                static_cast<unsigned long long>(s.headers), s.longest.length);
    for (const auto count : s.atLeast) std::printf("  %-9llu", static_cast<unsigned long long>(count));
    std::printf("\n");
  }
  std::printf("\nlongest chain per layer:\n");
  for (std::size_t layer = 1; layer <= 3; ++layer) {
    const Longest& l = stats[layer].longest;
    if (l.length == 0) {
      std::printf("  %-3s  none\n", layer == 1 ? "I" : layer == 2 ? "II" : "III");
      continue;
    }
    std::printf("  %-3s  %u frames at offset %llu of %s (%s)\n", layer == 1 ? "I" : layer == 2 ? "II" : "III",
                l.length, static_cast<unsigned long long>(l.offset), l.file.c_str(), Describe(l).c_str());
  }

  std::sort(worst.begin(), worst.end(), [](const Longest& x, const Longest& y) { return x.length > y.length; });
  const std::size_t shown = std::min<std::size_t>(worst.size(), 12);
  std::printf("\nworst files (longest chain in the file, any layer):\n");
  for (std::size_t i = 0; i < shown; ++i) {
    const Longest& l = worst[i];
    std::printf("  %4u  layer %-3s  offset %-10llu  %s  (%s)\n", l.length,
                l.header.layer == 1 ? "I" : l.header.layer == 2 ? "II" : "III",
                static_cast<unsigned long long>(l.offset), l.file.c_str(), Describe(l).c_str());
  }
  return failed == 0 ? 0 : 1;
}
