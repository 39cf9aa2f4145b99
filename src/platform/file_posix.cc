#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/fault_plan.h"
#include "platform/file.h"

namespace scourby::platform {
namespace {

// Reading through a file opened with this flag moves no access time (Linux;
// only the file's owner or a privileged process may ask for it).
#ifdef O_NOATIME
constexpr int kNoAccessTime = O_NOATIME;
#else
constexpr int kNoAccessTime = 0;
#endif

// Opens a regular file only; anything else fails (errno EISDIR, which reads
// "not a regular file"). length, when given, receives the file's length.
int OpenRegular(const std::string& path, int flags, std::int64_t* length = nullptr) {
  int fd;
  do {
    // A file this creates is private until it takes its input's permissions.
    fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return -1;
  }
  // O_NONBLOCK only kept a FIFO or device from blocking the open; of the
  // other status flags only O_NOATIME may be set.
  ::fcntl(fd, F_SETFL, flags & kNoAccessTime);
  if (length != nullptr) *length = static_cast<std::int64_t>(st.st_size);
  return fd;
}


std::int64_t ToNanoseconds(const timespec& t) { return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec; }

timespec FromNanoseconds(std::int64_t ns) {
  timespec t;
  t.tv_sec = static_cast<time_t>(ns / 1000000000);
  t.tv_nsec = static_cast<long>(ns % 1000000000);
  if (t.tv_nsec < 0) {
    t.tv_nsec += 1000000000;
    t.tv_sec -= 1;
  }
  return t;
}

// A file with another name (a hard link) is no file to write through.
const Error kOtherNames = {Error::Kind::kNotRegularFile, EMLINK};

// Whether the file has a name besides the one it was opened by (a hard
// link): writing to it would change that file too, the input itself perhaps.
bool HasOtherNames(int fd) {
  struct stat st;
  return ::fstat(fd, &st) != 0 || st.st_nlink > 1;
}

}  // namespace

File::File(File&& other) noexcept
    : lengthWhenOpened_(other.lengthWhenOpened_), error_(other.error_), fd_(other.fd_) {
  other.fd_ = -1;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    lengthWhenOpened_ = other.lengthWhenOpened_;
    error_ = other.error_;
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

File::~File() { Close(); }

File File::OpenExisting(const std::string& path, FileAccess access) {
  std::int64_t length = -1;
  const int flags = access == FileAccess::kRead ? O_RDONLY : O_RDWR;
  // Reading moves no time where the system allows it; a file of another
  // owner is read plainly.
  if (FaultHit(FileOp::kOpen)) return FailedToOpen(FaultError());
  int fd = OpenRegular(path, flags | kNoAccessTime, &length);
  if (fd < 0 && errno == EPERM && kNoAccessTime != 0) fd = OpenRegular(path, flags, &length);
  if (fd < 0) return FailedToOpen(LastSystemError());
  File file(fd);
  file.lengthWhenOpened_ = length;
  if (access == FileAccess::kReadWrite && !file.TryLock()) return FailedToOpen(file.error());
  return file;
}

bool File::TakePermissions(int fd, const File* like) {
  if (like == nullptr || !like->IsOpen()) return true;
  struct stat st;
  if (::fstat(like->fd_, &st) != 0) return true;
  // Owner first: changing it may clear permission bits.
  [[maybe_unused]] int ignored = ::fchown(fd, st.st_uid, st.st_gid);
  return ::fchmod(fd, st.st_mode & 0777) == 0;
}

File File::CreateOutput(const std::string& path, const File* like) {
  if (FaultHit(FileOp::kOpen)) return FailedToOpen(FaultError());
  const int fd = OpenRegular(path, O_RDWR | O_CREAT | O_NOFOLLOW);
  if (fd < 0) return FailedToOpen(LastSystemError());
  File file(fd);
  if (HasOtherNames(fd)) return FailedToOpen(kOtherNames);
  // Permissions before the cut: a file that cannot be made ours keeps its
  // content.
  if (!TakePermissions(fd, like) || ::ftruncate(fd, 0) != 0) return FailedToOpen(LastSystemError());
  return file;
}

File File::OpenOrCreateOutput(const std::string& path, const File* like, bool& created) {
  created = false;
  if (FaultHit(FileOp::kOpen)) return FailedToOpen(FaultError());
  int fd = OpenRegular(path, O_WRONLY | O_NOFOLLOW);
  if (fd >= 0) return HasOtherNames(fd) ? (::close(fd), FailedToOpen(kOtherNames)) : File(fd);
  if (errno != ENOENT) return FailedToOpen(LastSystemError());
  fd = OpenRegular(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW);
  if (fd < 0) return FailedToOpen(LastSystemError());
  File file(fd);
  if (!TakePermissions(fd, like)) {
    const Error error = LastSystemError();
    file.Close();
    ::unlink(path.c_str());
    return FailedToOpen(error);
  }
  created = true;
  return file;
}

File File::CreateScratch() {
  const char* folder = std::getenv("TMPDIR");
  const std::string dir = folder != nullptr && *folder != '\0' ? folder : "/tmp";
#ifdef O_TMPFILE
  const int unnamed = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (unnamed >= 0) return File(unnamed);
#endif
  std::string name = dir + "/scourby-XXXXXX";
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return FailedToOpen(LastSystemError());
  ::unlink(name.c_str());
  return File(fd);
}

bool File::IsOpen() const { return fd_ >= 0; }

std::int64_t File::ReadAt(std::int64_t offset, void* buffer, std::size_t size) {
  if (FaultHit(FileOp::kRead)) return Failed(FaultError()), -1;
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::pread(fd_, out + done, size - done, static_cast<off_t>(offset + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      return Failed(LastSystemError()), -1;
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<std::int64_t>(done);
}

bool File::WriteAt(std::int64_t offset, const void* data, std::size_t size) {
  const auto* in = static_cast<const char*>(data);
  const std::size_t allowed = FaultWriteAllowance(size);
  const bool cutShort = allowed < size;
  size = allowed;
  std::size_t done = 0;
  while (done < size) {
    const ssize_t put = ::pwrite(fd_, in + done, size - done, static_cast<off_t>(offset + done));
    if (put < 0) {
      if (errno == EINTR) continue;
      return Failed(LastSystemError());
    }
    if (put == 0) return Failed(SystemError(ENOSPC));
    done += static_cast<std::size_t>(put);
  }
  return !cutShort || Failed(FaultError());
}

std::int64_t File::CopyInSystem(std::int64_t offset, std::int64_t size, File& to, std::int64_t toOffset) {
#ifdef __linux__
  // Under a test's fault plan every byte goes through ReadAt and WriteAt,
  // where each can be made to fail.
  if (activeFaultPlan != nullptr) return 0;
  off_t from = offset;
  off_t at = toOffset;
  std::int64_t done = 0;
  while (done < size) {
    const ssize_t copied = ::copy_file_range(fd_, &from, to.fd_, &at, static_cast<std::size_t>(size - done), 0);
    if (copied < 0) {
      if (errno == EINTR) continue;
      // Files the system cannot copy between (other file systems, older
      // kernels): the caller copies the rest through a buffer.
      if (done == 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) return 0;
      return to.Failed(LastSystemError()), -1;
    }
    if (copied == 0) return to.Failed(SystemError(EIO)), -1;  // the file ended early
    done += copied;
  }
  return done;
#else
  (void)offset, (void)size, (void)to, (void)toOffset;
  return 0;
#endif
}

std::int64_t File::Length() {
  struct stat st;
  if (::fstat(fd_, &st) != 0) return Failed(LastSystemError()), -1;
  return static_cast<std::int64_t>(st.st_size);
}

bool File::Truncate(std::int64_t length) {
  if (FaultHit(FileOp::kTruncate)) return Failed(FaultError());
  return ::ftruncate(fd_, static_cast<off_t>(length)) == 0 || Failed(LastSystemError());
}

bool File::Flush() {
  if (FaultHit(FileOp::kFlush)) return Failed(FaultError());
  return ::fsync(fd_) == 0 || Failed(LastSystemError());
}

bool File::TryLock() {
  int rc;
  do {
    rc = ::flock(fd_, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  return rc == 0 || Failed(LastSystemError());
}

bool File::TakeAttributes(const File*) { return true; }

bool File::GetTimes(FileTimes& times) {
  struct stat st;
  if (::fstat(fd_, &st) != 0) return false;
  times.creation = 0;
  times.lastAccess = ToNanoseconds(st.st_atim);
  times.lastWrite = ToNanoseconds(st.st_mtim);
  return true;
}

bool File::SetTimes(const FileTimes& times) {
  const timespec both[2] = {FromNanoseconds(times.lastAccess), FromNanoseconds(times.lastWrite)};
  return ::futimens(fd_, both) == 0;
}

bool File::Close() {
  if (fd_ < 0) return true;
  const bool injected = FaultHit(FileOp::kClose);
  const int rc = ::close(fd_);
  const Error error = rc == 0 || errno == EINTR ? Error() : LastSystemError();
  fd_ = -1;
  if (injected) return Failed(FaultError());
  return !error.failed() || Failed(error);
}

std::string FinalPathOf(const std::string& path, const File& opened) {
  struct stat link;
  if (::lstat(path.c_str(), &link) != 0) return {};
  if (!S_ISLNK(link.st_mode)) return path;
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return {};
  const std::string target = resolved;
  std::free(resolved);
  // The link may have been changed since the file was opened.
  struct stat atTarget, atOpened;
  if (::stat(target.c_str(), &atTarget) != 0 || ::fstat(opened.fd_, &atOpened) != 0 ||
      atTarget.st_dev != atOpened.st_dev || atTarget.st_ino != atOpened.st_ino) {
    return {};
  }
  return target;
}

Error DeletePath(const std::string& path) {
  if (FaultHit(FileOp::kDelete)) return FaultError();
  return ::unlink(path.c_str()) == 0 ? Error() : LastSystemError();
}

Error RenameReplacing(const std::string& from, const std::string& to) {
  if (FaultHit(FileOp::kRename)) return FaultError();
  // Only a file is replaced: a link or a folder at to stays as it is.
  struct stat st;
  if (::lstat(to.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return SystemError(EISDIR);
  return ::rename(from.c_str(), to.c_str()) == 0 ? Error() : LastSystemError();
}

}  // namespace scourby::platform
