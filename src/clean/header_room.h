// The bytes that hold the place of a header frame written later: zeros,
// never more than a frame.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

namespace scourby {

inline constexpr std::size_t kMaxHeaderRoom = 4096;  // above any valid frame

// size zero bytes, at most kMaxHeaderRoom.
inline std::span<const std::uint8_t> HeaderRoom(std::int64_t size) {
  static constexpr std::array<std::uint8_t, kMaxHeaderRoom> kZeros{};
  const auto length = static_cast<std::size_t>(std::clamp<std::int64_t>(size, 0, kMaxHeaderRoom));
  return std::span<const std::uint8_t>(kZeros).first(length);
}

}  // namespace scourby
