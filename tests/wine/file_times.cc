// Reads or sets the three times of a file, for the Windows end-to-end tests:
//   file_times get PATH                 prints "CREATION ACCESS WRITE" (FILETIME ticks)
//   file_times set PATH CREATION ACCESS WRITE
// Exit code 0 on success, 1 on failure.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

FILETIME Ticks(const char* text) {
  const unsigned long long value = std::strtoull(text, nullptr, 10);
  return FILETIME{static_cast<DWORD>(value & 0xFFFFFFFF), static_cast<DWORD>(value >> 32)};
}

unsigned long long Ticks(const FILETIME& t) {
  return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

}  // namespace

int main(int argc, char** argv) {
  const bool set = argc == 6 && std::strcmp(argv[1], "set") == 0;
  if (!set && !(argc == 3 && std::strcmp(argv[1], "get") == 0)) {
    std::fprintf(stderr, "usage: file_times get PATH | set PATH CREATION ACCESS WRITE\n");
    return 1;
  }
  const HANDLE file = CreateFileA(argv[2], set ? FILE_WRITE_ATTRIBUTES : FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  FILETIME times[3];
  bool ok;
  if (set) {
    for (int i = 0; i < 3; ++i) times[i] = Ticks(argv[3 + i]);
    ok = SetFileTime(file, &times[0], &times[1], &times[2]) != 0;
  } else {
    ok = GetFileTime(file, &times[0], &times[1], &times[2]) != 0;
    if (ok) std::printf("%llu %llu %llu\n", Ticks(times[0]), Ticks(times[1]), Ticks(times[2]));
  }
  CloseHandle(file);
  return ok ? 0 : 1;
}
