#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/error.h"

namespace scourby::platform {

Error SystemError(int code) {
  using Kind = Error::Kind;
  switch (static_cast<DWORD>(code)) {
    case NO_ERROR: return {};
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH: return {Kind::kNoSuchFile, code};
    case ERROR_ACCESS_DENIED: return {Kind::kAccessDenied, code};
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return {Kind::kLocked, code};
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return {Kind::kDiskFull, code};
    case ERROR_WRITE_PROTECT: return {Kind::kReadOnlyFileSystem, code};
    case ERROR_IO_DEVICE:
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT: return {Kind::kIo, code};
    default: return {Kind::kOther, code};
  }
}

Error LastSystemError() { return SystemError(static_cast<int>(GetLastError())); }

}  // namespace scourby::platform
