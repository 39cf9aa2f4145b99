// Mapped windows on Windows: a read-only file mapping and a view of it. A
// file cannot be cut while a view of it is mapped, so no page goes missing
// under a reader.
#include <windows.h>

#include "platform/fault_plan.h"
#include "platform/file.h"

namespace scourby::platform {

std::size_t MapGranularity() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwAllocationGranularity;
}

std::uint64_t MappedReadFaults() { return 0; }

Window File::MapForRead(std::int64_t offset, std::size_t size) {
  if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE || size == 0 || offset < 0 || activeFaultPlan != nullptr) return {};
  HANDLE mapping = CreateFileMappingA(handle_, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr) return {};
  const auto at = static_cast<std::uint64_t>(offset);
  void* base = MapViewOfFile(mapping, FILE_MAP_READ, static_cast<DWORD>(at >> 32), static_cast<DWORD>(at), size);
  // The view keeps the mapping alive on its own.
  CloseHandle(mapping);
  if (base == nullptr) return {};
  return Window(base, size, 0);
}

void Window::Unmap() {
  if (base_ == nullptr) return;
  UnmapViewOfFile(base_);
  base_ = nullptr;
}

}  // namespace scourby::platform
