#include <cerrno>

#include "platform/error.h"

namespace scourby::platform {

Error SystemError(int code) {
  using Kind = Error::Kind;
  switch (code) {
    case 0: return {};
    case ENOENT:
    case ENOTDIR: return {Kind::kNoSuchFile, code};
    case EACCES:
    case EPERM: return {Kind::kAccessDenied, code};
    case EWOULDBLOCK: return {Kind::kLocked, code};
    // A folder or a link where a file was to be opened or made.
    case EISDIR:
    case ELOOP: return {Kind::kNotRegularFile, code};
    case ENOSPC:
    case EDQUOT: return {Kind::kDiskFull, code};
    case EROFS: return {Kind::kReadOnlyFileSystem, code};
    case EIO: return {Kind::kIo, code};
    default: return {Kind::kOther, code};
  }
}

Error LastSystemError() { return SystemError(errno); }

}  // namespace scourby::platform
