// A file the pass writes front to back (".clean", ".trash") through a
// buffer, and the copy of a stretch of the input into one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/reader.h"

namespace scourby {

// Remembers the first failure, so the pass can check once at the end. The
// pass takes back only what it wrote: a file it did not create is never
// deleted, and a path it could not open is never touched.
class OutputFile {
 public:
  // Creates path, or cuts the file there to length 0, with the permissions
  // of `like`: the pass's own file from then on.
  bool Create(const std::string& path, const platform::File& like);
  // Opens path to add to its end, or creates it (with the permissions of
  // `like`) when missing.
  bool OpenToAppend(const std::string& path, const platform::File& like);

  const std::string& path() const { return path_; }
  bool IsOpen() const { return file_.IsOpen(); }
  bool failed() const { return failed_; }
  // Why it failed: the first of the file's calls that failed.
  const platform::Error& error() const { return file_.error(); }
  // Whether the pass made the file (created it, or cut it to be its own).
  bool owned() const { return owned_; }
  // The bytes this pass has written.
  std::int64_t written() const { return offset_ - start_ + static_cast<std::int64_t>(buffer_.size()); }

  void Write(const std::uint8_t* data, std::size_t size);

  // Writes over bytes written earlier, at offset from the file's start
  // (after what is buffered). False when anything written so far failed.
  bool WriteAt(std::int64_t offset, const std::uint8_t* data, std::size_t size);

  // The file itself, to read back what was written (after PushOut).
  platform::File& file() { return file_; }

  // Writes size bytes of `from`, from offset on (the system copies them
  // where it can).
  void CopyFrom(platform::File& from, std::int64_t offset, std::int64_t size);

  // Hands what is buffered to the file system (without pushing it to the
  // disk). False when anything written so far failed.
  bool PushOut();

  // Where the next write goes (what is buffered included).
  std::int64_t end() const { return offset_ + static_cast<std::int64_t>(buffer_.size()); }
  // Makes the file end at offset (after PushOut); the next write goes
  // there. False when anything written so far failed.
  bool SetEnd(std::int64_t offset);

  // Writes out what is buffered, sets the times (when given) and pushes the
  // file to the disk. False when anything written so far failed.
  bool Flush(const platform::FileTimes* times);

  // Gives the file the attributes of `like` (Windows: read-only, hidden,
  // system), once its data is complete. False on error.
  bool TakeAttributes(const platform::File& like);

  // Closes the file. False when it failed to be written or closed.
  bool Close();

  // Takes back what this pass wrote: a file it made is deleted, one it
  // found is cut back to the length it had.
  void Discard();

 private:
  void FlushBuffer();
  void WriteNow(const std::uint8_t* data, std::size_t size);

  std::string path_;
  platform::File file_;
  std::vector<std::uint8_t> buffer_;
  std::int64_t start_ = 0;    // the file's length when it was opened
  std::int64_t offset_ = 0;   // where the next write goes
  std::int64_t synced_ = -1;  // where it went when the file was last pushed to the disk
  bool owned_ = false;
  bool failed_ = false;
};

// Copies the bytes from..to of the input to out, a chunk at a time straight
// from the read buffer, and leaves the read position at to (or where the file
// ended).
void CopyRange(platform::Reader& input, std::int64_t from, std::int64_t to, OutputFile& out);

}  // namespace scourby
