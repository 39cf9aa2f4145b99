#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>

#include "platform/fault_plan.h"
#include "platform/file.h"
#include "platform/path_win32.h"

namespace scourby::platform {
namespace {

// The largest piece one ReadFile or WriteFile call is given.
constexpr std::size_t kMaxTransfer = 1 << 30;

HANDLE AsHandle(void* handle) { return handle == nullptr ? INVALID_HANDLE_VALUE : static_cast<HANDLE>(handle); }

// Cleaners keep each other off a file with an exclusive lock on one byte far
// beyond any file's end, so the lock never stands in the way of reading or
// writing the file itself. Closing the handle releases it.
bool LockAgainstCleaners(HANDLE handle) {
  OVERLAPPED at = {};
  at.Offset = 0xFFFFFFFE;
  at.OffsetHigh = 0x7FFFFFFF;
  return LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0;
}

bool Seek(HANDLE handle, std::int64_t offset) {
  if (offset < 0) return false;
  LONG high = static_cast<LONG>(offset >> 32);
  SetLastError(NO_ERROR);  // a low part of 0xFFFFFFFF is a valid position
  const DWORD low = SetFilePointer(handle, static_cast<LONG>(offset & 0xFFFFFFFF), &high, FILE_BEGIN);
  return low != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
}

// Only files on a disk: a device (CON, NUL, COM1) could block or swallow
// what is written to it, and has no file information to report. (The file
// type is not asked for: Wine reads the file to tell it, which would change
// its access time before /D can save it.)
// A folder, a link or a device where a file should be.
const Error kNotAFile = {Error::Kind::kNotRegularFile, ERROR_DIRECTORY};

// The error of a failed open of path: a folder that stands there (which
// the system reports as access denied) is no regular file.
Error OpenError(const std::string& path) {
  const Error error = LastSystemError();
  const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return kNotAFile;
  return error;
}

HANDLE OpenDiskFile(const std::string& path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
                    BY_HANDLE_FILE_INFORMATION& info, Error& error) {
  const HANDLE handle = CreateFileW(SystemPath(path).c_str(), access, share, nullptr, disposition, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = OpenError(path);
    return nullptr;
  }
  if (!GetFileInformationByHandle(handle, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    CloseHandle(handle);
    error = kNotAFile;
    return nullptr;
  }
  return handle;
}

// The full path of the file open at handle, as the system resolves it
// (links followed), in its plain form; empty when it cannot be told.
std::string FinalPathOfHandle(HANDLE handle) {
  constexpr DWORD kFlags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
  // Asked for its length first: a path may be far longer than MAX_PATH.
  const DWORD needed = GetFinalPathNameByHandleW(handle, nullptr, 0, kFlags);
  if (needed == 0) return {};
  std::wstring buffer(needed, L'\0');
  const DWORD length = GetFinalPathNameByHandleW(handle, buffer.data(), needed, kFlags);
  if (length == 0 || length >= needed) return {};
  const std::string path = FromSystem(buffer.substr(0, length));
  // "\\?\C:\..." or "\\?\UNC\server\share\...".
  if (path.rfind("\\\\?\\UNC\\", 0) == 0) return "\\\\" + path.substr(8);
  if (path.rfind("\\\\?\\", 0) == 0) return path.substr(4);
  return path;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                                                b.data(), static_cast<int>(b.size())) == CSTR_EQUAL;
}

// Whether the file open at handle is the entry that path names in its
// folder, and not a file that a link there leads to: its final path is the
// folder's final path and the name. True when the system cannot tell.
bool IsEntryItself(const std::string& path, HANDLE handle) {
  const std::size_t cut = path.find_last_of("\\/:");
  std::string folder = cut == std::string::npos ? "." : path.substr(0, cut + 1);
  if (folder.back() == ':') folder += '.';
  const std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
  const std::string final = FinalPathOfHandle(handle);
  const HANDLE folderHandle = CreateFileW(SystemPath(folder).c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folderHandle == INVALID_HANDLE_VALUE) return final.empty();
  std::string expected = FinalPathOfHandle(folderHandle);
  CloseHandle(folderHandle);
  if (final.empty() || expected.empty()) return true;
  if (expected.back() != '\\') expected += '\\';
  return SameIgnoringCase(final, expected + name);
}

// Opens path as an output file: the file there, never one a link leads to,
// or a new one. Existing files are opened first, and a missing one is
// created only where nothing stands, so that a dangling link is not
// followed to create its target either.
HANDLE OpenOutput(const std::string& path, BY_HANDLE_FILE_INFORMATION& info, bool& created, Error& error) {
  constexpr DWORD kAccess = GENERIC_READ | GENERIC_WRITE;
  constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  created = false;
  HANDLE handle = OpenDiskFile(path, kAccess, FILE_SHARE_READ, OPEN_EXISTING, kFlags, info, error);
  if (handle == nullptr) {
    if (error.kind != Error::Kind::kNoSuchFile) return nullptr;
    handle = OpenDiskFile(path, kAccess, FILE_SHARE_READ, CREATE_NEW, kFlags, info, error);
    // Something that is no file stands there: a dangling link.
    if (handle == nullptr && (error.code == ERROR_FILE_EXISTS || error.code == ERROR_ALREADY_EXISTS)) {
      error = kNotAFile;
    }
    created = handle != nullptr;
    return handle;
  }
  // A link at path is opened as itself and refused; where the system shows
  // a link as the file it leads to (Wine), the path it resolves to tells. A
  // file with another name too (a hard link) would change under that name,
  // the input's perhaps: refused as well.
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || info.nNumberOfLinks > 1 ||
      !IsEntryItself(path, handle)) {
    CloseHandle(handle);
    error = kNotAFile;
    return nullptr;
  }
  return handle;
}

std::int64_t FromFileTime(const FILETIME& t) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

FILETIME ToFileTime(std::int64_t ticks) {
  const auto value = static_cast<std::uint64_t>(ticks);
  return FILETIME{static_cast<DWORD>(value & 0xFFFFFFFF), static_cast<DWORD>(value >> 32)};
}

}  // namespace

