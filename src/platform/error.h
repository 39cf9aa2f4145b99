// What a failed call to the system reports, as a value that travels with
// the file it happened to: a kind that both builds name alike, and the
// system's own code (errno on POSIX, GetLastError on Windows) for the kinds
// that have no name of their own. Nothing above this layer looks at the
// code but to print it.
#pragma once

#include <string>

namespace scourby::platform {

struct Error {
  enum class Kind {
    kNone,  // no failure
    kNoSuchFile,
    kAccessDenied,
    kLocked,          // another program holds the file
    kNotRegularFile,  // a folder, a link, a device where a file should be
    kDiskFull,
    kReadOnlyFileSystem,
    kIo,
    kOther,
  };
  Kind kind = Kind::kNone;
  int code = 0;  // the system's code

  bool failed() const { return kind != Kind::kNone; }
  bool operator==(const Error&) const = default;
};

// The error the calling thread's last failed system call reported (errno;
// GetLastError on Windows).
Error LastSystemError();

// The error for one of the system's codes.
Error SystemError(int code);

// The words for an error, alike on both builds: "no such file", "access
// denied", "locked by another program", "not a regular file", "disk full",
// "read-only file system", "input/output error", or "system error " and the
// code; empty for no error.
std::string ErrorText(const Error& error);

}  // namespace scourby::platform
