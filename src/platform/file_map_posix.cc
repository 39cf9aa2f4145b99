// Mapped windows on POSIX, with a guard against SIGBUS: when another process
// cuts a file short while part of it is mapped, touching the lost pages
// raises SIGBUS. The handler puts a page of zeros in their place and counts
// the fault, so the read is reported as failed rather than killing the run.
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>

#include "platform/fault_plan.h"
#include "platform/file.h"

namespace scourby::platform {
namespace {

constexpr int kSlots = 8;
struct Range {
  std::atomic<std::uintptr_t> begin{0};
  std::atomic<std::uintptr_t> end{0};
};
Range ranges[kSlots];
std::atomic<std::uint64_t> faults{0};
std::uintptr_t pageSize = 0;
struct sigaction previousAction;

void OnBusError(int signal, siginfo_t* info, void* context) {
  const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
  for (Range& range : ranges) {
    if (address >= range.begin.load(std::memory_order_relaxed) && address < range.end.load(std::memory_order_relaxed)) {
      void* page = reinterpret_cast<void*>(address & ~(pageSize - 1));
      if (::mmap(page, pageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
        faults.fetch_add(1, std::memory_order_relaxed);
        return;
      }
    }
  }
  // Not ours: the fault takes its usual course.
  ::sigaction(SIGBUS, &previousAction, nullptr);
  if (previousAction.sa_flags & SA_SIGINFO) {
    if (previousAction.sa_sigaction != nullptr) previousAction.sa_sigaction(signal, info, context);
  } else if (previousAction.sa_handler != SIG_DFL && previousAction.sa_handler != SIG_IGN) {
    previousAction.sa_handler(signal);
  }
}

bool InstallGuard() {
  static const bool installed = [] {
    pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    struct sigaction action = {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    return ::sigaction(SIGBUS, &action, &previousAction) == 0;
  }();
  return installed;
}

}  // namespace

std::size_t MapGranularity() { return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)); }

std::uint64_t MappedReadFaults() { return faults.load(std::memory_order_relaxed); }

Window File::MapForRead(std::int64_t offset, std::size_t size) {
  if (fd_ < 0 || size == 0 || offset < 0 || activeFaultPlan != nullptr || !InstallGuard()) return {};
  int slot = 0;
  while (slot < kSlots && ranges[slot].end.load(std::memory_order_relaxed) != 0) ++slot;
  if (slot == kSlots) return {};
  void* base = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd_, static_cast<off_t>(offset));
  if (base == MAP_FAILED) return {};
  const auto begin = reinterpret_cast<std::uintptr_t>(base);
  ranges[slot].begin.store(begin, std::memory_order_relaxed);
  ranges[slot].end.store(begin + size, std::memory_order_release);
  return Window(base, size, slot);
}

void Window::Unmap() {
  if (base_ == nullptr) return;
  ::munmap(base_, size_);
  ranges[slot_].end.store(0, std::memory_order_relaxed);
  ranges[slot_].begin.store(0, std::memory_order_relaxed);
  base_ = nullptr;
  slot_ = -1;
}

}  // namespace scourby::platform
