// The mapped window's ownership, alike on every platform; mapping and
// unmapping are the platform's own (file_map_*.cc).
#include "platform/file.h"

namespace scourby::platform {

Window::Window(Window&& other) noexcept : base_(other.base_), size_(other.size_), slot_(other.slot_) {
  other.base_ = nullptr;
  other.slot_ = -1;
}

Window& Window::operator=(Window&& other) noexcept {
  if (this != &other) {
    Unmap();
    base_ = other.base_;
    size_ = other.size_;
    slot_ = other.slot_;
    other.base_ = nullptr;
    other.slot_ = -1;
  }
  return *this;
}

Window::~Window() { Unmap(); }

}  // namespace scourby::platform
