// Console output and the command line.
//
// Everything the program prints goes through WriteStdout, so that it can be
// redirected; the break notice alone goes where the user sees it even then.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace scourby::platform {

// Appends bytes to standard output. Output is buffered and pushed out by
// FlushStdout, and when the buffer fills. A failed write (a closed pipe, a
// full disk, a closed terminal) is ignored and the bytes are dropped: output
// never stops the work. The caller writes line ends itself (CR LF).
void WriteStdout(std::string_view bytes);

// Appends text and the line end, CR LF.
void WriteStdoutLine(std::string_view text);

// Writes whatever WriteStdout holds. Failures are ignored.
void FlushStdout();

// Test seam: while a capture string is set, WriteStdout appends to it instead
// of writing to standard output. nullptr restores normal output.
void CaptureStdout(std::string* capture);

// Writes the break notice (a few short lines) where the user sees it even when
// standard output is redirected: the console screen on Windows, standard error
// on POSIX. Safe to call from a signal handler on POSIX (one write(2), no
// allocation, no lock); failures are ignored.
void WriteBreakNotice(std::string_view text);

// The whole command line as the system holds it (GetCommandLineA), program
// name included, where the system hands the program an unsplit line; nullopt
// where the arguments arrive already split (POSIX argv).
std::optional<std::string> RawCommandLine();

// Makes Ctrl+C arrive as a break event rather than as a key press: turns on
// ENABLE_PROCESSED_INPUT for standard input when it is a console, keeping its
// other mode bits. Does nothing when standard input is not a console, and on
// POSIX, where the terminal already delivers the interrupt key as a signal.
void EnableProcessedInput();

// Brackets the run's output. On Windows the console's output code page is
// set to the code page the program's names and paths are held in (UTF-8 with
// the program's manifest) and put back by EndConsoleOutput. Nothing on POSIX.
void BeginConsoleOutput();
void EndConsoleOutput();

// The platform's unbuffered write of bytes to standard output, under the
// buffer above (write / WriteFile). A failed write drops the rest.
void WriteStdoutNow(const char* data, std::size_t size);

}  // namespace scourby::platform
