// What the fuzz targets share: a scratch folder on a memory file system, the
// fuzzer's bytes as a file, and a check that stops the fuzzer with a message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "platform/reader.h"

namespace scourby::fuzz {

// Prints what failed and where, then traps, so that libFuzzer keeps the
// input as a crash.
[[noreturn]] void Fail(const char* what, const char* file, int line);

#define FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : ::scourby::fuzz::Fail(#condition, __FILE__, __LINE__))

// This process's scratch folder, /dev/shm/scourby-fuzz-PID (under the system
// temporary folder where /dev/shm is missing), made on first use and removed
// when the process exits normally.
const std::filesystem::path& ScratchDir();

// Writes bytes to a file of the scratch folder and returns its path.
std::string WriteScratchFile(const std::string& name, std::span<const std::uint8_t> bytes);

// The whole file, or an empty string when it cannot be read.
std::string ReadWholeFile(const std::filesystem::path& path);

// The reader buffer sizes every file-based target runs through: the
// program's own, a tiny one (reads straddle its edges constantly) and none.
inline constexpr std::size_t kBufferSizes[] = {platform::Reader::kDefaultBufferSize, 16, 0};

inline std::span<const std::uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace scourby::fuzz
