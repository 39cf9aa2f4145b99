#include "platform/fault_plan.h"

#include <algorithm>

namespace scourby::platform {

FaultPlan* activeFaultPlan = nullptr;

namespace {

// Counts one operation of kind op and returns its number among that kind.
std::int64_t Tally(FaultPlan& plan, FileOp op) {
  if (op == FileOp::kWrite && plan.firstWriteAt < 0) plan.firstWriteAt = plan.operations;
  ++plan.operations;
  return plan.counts[static_cast<std::size_t>(op)]++;
}

void NoteFault(FaultPlan& plan) {
  if (plan.firedAt < 0) plan.firedAt = plan.operations - 1;
}

}  // namespace

Error FaultError() {
  const bool full = activeFaultPlan != nullptr && activeFaultPlan->kind != FaultKind::kFail;
  return {full ? Error::Kind::kDiskFull : Error::Kind::kIo, 0};
}

bool FaultHitSlow(FileOp op) {
  FaultPlan& plan = *activeFaultPlan;
  const std::int64_t number = Tally(plan, op);
  const bool hit = plan.kind == FaultKind::kFail && plan.op == op && number == plan.failAt;
  if (hit) NoteFault(plan);
  return hit;
}

std::size_t FaultWriteAllowanceSlow(std::size_t size) {
  FaultPlan& plan = *activeFaultPlan;
  const std::int64_t number = Tally(plan, FileOp::kWrite);
  std::size_t allowed = size;
  if (plan.op == FileOp::kWrite && number == plan.failAt) {
    if (plan.kind == FaultKind::kFail) allowed = 0;
    if (plan.kind == FaultKind::kShortWrite) allowed = size / 2;
  }
  if (plan.kind == FaultKind::kDiskFull) {
    const std::int64_t room = std::max<std::int64_t>(plan.byteBudget - plan.bytesWritten, 0);
    allowed = static_cast<std::size_t>(std::min<std::int64_t>(room, static_cast<std::int64_t>(size)));
  }
  plan.bytesWritten += static_cast<std::int64_t>(allowed);
  if (allowed < size) NoteFault(plan);
  return allowed;
}

}  // namespace scourby::platform
