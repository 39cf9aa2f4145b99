#include "clean/output_file.h"

#include <algorithm>

#include "clean/copy_sizes.h"

namespace scourby {

bool OutputFile::Create(const std::string& path, const platform::File& like) {
  path_ = path;
  file_ = platform::File::CreateOutput(path, &like);
  owned_ = file_.IsOpen();
  failed_ = !file_.IsOpen();
  return !failed_;
}

bool OutputFile::OpenToAppend(const std::string& path, const platform::File& like) {
  path_ = path;
  file_ = platform::File::OpenOrCreateOutput(path, &like, owned_);
  start_ = offset_ = synced_ = file_.IsOpen() ? file_.Length() : -1;
  failed_ = start_ < 0;
  return !failed_;
}

void OutputFile::Write(const std::uint8_t* data, std::size_t size) {
  if (failed_) return;
  if (buffer_.size() + size > kCopyChunk || size >= kDirectWrite) FlushBuffer();
  if (size >= kDirectWrite) {
    WriteNow(data, size);
  } else {
    buffer_.insert(buffer_.end(), data, data + size);
  }
}

bool OutputFile::WriteAt(std::int64_t offset, const std::uint8_t* data, std::size_t size) {
  FlushBuffer();
  if (!failed_ && !file_.WriteAt(offset, data, size)) failed_ = true;
  return !failed_;
}

void OutputFile::CopyFrom(platform::File& from, std::int64_t offset, std::int64_t size) {
  FlushBuffer();
  if (failed_) return;
  if (!from.CopyTo(offset, size, file_, offset_)) {
    failed_ = true;
    return;
  }
  offset_ += size;
}

bool OutputFile::PushOut() {
  FlushBuffer();
  return !failed_;
}

bool OutputFile::SetEnd(std::int64_t offset) {
  FlushBuffer();
  if (!failed_ && !file_.Truncate(offset)) failed_ = true;
  offset_ = offset;
  return !failed_;
}

bool OutputFile::Flush(const platform::FileTimes* times) {
  FlushBuffer();
  if (!failed_ && times != nullptr) file_.SetTimes(*times);
  if (!failed_ && offset_ != synced_) {
    if (!file_.Flush()) failed_ = true;
    synced_ = offset_;
  }
  return !failed_;
}

bool OutputFile::TakeAttributes(const platform::File& like) {
  if (!failed_ && !file_.TakeAttributes(&like)) failed_ = true;
  return !failed_;
}

bool OutputFile::Close() {
  if (!file_.Close()) failed_ = true;
  return !failed_;
}

void OutputFile::Discard() {
  buffer_.clear();
  if (owned_) {
    file_.Close();
    platform::DeletePath(path_);
  } else if (file_.IsOpen()) {
    // Cutting a file, even to its own length, sets its times: a file that
    // nothing reached is left alone.
    if (offset_ != start_ || failed_) file_.Truncate(start_);
    file_.Close();
  }
}

void OutputFile::FlushBuffer() {
  if (!buffer_.empty()) WriteNow(buffer_.data(), buffer_.size());
  buffer_.clear();
}

void OutputFile::WriteNow(const std::uint8_t* data, std::size_t size) {
  if (failed_ || !file_.WriteAt(offset_, data, size)) {
    failed_ = true;
    return;
  }
  offset_ += static_cast<std::int64_t>(size);
}

void CopyRange(platform::Reader& input, std::int64_t from, std::int64_t to, OutputFile& out) {
  input.SetPosition(from);
  while (from < to) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(to - from, kCopyChunk));
    const std::span<const std::uint8_t> got = input.View(want);
    out.Write(got.data(), got.size());
    from += static_cast<std::int64_t>(got.size());
    if (got.size() < want) break;
  }
}

}  // namespace scourby
