#include "platform/crc16.h"

#include <gtest/gtest.h>

#include <random>
#include <string_view>
#include <vector>

namespace scourby::platform {
namespace {

std::span<const std::uint8_t> Span(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(Crc16Arc, CheckValueAndKnownTagCrc) {
  EXPECT_EQ(Crc16Arc(Span("123456789")), 0xBB3D);
  EXPECT_EQ(Crc16ArcPlain(Span("123456789")), 0xBB3D);
  EXPECT_EQ(Crc16Arc({}), 0);
}

// The folded loop against the byte loop at every length around its steps
// (16 and 64 bytes), at every alignment, and chained and combined at every
// split.
TEST(Crc16Arc, EveryLengthAlignmentAndSplitAgreesWithTheByteLoopAndCombines) {
  std::mt19937 random(16);
  std::vector<std::uint8_t> bytes(1200);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  for (std::size_t offset = 0; offset < 16; ++offset) {
    for (std::size_t size = 0; offset + size <= 600; ++size) {
      const std::span<const std::uint8_t> part(bytes.data() + offset, size);
      ASSERT_EQ(Crc16Arc(part, 0x1234), Crc16ArcPlain(part, 0x1234)) << offset << " " << size;
    }
  }
  const std::uint16_t whole = Crc16ArcPlain(bytes);
  for (std::size_t split = 0; split <= bytes.size(); split += 7) {
    const std::span<const std::uint8_t> all(bytes);
    ASSERT_EQ(Crc16Arc(all.subspan(split), Crc16Arc(all.first(split))), whole) << split;
    ASSERT_EQ(Crc16ArcCombine(Crc16Arc(all.first(split)), Crc16Arc(all.subspan(split)), bytes.size() - split), whole)
        << split;
  }
  // Combined across megabytes of zeros, as the pass does across a stream.
  const std::vector<std::uint8_t> zeros(3 << 20, 0);
  EXPECT_EQ(Crc16ArcCombine(0xBB3D, Crc16Arc(zeros), zeros.size()), Crc16Arc(zeros, 0xBB3D));
}

}  // namespace
}  // namespace scourby::platform
