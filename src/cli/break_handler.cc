#include "cli/break_handler.h"

#include <cstring>
#include <string_view>

#include "clean/run_state.h"
#include "platform/console.h"
#include "platform/signals.h"

namespace scourby {
namespace {

std::atomic<bool> cancelCurrentFile{false};

const char* EventName(std::uint32_t eventCode) {
  switch (eventCode) {
    case platform::kCtrlCEvent: return "CTRL_C_EVENT";
    case platform::kCtrlBreakEvent: return "CTRL_BREAK_EVENT";
    case platform::kCtrlCloseEvent: return "CTRL_CLOSE_EVENT";
    case platform::kCtrlLogoffEvent: return "CTRL_LOGOFF_EVENT";
    case platform::kCtrlShutdownEvent: return "CTRL_SHUTDOWN_EVENT";
    default: return nullptr;
  }
}

}  // namespace

void SetBreakNoticeMode(bool compatibility) { cancelCurrentFile.store(compatibility); }

std::int32_t ConsoleBreakHandler(std::uint32_t eventCode) {
  const char* name = EventName(eventCode);
  if (name == nullptr) return 0;
  // Built in a local buffer: a signal handler may not allocate.
  const char* what =
      cancelCurrentFile.load() ? " -> Canceling current file ***\r\n" : " -> Finishing current file ***\r\n";
  char notice[96];
  std::size_t length = 0;
  for (const char* part : {"\r\n*** ", name, what}) {
    const std::size_t n = std::strlen(part);
    std::memcpy(notice + length, part, n);
    length += n;
  }
  platform::WriteBreakNotice(std::string_view(notice, length));
  BreakRequested.store(1);
  return 1;
}

}  // namespace scourby
