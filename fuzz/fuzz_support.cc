#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

namespace scourby::fuzz {

namespace fs = std::filesystem;

void Fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "\nInvariant failed at %s:%d: %s\n", file, line, what);
  std::fflush(stderr);
  __builtin_trap();
}

namespace {

// The process id, read from /proc/self without an operating system header;
// a random number where /proc is missing.
std::string ProcessTag() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self", error);
  if (!error) return self.filename().string();
  return "r" + std::to_string(std::random_device{}());
}

fs::path MakeScratchDir() {
  std::error_code error;
  const fs::path base = fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm") : fs::temp_directory_path();
  fs::path dir = base / ("scourby-fuzz-" + ProcessTag());
  fs::remove_all(dir, error);
  fs::create_directories(dir);
  return dir;
}

}  // namespace

const fs::path& ScratchDir() {
  // Never destroyed, so that it is still there when the exit handler runs.
  static const fs::path* const dir = [] {
    const auto* made = new fs::path(MakeScratchDir());
    std::atexit([] {
      std::error_code error;
      fs::remove_all(ScratchDir(), error);
    });
    return made;
  }();
  return *dir;
}

std::string WriteScratchFile(const std::string& name, std::span<const std::uint8_t> bytes) {
  const std::string path = (ScratchDir() / name).string();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  FUZZ_CHECK(out.good());
  return path;
}

std::string ReadWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace scourby::fuzz
