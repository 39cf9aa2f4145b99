// A test seam for file failures: a process-wide plan that makes chosen file
// operations fail, so that tests can walk a failure over every operation of
// a cleaning pass. The shipped program never sets a plan; each hook then
// costs one load and one compare.
//
// Every file implementation (file_posix.cc, file_win32.cc) calls the hook of
// an operation before doing it, and behaves exactly as if the system had
// failed when the hook says so:
//
//   open (OpenExisting, CreateOutput)  if (FaultHit(FileOp::kOpen)) -> fail
//   ReadAt                             if (FaultHit(FileOp::kRead)) return -1;
//   WriteAt                            put = FaultWriteAllowance(size); write
//                                      the first put bytes, fail if put < size
//   Flush, Truncate, Close             if (FaultHit(FileOp::kX)) -> fail
//                                      (Close still releases the handle)
//   DeletePath, RenameReplacing        if (FaultHit(FileOp::kX)) return FaultError();
//
// A failure the hook makes reports FaultError(): "disk full" where the
// plan runs out of room, an input/output error otherwise.
//
// Counting lives here, not in the implementations, so both count alike.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/error.h"

namespace scourby::platform {

enum class FileOp { kOpen, kRead, kWrite, kFlush, kTruncate, kClose, kRename, kDelete };
inline constexpr std::size_t kFileOpCount = 8;

enum class FaultKind {
  kNone,        // only count
  kFail,        // operation number failAt of kind op fails
  kShortWrite,  // write number failAt puts half its bytes, then fails
  kDiskFull,    // every write fails once byteBudget bytes have been written
};

struct FaultPlan {
  FaultKind kind = FaultKind::kNone;
  FileOp op = FileOp::kRead;
  std::int64_t failAt = 0;      // 0-based among the operations of kind op
  std::int64_t byteBudget = 0;  // kDiskFull only

  // Filled in as the operations happen.
  std::array<std::int64_t, kFileOpCount> counts{};
  std::int64_t bytesWritten = 0;
  std::int64_t operations = 0;     // of every kind, in order
  std::int64_t firstWriteAt = -1;  // the number of the first write among them
  std::int64_t firedAt = -1;       // the number of the failed one, once one failed

  std::int64_t Count(FileOp which) const { return counts[static_cast<std::size_t>(which)]; }
  bool fired() const { return firedAt >= 0; }
};

// The plan in force, or nullptr (always, outside tests).
extern FaultPlan* activeFaultPlan;

// Sets the plan in force for as long as it lives.
class ScopedFaultPlan {
 public:
  explicit ScopedFaultPlan(FaultPlan& plan) { activeFaultPlan = &plan; }
  ~ScopedFaultPlan() { activeFaultPlan = nullptr; }
  ScopedFaultPlan(const ScopedFaultPlan&) = delete;
  ScopedFaultPlan& operator=(const ScopedFaultPlan&) = delete;
};

// The error that an operation the plan made fail reports.
Error FaultError();

bool FaultHitSlow(FileOp op);
std::size_t FaultWriteAllowanceSlow(std::size_t size);

// Counts one operation; true when it must fail.
inline bool FaultHit(FileOp op) { return activeFaultPlan != nullptr && FaultHitSlow(op); }

// Counts one write of size bytes; returns how many of them may be written
// (size when the write succeeds, fewer when it must fail after those).
inline std::size_t FaultWriteAllowance(std::size_t size) {
  return activeFaultPlan == nullptr ? size : FaultWriteAllowanceSlow(size);
}

}  // namespace scourby::platform
