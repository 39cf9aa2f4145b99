// Buffered standard output, alike on every platform; the platform writes the
// bytes out (console_*.cc).
#include "platform/console.h"

namespace scourby::platform {
namespace {

constexpr std::size_t kFlushAt = 64 * 1024;
std::string pending;
std::string* capture = nullptr;

}  // namespace

void WriteStdout(std::string_view bytes) {
  if (capture != nullptr) {
    capture->append(bytes);
    return;
  }
  pending.append(bytes);
  if (pending.size() >= kFlushAt) FlushStdout();
}

void WriteStdoutLine(std::string_view text) {
  WriteStdout(text);
  WriteStdout("\r\n");
}

void FlushStdout() {
  WriteStdoutNow(pending.data(), pending.size());
  pending.clear();
}

void CaptureStdout(std::string* target) {
  FlushStdout();
  capture = target;
}

}  // namespace scourby::platform