File::File(File&& other) noexcept
    : lengthWhenOpened_(other.lengthWhenOpened_), error_(other.error_), handle_(other.handle_) {
  other.handle_ = nullptr;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    lengthWhenOpened_ = other.lengthWhenOpened_;
    error_ = other.error_;
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

File::~File() { Close(); }

File File::OpenExisting(const std::string& path, FileAccess access) {
  // Reading: others may read and write meanwhile. Reading and writing: others
  // may only read, so no second cleaner opens the file while it is rewritten.
  const bool write = access == FileAccess::kReadWrite;
  if (FaultHit(FileOp::kOpen)) return FailedToOpen(FaultError());
  BY_HANDLE_FILE_INFORMATION info;
  const DWORD share = write ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE;
  constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN;
  // The right to set times, to switch off last-access updates below; a file
  // whose times this user may not set is read plainly.
  Error error;
  void* handle = OpenDiskFile(path, write ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ | FILE_WRITE_ATTRIBUTES, share,
                              OPEN_EXISTING, kFlags, info, error);
  if (handle == nullptr && !write && error.kind == Error::Kind::kAccessDenied) {
    handle = OpenDiskFile(path, GENERIC_READ, share, OPEN_EXISTING, kFlags, info, error);
  }
  if (handle == nullptr) return FailedToOpen(error);
  File file(handle);
  // A time of all ones tells the system not to move the last-access time
  // for reads through this handle.
  const FILETIME keep = {0xFFFFFFFF, 0xFFFFFFFF};
  SetFileTime(AsHandle(file.handle_), nullptr, &keep, nullptr);
  file.lengthWhenOpened_ =
      static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
  // A read-only file is never rewritten, also where the system would let an
  // administrator open it for writing (as Wine does for root).
  if (write && (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return FailedToOpen(SystemError(ERROR_ACCESS_DENIED));
  }
  if (write && !file.TryLock()) return FailedToOpen(file.error());
  return file;
}

File File::CreateOutput(const std::string& path, const File*) {
  if (FaultHit(FileOp::kOpen)) return FailedToOpen(FaultError());
  BY_HANDLE_FILE_INFORMATION info;
  bool created = false;
  Error error;
  void* handle = OpenOutput(path, info, created, error);
  if (handle == nullptr) return FailedToOpen(error);
  File file(handle);
  if (!file.Truncate(0)) return FailedToOpen(file.error());
  return file;
}

File File::OpenOrCreateOutput(const std::string& path, const File*, bool& created) {
  created = false;
  if (FaultHit(FileOp::kOpen)) return FailedToOpen(FaultError());
  BY_HANDLE_FILE_INFORMATION info;
  Error error;
  void* handle = OpenOutput(path, info, created, error);
  return handle == nullptr ? FailedToOpen(error) : File(handle);
}

File File::CreateScratch() {
  wchar_t folder[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) return FailedToOpen(LastSystemError());
  wchar_t name[MAX_PATH + 1];
  if (GetTempFileNameW(folder, L"scb", 0, name) == 0) return FailedToOpen(LastSystemError());
  const HANDLE handle = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const Error error = LastSystemError();
    DeleteFileW(name);
    return FailedToOpen(error);
  }
  return File(handle);
}

bool File::IsOpen() const { return handle_ != nullptr; }

std::int64_t File::ReadAt(std::int64_t offset, void* buffer, std::size_t size) {
  if (FaultHit(FileOp::kRead)) return Failed(FaultError()), -1;
  const HANDLE handle = AsHandle(handle_);
  if (!Seek(handle, offset)) return Failed(LastSystemError()), -1;
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    DWORD got = 0;
    if (!ReadFile(handle, out + done, static_cast<DWORD>(std::min(size - done, kMaxTransfer)), &got, nullptr)) {
      return Failed(LastSystemError()), -1;
    }
    if (got == 0) break;  // the end of the file
    done += got;
  }
  return static_cast<std::int64_t>(done);
}

// Windows copies whole files, not stretches of them: CopyTo goes through a
// buffer.
std::int64_t File::CopyInSystem(std::int64_t, std::int64_t, File&, std::int64_t) { return 0; }

