// Temporary folders, whole-file reads and writes, and runs of the real program.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace scourby::testing {

// A fresh folder under the system's temporary folder, removed with all its
// content when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

using Bytes = std::string;  // file contents, any byte value

void WriteFile(const std::string& path, const Bytes& content);
Bytes ReadFile(const std::string& path);
bool Exists(const std::string& path);

// The bytes of a text with every "\n" turned into CR LF.
Bytes Crlf(const std::string& text);

struct RunResult {
  Bytes out;
  Bytes err;
  int exitCode = -1;
};

// Runs the built program with these arguments in folder cwd (empty: the
// current folder) and collects what it printed.
RunResult RunScourby(const std::vector<std::string>& arguments, const std::string& cwd = {});

// The same, but a program still running after this many seconds is killed
// (exit code 128 + SIGKILL), so a hang fails the test instead of stalling it.
RunResult RunScourbyWithin(int seconds, const std::vector<std::string>& arguments, const std::string& cwd = {});

// The file lines of a run's output: what stands between the option echo and
// the summary line ("<malformed>" and the output when either is missing).
std::string FileLines(const Bytes& out);

// The program running in the background, for tests that signal it or close
// its output while it works.
class Process {
 public:
  Process(const std::vector<std::string>& arguments, const std::string& cwd);
  ~Process();
  // Reads standard output until it holds marker (or the program ends);
  // false when it never came.
  bool WaitForOutput(const std::string& marker);
  void Signal(int signal);
  // Closes the reading end of standard output: later writes fail (EPIPE).
  void CloseOutput();
  // Waits for the end and returns everything it printed.
  RunResult Wait();

 private:
  int pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  RunResult result_;
};

// The shared test data (conformance bitstreams, tagged files), or an empty
// path when it is not there; tests that need it skip then.
std::filesystem::path CorpusDir();

}  // namespace scourby::testing
