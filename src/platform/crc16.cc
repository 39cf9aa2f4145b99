#include "platform/crc16.h"

#include <array>

#if defined(__x86_64__) || defined(_M_X64)
#define SCOURBY_X86 1
#include <immintrin.h>
#endif

namespace scourby::platform {
namespace {

constexpr std::uint16_t kReflectedPolynomial = 0xA001;  // 0x8005, bits reversed

// kTables[k][b]: the CRC of byte b followed by k zero bytes, so that eight
// bytes take eight lookups and no loop over bits.
constexpr std::array<std::array<std::uint16_t, 256>, 8> MakeTables() {
  std::array<std::array<std::uint16_t, 256>, 8> tables{};
  for (unsigned b = 0; b < 256; ++b) {
    std::uint16_t crc = static_cast<std::uint16_t>(b);
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) != 0 ? (crc >> 1) ^ kReflectedPolynomial : crc >> 1;
    tables[0][b] = crc;
  }
  for (std::size_t k = 1; k < 8; ++k) {
    for (unsigned b = 0; b < 256; ++b) {
      const std::uint16_t before = tables[k - 1][b];
      tables[k][b] = static_cast<std::uint16_t>((before >> 8) ^ tables[0][before & 0xFF]);
    }
  }
  return tables;
}

constexpr auto kTables = MakeTables();
static_assert(kTables[0][1] == 0xC0C1 && kTables[0][255] == 0x4040);

std::uint16_t Bytewise(const std::uint8_t* p, std::size_t size, std::uint16_t crc) {
  for (std::size_t i = 0; i < size; ++i) crc = static_cast<std::uint16_t>((crc >> 8) ^ kTables[0][(crc ^ p[i]) & 0xFF]);
  return crc;
}

std::uint16_t EightAtATime(const std::uint8_t* p, std::size_t size, std::uint16_t crc) {
  for (; size >= 8; p += 8, size -= 8) {
    const unsigned low = (crc ^ p[0]) & 0xFF;
    const unsigned high = ((crc >> 8) ^ p[1]) & 0xFF;
    crc = kTables[7][low] ^ kTables[6][high] ^ kTables[5][p[2]] ^ kTables[4][p[3]] ^ kTables[3][p[4]] ^
          kTables[2][p[5]] ^ kTables[1][p[6]] ^ kTables[0][p[7]];
  }
  return Bytewise(p, size, crc);
}

#ifdef SCOURBY_X86

// A 16-bit CRC with polynomial P is the 32-bit CRC with polynomial P * x^16,
// whose register holds the 16-bit one in its low half (bits reflected). So
// the 32-bit folding of carry-less multiplies applies, with these constants
// for P * x^16 = x^32 + x^31 + x^18 + x^16, each reflected and shifted left
// by one bit: x^(D+32) and x^(D-32) mod P fold 16-byte lanes D bits on (D =
// 2048 for four 64-byte vectors, 512 for four 16-byte lanes, 128 for one),
// x^64 mod P folds 8 bytes, and the Barrett reduction takes P itself and
// floor(x^64 / P).
constexpr std::uint64_t kFold256[2] = {0x1BCC2, 0x1D99E};
constexpr std::uint64_t kFold64[2] = {0x1B0C2, 0x0BFFA};
constexpr std::uint64_t kFold16[2] = {0x1D0C2, 0x18CC2};
constexpr std::uint64_t kFold8 = 0x1BC02;
constexpr std::uint64_t kBarrett[2] = {0x14003, 0x1CFFFBFFF};

__attribute__((target("pclmul,sse2"))) __m128i Fold(__m128i x, __m128i k, __m128i next) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

__m128i Load(const std::uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }

// Four lanes that stand for 64 consecutive bytes, folded into one, then the
// rest 16 bytes at a time (size is a multiple of 16), then reduced to the
// remainder: 128 bits to 64, to 32, then the Barrett reduction.
__attribute__((target("pclmul,sse2"))) std::uint16_t Finish(__m128i x1, __m128i x2, __m128i x3, __m128i x4,
                                                            const std::uint8_t* p, std::size_t size) {
  const __m128i k16 = _mm_set_epi64x(static_cast<long long>(kFold16[1]), static_cast<long long>(kFold16[0]));
  x1 = Fold(x1, k16, x2);
  x1 = Fold(x1, k16, x3);
  x1 = Fold(x1, k16, x4);
  for (; size >= 16; p += 16, size -= 16) x1 = Fold(x1, k16, Load(p));
  const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k16, 0x10));
  const __m128i k8 = _mm_set_epi64x(0, static_cast<long long>(kFold8));
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k8, 0x00), _mm_srli_si128(x1, 4));
  const __m128i barrett = _mm_set_epi64x(static_cast<long long>(kBarrett[1]), static_cast<long long>(kBarrett[0]));
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), barrett, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), barrett, 0x00);
  x1 = _mm_xor_si128(x1, t);
  return static_cast<std::uint16_t>(_mm_cvtsi128_si32(_mm_srli_si128(x1, 4)));
}

// size is at least 64 and a multiple of 16.
__attribute__((target("pclmul,sse2"))) std::uint16_t Folded(const std::uint8_t* p, std::size_t size,
                                                            std::uint16_t crc) {
  __m128i x1 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(crc));
  __m128i x2 = Load(p + 16), x3 = Load(p + 32), x4 = Load(p + 48);
  p += 64;
  size -= 64;
  const __m128i k64 = _mm_set_epi64x(static_cast<long long>(kFold64[1]), static_cast<long long>(kFold64[0]));
  for (; size >= 64; p += 64, size -= 64) {
    x1 = Fold(x1, k64, Load(p));
    x2 = Fold(x2, k64, Load(p + 16));
    x3 = Fold(x3, k64, Load(p + 32));
    x4 = Fold(x4, k64, Load(p + 48));
  }
  return Finish(x1, x2, x3, x4, p, size);
}

