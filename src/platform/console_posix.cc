#include <unistd.h>

#include <cerrno>

#include "platform/console.h"

namespace scourby::platform {
namespace {

void WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t put = ::write(fd, data, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return;  // a closed pipe or a full disk: drop the rest
    data += put;
    size -= static_cast<std::size_t>(put);
  }
}

}  // namespace

void WriteStdoutNow(const char* data, std::size_t size) { WriteAll(STDOUT_FILENO, data, size); }

void WriteBreakNotice(std::string_view text) {
  const int saved = errno;  // a signal handler must leave errno as it found it
  WriteAll(STDERR_FILENO, text.data(), text.size());
  errno = saved;
}

std::optional<std::string> RawCommandLine() { return std::nullopt; }

void EnableProcessedInput() {}

void BeginConsoleOutput() {}

void EndConsoleOutput() {}

}  // namespace scourby::platform
