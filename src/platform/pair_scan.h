// Finding where a byte pair begins, at the machine's full vector width: the
// two first bytes of a frame header (0xFF, then a byte whose three top bits
// are set) and of the tag markers ("TA", "LY"). The widest kind of vector
// unit the processor has is picked once, on first use; the plain
// byte loop is the rule that every width must follow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace scourby::platform {

// A byte `first` followed by one whose bits under secondMask equal second.
struct BytePair {
  std::uint8_t first;
  std::uint8_t secondMask;
  std::uint8_t second;
};

enum class ScanWidth { kPlain, kSse2, kAvx2, kAvx512 };

// The offset of the first i (i + 1 < bytes.size()) where a or b begins;
// bytes.size() when there is none.
std::size_t FindBytePair(std::span<const std::uint8_t> bytes, BytePair a, BytePair b);

// The same with a chosen width, for the tests; a width the processor lacks
// falls back to the widest one it has.
std::size_t FindBytePairWith(ScanWidth width, std::span<const std::uint8_t> bytes, BytePair a, BytePair b);

// The width FindBytePair uses.
ScanWidth BestScanWidth();

}  // namespace scourby::platform
