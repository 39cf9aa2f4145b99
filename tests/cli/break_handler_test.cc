#include "cli/break_handler.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "clean/run_state.h"

namespace scourby {
namespace {

// Runs fn with standard error sent to a temporary file; returns what it got.
template <typename Fn>
std::string CaptureStderr(Fn fn) {
  std::FILE* sink = std::tmpfile();
  const int saved = dup(2);
  dup2(fileno(sink), 2);
  fn();
  dup2(saved, 2);
  close(saved);
  std::string text;
  std::rewind(sink);
  for (int c; (c = std::fgetc(sink)) != EOF;) text.push_back(static_cast<char>(c));
  std::fclose(sink);
  return text;
}

TEST(ConsoleBreakHandler, PrintsNoticeForEachEventAndSetsFlag) {
  const struct {
    std::uint32_t code;
    const char* name;
  } events[] = {{0, "CTRL_C_EVENT"},
                {1, "CTRL_BREAK_EVENT"},
                {2, "CTRL_CLOSE_EVENT"},
                {5, "CTRL_LOGOFF_EVENT"},
                {6, "CTRL_SHUTDOWN_EVENT"}};
  for (const bool compatibility : {false, true}) {
    SetBreakNoticeMode(compatibility);
    for (const auto& event : events) {
      BreakRequested.store(0);
      std::int32_t handled = 0;
      const std::string notice = CaptureStderr([&] { handled = ConsoleBreakHandler(event.code); });
      EXPECT_EQ(handled, 1);
      EXPECT_EQ(BreakRequested.load(), 1);
      EXPECT_EQ(notice,
                std::string("\r\n*** ") + event.name +
                    (compatibility ? " -> Canceling current file ***\r\n" : " -> Finishing current file ***\r\n"));
    }
  }
}

TEST(ConsoleBreakHandler, DeclinesUnknownEvents) {
  BreakRequested.store(0);
  for (const std::uint32_t code : {3u, 4u, 7u, 0xFFFFFFFFu}) {
    std::int32_t handled = 1;
    EXPECT_EQ(CaptureStderr([&] { handled = ConsoleBreakHandler(code); }), "");
    EXPECT_EQ(handled, 0);
    EXPECT_EQ(BreakRequested.load(), 0);
  }
}

}  // namespace
}  // namespace scourby
