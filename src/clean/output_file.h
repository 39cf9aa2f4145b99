// A file the pass writes front to back (".clean", ".trash") through a
// buffer, and the copy of a stretch of the input into one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/reader.h"

namespace scourby {

// Remembers the first failure, so the pass can check once at the end.
class OutputFile {
 public:
  // Creates path (emptied when present) with the permissions of `like`.
  bool Create(const std::string& path, const platform::File& like);
  const std::string& path() const { return path_; }
  bool failed() const { return failed_; }
  std::int64_t length() const { return offset_ + static_cast<std::int64_t>(buffer_.size()); }

  void Write(const std::uint8_t* data, std::size_t size);

  // Writes out what is buffered, pushes it to the disk and closes the file.
  bool Finish(const platform::FileTimes* times);

  // Closes and deletes the file, as when it stays empty or is incomplete.
  void Discard();

 private:
  void FlushBuffer();
  void WriteNow(const std::uint8_t* data, std::size_t size);

  std::string path_;
  platform::File file_;
  std::vector<std::uint8_t> buffer_;
  std::int64_t offset_ = 0;
  bool failed_ = false;
};

// Copies the bytes from..to of the input to out, a chunk at a time straight
// from the read buffer, and leaves the read position at to (or where the file
// ended).
void CopyRange(platform::Reader& input, std::int64_t from, std::int64_t to, OutputFile& out);

}  // namespace scourby
