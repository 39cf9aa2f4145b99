#include "platform/error.h"

namespace scourby::platform {

std::string ErrorText(const Error& error) {
  switch (error.kind) {
    case Error::Kind::kNone: return "";
    case Error::Kind::kNoSuchFile: return "no such file";
    case Error::Kind::kAccessDenied: return "access denied";
    case Error::Kind::kLocked: return "locked by another program";
    case Error::Kind::kNotRegularFile: return "not a regular file";
    case Error::Kind::kDiskFull: return "disk full";
    case Error::Kind::kReadOnlyFileSystem: return "read-only file system";
    case Error::Kind::kIo: return "input/output error";
    case Error::Kind::kOther: break;
  }
  return "system error " + std::to_string(error.code);
}

}  // namespace scourby::platform