#define SCOURBY_WIDE __attribute__((target("avx512f,vpclmulqdq,pclmul"), always_inline)) inline

SCOURBY_WIDE __m512i LoadWide(const std::uint8_t* at) { return _mm512_loadu_si512(at); }

SCOURBY_WIDE __m512i FoldWide(__m512i x, __m512i k, __m512i next) {
  // Three-way XOR in one instruction.
  return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(x, k, 0x00), _mm512_clmulepi64_epi128(x, k, 0x11), next,
                                   0x96);
}

// The same constants in each 16-byte lane.
SCOURBY_WIDE __m512i InEveryLane(const std::uint64_t (&k)[2]) {
  const auto low = static_cast<long long>(k[0]), high = static_cast<long long>(k[1]);
  return _mm512_set_epi64(high, low, high, low, high, low, high, low);
}

// The same sixteen lanes at a time: four 64-byte vectors. size is at least
// 256 and a multiple of 16.
__attribute__((target("avx512f,vpclmulqdq,pclmul"))) std::uint16_t FoldedWide(const std::uint8_t* p, std::size_t size,
                                                                              std::uint16_t crc) {
  __m512i z0 = _mm512_xor_si512(LoadWide(p), _mm512_zextsi128_si512(_mm_cvtsi32_si128(crc)));
  __m512i z1 = LoadWide(p + 64), z2 = LoadWide(p + 128), z3 = LoadWide(p + 192);
  p += 256;
  size -= 256;
  const __m512i k256 = InEveryLane(kFold256);
  for (; size >= 256; p += 256, size -= 256) {
    z0 = FoldWide(z0, k256, LoadWide(p));
    z1 = FoldWide(z1, k256, LoadWide(p + 64));
    z2 = FoldWide(z2, k256, LoadWide(p + 128));
    z3 = FoldWide(z3, k256, LoadWide(p + 192));
  }
  const __m512i k64 = InEveryLane(kFold64);
  z0 = FoldWide(z0, k64, z1);
  z0 = FoldWide(z0, k64, z2);
  z0 = FoldWide(z0, k64, z3);
  for (; size >= 64; p += 64, size -= 64) z0 = FoldWide(z0, k64, LoadWide(p));
  alignas(64) __m128i lane[4];
  _mm512_store_si512(lane, z0);
  return Finish(lane[0], lane[1], lane[2], lane[3], p, size);
}

enum class Width { kTable, kFolded, kWide };

Width Widest() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("vpclmulqdq")) return Width::kWide;
  return __builtin_cpu_supports("pclmul") ? Width::kFolded : Width::kTable;
}

#else

enum class Width { kTable, kFolded, kWide };
constexpr Width Widest() { return Width::kTable; }
std::uint16_t Folded(const std::uint8_t*, std::size_t, std::uint16_t crc) { return crc; }
std::uint16_t FoldedWide(const std::uint8_t*, std::size_t, std::uint16_t crc) { return crc; }

#endif

// The register after the bits of `bits` went through a linear map whose
// images of single bits are `map`.
std::uint16_t Apply(const std::array<std::uint16_t, 16>& map, std::uint16_t bits) {
  std::uint16_t image = 0;
  for (std::size_t i = 0; bits != 0; ++i, bits >>= 1) {
    if ((bits & 1) != 0) image ^= map[i];
  }
  return image;
}

std::array<std::uint16_t, 16> Squared(const std::array<std::uint16_t, 16>& map) {
  std::array<std::uint16_t, 16> twice;
  for (std::size_t i = 0; i < 16; ++i) twice[i] = Apply(map, map[i]);
  return twice;
}

}  // namespace

std::uint16_t Crc16ArcCombine(std::uint16_t crcA, std::uint16_t crcB, std::uint64_t lengthB) {
  // The CRC is linear: a's CRC goes on through lengthB zero bytes, then b's
  // is added. One zero bit moves bit i to bit i - 1 and bit 0 into the
  // polynomial; squaring the map doubles the bits it stands for.
  std::array<std::uint16_t, 16> map;
  map[0] = kReflectedPolynomial;
  for (std::size_t i = 1; i < 16; ++i) map[i] = static_cast<std::uint16_t>(1u << (i - 1));
  for (int doubling = 0; doubling < 3; ++doubling) map = Squared(map);  // one zero byte
  for (; lengthB != 0; lengthB >>= 1) {
    if ((lengthB & 1) != 0) crcA = Apply(map, crcA);
    if (lengthB > 1) map = Squared(map);
  }
  return crcA ^ crcB;
}

std::uint16_t Crc16Arc(std::span<const std::uint8_t> bytes, std::uint16_t crc) {
  static const Width widest = Widest();
  const std::uint8_t* p = bytes.data();
  std::size_t size = bytes.size();
  if (widest != Width::kTable && size >= 64) {
    const std::size_t whole = size & ~static_cast<std::size_t>(15);
    crc = widest == Width::kWide && whole >= 256 ? FoldedWide(p, whole, crc) : Folded(p, whole, crc);
    p += whole;
    size -= whole;
  }
  return EightAtATime(p, size, crc);
}

std::uint16_t Crc16ArcPlain(std::span<const std::uint8_t> bytes, std::uint16_t crc) {
  return Bytewise(bytes.data(), bytes.size(), crc);
}

}  // namespace scourby::platform
