#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/console.h"

namespace scourby::platform {
namespace {

UINT savedOutputCodePage = 0;  // 0: the console's code page was not changed

void WriteAll(HANDLE handle, const char* data, std::size_t size) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  while (size > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1 << 30));
    DWORD put = 0;
    // A closed pipe or a full disk: drop the rest.
    if (!WriteFile(handle, data, chunk, &put, nullptr) || put == 0) return;
    data += put;
    size -= put;
  }
}

// Writes text into the console screen buffer at the cursor, as printing to
// the console would: CR to the first column, LF to the next row, long lines
// wrapped, the buffer scrolled up at its last row. False when there is no
// console screen to write into.
bool WriteToScreen(std::string_view text) {
  const HANDLE screen = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  if (screen == INVALID_HANDLE_VALUE) return false;
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(screen, &info) || info.dwSize.X <= 0 || info.dwSize.Y <= 0) {
    CloseHandle(screen);
    return false;
  }
  const SHORT width = info.dwSize.X;
  const SHORT height = info.dwSize.Y;
  COORD cursor = info.dwCursorPosition;

  const auto nextRow = [&] {
    cursor.X = 0;
    if (cursor.Y + 1 < height) {
      ++cursor.Y;
      return;
    }
    // At the last row: move the whole buffer up by one row.
    const SMALL_RECT all = {0, 0, static_cast<SHORT>(width - 1), static_cast<SHORT>(height - 1)};
    CHAR_INFO fill;
    fill.Char.AsciiChar = ' ';
    fill.Attributes = info.wAttributes;
    ScrollConsoleScreenBufferA(screen, &all, nullptr, COORD{0, -1}, &fill);
  };

  std::vector<CHAR_INFO> cells;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '\r') {
      cursor.X = 0;
      ++i;
      continue;
    }
    if (text[i] == '\n') {
      nextRow();
      ++i;
      continue;
    }
    // The run of printable characters that fits on the rest of this row.
    const std::size_t room = static_cast<std::size_t>(width - cursor.X);
    std::size_t end = i;
    while (end < text.size() && end - i < room && text[end] != '\r' && text[end] != '\n') ++end;
    cells.assign(end - i, CHAR_INFO{});
    for (std::size_t k = 0; k < cells.size(); ++k) {
      cells[k].Char.AsciiChar = text[i + k];
      cells[k].Attributes = info.wAttributes;
    }
    const SHORT count = static_cast<SHORT>(cells.size());
    SMALL_RECT region = {cursor.X, cursor.Y, static_cast<SHORT>(cursor.X + count - 1), cursor.Y};
    WriteConsoleOutputA(screen, cells.data(), COORD{count, 1}, COORD{0, 0}, &region);
    cursor.X = static_cast<SHORT>(cursor.X + count);
    if (cursor.X >= width) nextRow();
    i = end;
  }
  SetConsoleCursorPosition(screen, cursor);  // also scrolls the window to it
  CloseHandle(screen);
  return true;
}

}  // namespace

void WriteStdoutNow(const char* data, std::size_t size) { WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), data, size); }

void WriteBreakNotice(std::string_view text) {
  if (!WriteToScreen(text)) WriteAll(GetStdHandle(STD_ERROR_HANDLE), text.data(), text.size());
}

std::optional<std::string> RawCommandLine() {
  const char* line = GetCommandLineA();
  return std::string(line != nullptr ? line : "");
}

void EnableProcessedInput() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(input, &mode)) SetConsoleMode(input, mode | ENABLE_PROCESSED_INPUT);
}

void BeginConsoleOutput() {
  // Names are printed as the process holds them, in its ANSI code page
  // (UTF-8 where the manifest is honoured): the console shows them in it.
  const UINT console = GetConsoleOutputCP();
  const UINT process = GetACP();
  if (console != 0 && console != process && SetConsoleOutputCP(process)) savedOutputCodePage = console;
}

void EndConsoleOutput() {
  if (savedOutputCodePage != 0) SetConsoleOutputCP(savedOutputCodePage);
  savedOutputCodePage = 0;
}

}  // namespace scourby::platform