bool File::WriteAt(std::int64_t offset, const void* data, std::size_t size) {
  const HANDLE handle = AsHandle(handle_);
  if (!Seek(handle, offset)) return Failed(LastSystemError());
  const auto* in = static_cast<const char*>(data);
  const std::size_t allowed = FaultWriteAllowance(size);
  const bool cutShort = allowed < size;
  size = allowed;
  std::size_t done = 0;
  while (done < size) {
    DWORD put = 0;
    if (!WriteFile(handle, in + done, static_cast<DWORD>(std::min(size - done, kMaxTransfer)), &put, nullptr)) {
      return Failed(LastSystemError());
    }
    if (put == 0) return Failed(SystemError(ERROR_DISK_FULL));
    done += put;
  }
  return !cutShort || Failed(FaultError());
}

std::int64_t File::Length() {
  DWORD high = 0;
  SetLastError(NO_ERROR);  // a low part of 0xFFFFFFFF is a valid length
  const DWORD low = GetFileSize(AsHandle(handle_), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return Failed(LastSystemError()), -1;
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(high) << 32) | low);
}

bool File::Truncate(std::int64_t length) {
  if (FaultHit(FileOp::kTruncate)) return Failed(FaultError());
  const HANDLE handle = AsHandle(handle_);
  return (Seek(handle, length) && SetEndOfFile(handle)) || Failed(LastSystemError());
}

bool File::Flush() {
  if (FaultHit(FileOp::kFlush)) return Failed(FaultError());
  return FlushFileBuffers(AsHandle(handle_)) != 0 || Failed(LastSystemError());
}

bool File::TryLock() {
  return (IsOpen() && LockAgainstCleaners(AsHandle(handle_))) || Failed(SystemError(ERROR_LOCK_VIOLATION));
}

bool File::TakeAttributes(const File* like) {
  constexpr DWORD kTaken = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  DWORD attributes = 0;
  if (like != nullptr) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(AsHandle(like->handle_), &info)) return false;
    attributes = info.dwFileAttributes & kTaken;
  }
  BY_HANDLE_FILE_INFORMATION own;
  if (!GetFileInformationByHandle(AsHandle(handle_), &own)) return false;
  // The file's other attributes stay; times of 0 are left as they are.
  FILE_BASIC_INFO basic = {};
  basic.FileAttributes = (own.dwFileAttributes & ~kTaken) | attributes;
  if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  return SetFileInformationByHandle(AsHandle(handle_), FileBasicInfo, &basic, sizeof basic) != 0;
}

bool File::GetTimes(FileTimes& times) {
  FILETIME creation, lastAccess, lastWrite;
  if (!GetFileTime(AsHandle(handle_), &creation, &lastAccess, &lastWrite)) return false;
  times.creation = FromFileTime(creation);
  times.lastAccess = FromFileTime(lastAccess);
  times.lastWrite = FromFileTime(lastWrite);
  return true;
}

bool File::SetTimes(const FileTimes& times) {
  const FILETIME creation = ToFileTime(times.creation);
  const FILETIME lastAccess = ToFileTime(times.lastAccess);
  const FILETIME lastWrite = ToFileTime(times.lastWrite);
  return SetFileTime(AsHandle(handle_), &creation, &lastAccess, &lastWrite) != 0;
}

bool File::Close() {
  if (handle_ == nullptr) return true;
  const bool injected = FaultHit(FileOp::kClose);
  const BOOL closed = CloseHandle(AsHandle(handle_));
  const Error error = closed != 0 ? Error() : LastSystemError();
  handle_ = nullptr;
  if (injected) return Failed(FaultError());
  return !error.failed() || Failed(error);
}

std::string FinalPathOf(const std::string& path, const File& opened) {
  const HANDLE handle = AsHandle(opened.handle_);
  if (IsEntryItself(path, handle)) return path;
  return FinalPathOfHandle(handle);
}

Error DeletePath(const std::string& path) {
  if (FaultHit(FileOp::kDelete)) return FaultError();
  const std::wstring system = SystemPath(path);
  const DWORD attributes = GetFileAttributesW(system.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    SetFileAttributesW(system.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  return DeleteFileW(system.c_str()) != 0 ? Error() : LastSystemError();
}

Error RenameReplacing(const std::string& from, const std::string& to) {
  if (FaultHit(FileOp::kRename)) return FaultError();
  // One call replaces the file at to, so that there is no moment without a
  // file at to and a failed move leaves both names as they were. A read-only
  // file, a folder or a link at to is never replaced.
  const DWORD attributes = GetFileAttributesW(SystemPath(to).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) return SystemError(ERROR_ACCESS_DENIED);
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) return kNotAFile;
    // Where the system shows a link as the file it leads to (Wine), the
    // path that the file at to resolves to tells.
    const HANDLE handle = CreateFileW(SystemPath(to).c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastSystemError();
    const bool itself = IsEntryItself(to, handle);
    CloseHandle(handle);
    if (!itself) return kNotAFile;
  }
  return MoveFileExW(SystemPath(from).c_str(), SystemPath(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0
             ? Error()
             : LastSystemError();
}

}  // namespace scourby::platform
