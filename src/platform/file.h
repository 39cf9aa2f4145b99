// Files: open, positional read and write, length, cut, flush, times, delete,
// rename. Errors are plain results (false, -1 or a closed File) that say
// why: a File keeps the error of the first of its calls that failed (a
// closed File that failed to open keeps that one), and the calls on paths
// return theirs. Nothing throws. Offsets and lengths are 64-bit everywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/error.h"

namespace scourby::platform {

enum class FileAccess {
  kRead,       // others may read and write the file meanwhile
  kReadWrite,  // others may only read it; takes the cleaners' lock without
               // waiting and fails when another holds it (POSIX: exclusive
               // flock; Windows: LockFileEx on one byte beyond any file's end)
};

// The file times as the system keeps them, in the system's own units (POSIX:
// nanoseconds since 1970; Windows: FILETIME ticks). Only meaningful to
// SetTimes. POSIX has no settable creation time and leaves it 0.
struct FileTimes {
  std::int64_t creation = 0;
  std::int64_t lastAccess = 0;
  std::int64_t lastWrite = 0;
};

// One open file. Move-only; the destructor closes it.
class File {
 public:
  File() = default;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  // Opens an existing regular file (CreateFileW, OPEN_EXISTING). Never
  // creates one, and never opens a FIFO, socket or device (so it never
  // blocks). Reading through it moves no access time where the system
  // allows that (POSIX O_NOATIME: the file's owner or a privileged process;
  // Windows: last-access updates switched off on the handle); elsewhere the
  // file is read plainly. Returns a closed File on any failure.
  static File OpenExisting(const std::string& path, FileAccess access);

  // Opens path for writing (and reading back what was written): creates it
  // when missing, cuts it to length 0 when present (CreateFileW,
  // OPEN_ALWAYS, then SetEndOfFile). Never writes
  // through a link at path, symbolic or hard (a file that has another name
  // too): such a link is a failure, and stays as it was. On POSIX the
  // file gets the permission bits, and owner and group where allowed, of
  // `like` when given; it is never readable by others before that.
  static File CreateOutput(const std::string& path, const File* like);

  // Opens path for writing without cutting it, or creates it when missing
  // (CreateFileW, OPEN_ALWAYS); created tells which. Never through a link at
  // path, symbolic or hard, and never a folder or device. A file it creates gets the
  // permissions of `like`, as with CreateOutput; one it finds keeps its own.
  static File OpenOrCreateOutput(const std::string& path, const File* like, bool& created);

  // A file for the program's own use, for reading and writing, that no
  // name leads to and that vanishes when it is closed (POSIX: an unlinked
  // file in the temporary folder, TMPDIR or /tmp; Windows: a temporary file
  // deleted on close). A closed File when none can be made.
  static File CreateScratch();

  bool IsOpen() const;

  // Why the first of this file's calls that failed failed (its open
  // included); no error while none has.
  const Error& error() const { return error_; }

  // The file's length when OpenExisting opened it.
  std::int64_t LengthWhenOpened() const { return lengthWhenOpened_; }

  // Reads up to size bytes at offset, without a file position of its own.
  // Returns the number of bytes read, fewer than size only when the end of
  // the file is reached (0 at or past the end); -1 on a read error.
  std::int64_t ReadAt(std::int64_t offset, void* buffer, std::size_t size);

  // Writes all size bytes at offset. False on any failure, a short write
  // (such as a full disk) included; the bytes at offset are then undefined.
  bool WriteAt(std::int64_t offset, const void* data, std::size_t size);

  // Copies size bytes of this file from offset on into `to` at toOffset.
  // Where the system copies between files by itself (Linux), the bytes do
  // not pass through the program, and file systems that share extents copy
  // nothing at all; elsewhere they go through a buffer. False on any
  // failure, this file ending early included; `to` keeps its error.
  bool CopyTo(std::int64_t offset, std::int64_t size, File& to, std::int64_t toOffset);

  // The file's current length in bytes (GetFileSize); -1 on error.
  std::int64_t Length();

  // Sets the file's length (SetFilePointer + SetEndOfFile). False on error.
  bool Truncate(std::int64_t length);

  // Pushes written data to the disk (POSIX fsync). False on error.
  bool Flush();

  // Takes the exclusive lock that kReadWrite takes, on a file opened for
  // reading, so that two processes never clean the same file at once. False
  // when another process holds it.
  bool TryLock();

  // Windows: gives this file the read-only, hidden and system attributes of
  // `like` (none when like is nullptr), through the open handle. POSIX has
  // no such attributes (permission bits go with CreateOutput): nothing to
  // do. False on error.
  bool TakeAttributes(const File* like);

  // GetFileTime / SetFileTime (POSIX: fstat / futimens, full precision).
  bool GetTimes(FileTimes& times);
  bool SetTimes(const FileTimes& times);

  // Closes the file (CloseHandle). False when the close reports an error,
  // such as a delayed write failure. Closing a closed File returns true.
  bool Close();

 private:
  friend std::string FinalPathOf(const std::string& path, const File& opened);
  // The system's own copy, for CopyTo: the bytes it copied (0 when it cannot
  // copy these files), -1 on an error.
  std::int64_t CopyInSystem(std::int64_t offset, std::int64_t size, File& to, std::int64_t toOffset);
  // Keeps error unless an earlier call failed; returns what the caller
  // returns for a failure.
  bool Failed(const Error& error);
  static File FailedToOpen(const Error& error);
  std::int64_t lengthWhenOpened_ = -1;
  Error error_;
#ifdef _WIN32
  explicit File(void* handle) : handle_(handle) {}
  void* handle_ = nullptr;
#else
  explicit File(int fd) : fd_(fd) {}
  // Gives the file at fd the owner, group and permission bits of like.
  static bool TakePermissions(int fd, const File* like);
  int fd_ = -1;
#endif
};

// Whether a file may be renamed while it is open (Windows: no).
#ifdef _WIN32
inline constexpr bool kOpenFilesCanBeRenamed = false;
#else
inline constexpr bool kOpenFilesCanBeRenamed = true;
#endif

// The file that path names, opened as `opened`: path itself, unless it is a
// symbolic link (Windows: any reparse point), then the final target's full
// path (GetFinalPathNameByHandleW). Empty when the target cannot be told, or
// is no longer the file that was opened.
std::string FinalPathOf(const std::string& path, const File& opened);

// DeleteFileW. An error when the file could not be deleted (or did not
// exist). Only the pass's own files are deleted, and it may have given one
// the input's read-only attribute: on Windows that is cleared first.
Error DeletePath(const std::string& path);

// Renames from to to, replacing a file at to in one step (POSIX rename;
// Windows MoveFileExW with MOVEFILE_REPLACE_EXISTING, which leaves a
// read-only file at to in place, as DeleteFileW would). A link or a folder
// at to is never replaced ("not a regular file"). An error when the rename
// failed; both names are then as they were.
Error RenameReplacing(const std::string& from, const std::string& to);

}  // namespace scourby::platform
