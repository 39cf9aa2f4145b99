#include "support/test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace scourby::testing {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device random;
  const fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = base / ("scourby-test-" + std::to_string(random()));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code error;
  // Folders made read-only by a test must become writable to be removed.
  for (auto it = fs::recursive_directory_iterator(path_, error); !error && it != fs::recursive_directory_iterator();
       it.increment(error)) {
    if (it->is_directory(error) && !it->is_symlink(error)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
    }
  }
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, error);
  fs::remove_all(path_, error);
}

void WriteFile(const std::string& path, const Bytes& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool Exists(const std::string& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(path, error));
}

Bytes Crlf(const std::string& text) {
  Bytes out;
  for (const char c : text) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

namespace {

// Starts the program with its standard output and error on pipes.
pid_t Spawn(const std::vector<std::string>& arguments, const std::string& cwd, int& out, int& err) {
  int outPipe[2], errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) throw std::runtime_error("pipe");
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    close(outPipe[0]);
    close(errPipe[0]);
    const int devNull = open("/dev/null", O_RDONLY);
    dup2(devNull, 0);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    std::vector<char*> argv;
    std::string program = SCOURBY_BINARY;
    argv.push_back(program.data());
    std::vector<std::string> copies = arguments;
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  out = outPipe[0];
  err = errPipe[0];
  return pid;
}

// Reads both pipes until both are closed, or until timeoutMs has passed
// (-1: no limit); false on a timeout.
bool Drain(int out, int err, RunResult& result, int timeoutMs = -1) {
  pollfd fds[2] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
  int open = (out >= 0) + (err >= 0);
  char buffer[65536];
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (open > 0) {
    int wait = -1;
    if (timeoutMs >= 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        for (const pollfd& p : fds) {
          if (p.fd >= 0) close(p.fd);
        }
        return false;
      }
      wait = static_cast<int>(left.count());
    }
    if (poll(fds, 2, wait) <= 0) continue;  // negative fds are skipped
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got <= 0) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      } else {
        (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(got));
      }
    }
  }
  return true;
}

int WaitExit(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

RunResult RunScourby(const std::vector<std::string>& arguments, const std::string& cwd) {
  RunResult result;
  int out, err;
  const pid_t pid = Spawn(arguments, cwd, out, err);
  Drain(out, err, result);
  result.exitCode = WaitExit(pid);
  return result;
}

RunResult RunScourbyWithin(int seconds, const std::vector<std::string>& arguments, const std::string& cwd) {
  RunResult result;
  int out, err;
  const pid_t pid = Spawn(arguments, cwd, out, err);
  if (!Drain(out, err, result, seconds * 1000)) kill(pid, SIGKILL);
  result.exitCode = WaitExit(pid);
  return result;
}

Process::Process(const std::vector<std::string>& arguments, const std::string& cwd) {
  pid_ = Spawn(arguments, cwd, out_, err_);
}

Process::~Process() {
  if (pid_ > 0) Wait();
}

bool Process::WaitForOutput(const std::string& marker) {
  char buffer[4096];
  while (result_.out.find(marker) == std::string::npos) {
    if (out_ < 0) return false;
    const ssize_t got = read(out_, buffer, sizeof buffer);
    if (got <= 0) return false;
    result_.out.append(buffer, static_cast<std::size_t>(got));
  }
  return true;
}

void Process::Signal(int signal) { kill(pid_, signal); }

void Process::CloseOutput() {
  close(out_);
  out_ = -1;
}

RunResult Process::Wait() {
  Drain(out_, err_, result_);
  out_ = err_ = -1;
  result_.exitCode = WaitExit(pid_);
  pid_ = -1;
  return result_;
}

fs::path CorpusDir() {
  if (const char* over = std::getenv("SCOURBY_CORPUS")) return over;
  const fs::path corpus = fs::path(SCOURBY_SOURCE_DIR) / ".." / "shared" / "corpus";
  std::error_code error;
  return fs::is_directory(corpus, error) ? corpus : fs::path();
}

std::string FileLines(const Bytes& out) {
  const std::size_t begin = out.find("Use /? option for help.\r\n\r\n");
  const std::size_t end = out.rfind("\r\n\r\nFinished!");
  if (begin == std::string::npos || end == std::string::npos) return "<malformed>" + out;
  const std::size_t from = begin + 27;
  return from > end + 2 ? "" : out.substr(from, end + 2 - from);
}

}  // namespace scourby::testing
