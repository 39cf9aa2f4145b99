// CRC-16/ARC (polynomial 0x8005, bits reflected, initial value 0, no final
// XOR) at the machine's full width: a carry-less multiply folds 64 bytes a
// step where the processor has one (picked on first use); the table loop is
// the rule that every width must follow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace scourby::platform {

// The CRC of bytes, going on from crc (the CRC of the bytes before them; 0
// for none): Crc16Arc(b, Crc16Arc(a)) is the CRC of a followed by b.
std::uint16_t Crc16Arc(std::span<const std::uint8_t> bytes, std::uint16_t crc = 0);

// The CRC of a followed by b, from the CRC of each and the length of b.
std::uint16_t Crc16ArcCombine(std::uint16_t crcA, std::uint16_t crcB, std::uint64_t lengthB);

// The same one byte at a time through the table, for the tests.
std::uint16_t Crc16ArcPlain(std::span<const std::uint8_t> bytes, std::uint16_t crc = 0);

}  // namespace scourby::platform
