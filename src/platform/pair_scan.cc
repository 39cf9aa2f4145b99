#include "platform/pair_scan.h"

#include <algorithm>
#include <bit>

#if defined(__x86_64__) || defined(_M_X64)
#define SCOURBY_X86 1
#include <immintrin.h>
#endif

namespace scourby::platform {
namespace {

bool Matches(const std::uint8_t* p, BytePair pair) {
  return p[0] == pair.first && (p[1] & pair.secondMask) == pair.second;
}

// The rule itself, one position at a time; also every vector loop's tail.
std::size_t Plain(std::span<const std::uint8_t> bytes, std::size_t from, BytePair a, BytePair b) {
  for (std::size_t i = from; i + 1 < bytes.size(); ++i) {
    if (Matches(bytes.data() + i, a) || Matches(bytes.data() + i, b)) return i;
  }
  return bytes.size();
}

#ifdef SCOURBY_X86

// Each width compares a block of first bytes, and the block one byte on,
// with the pairs. kTwo: b differs from a; kMasked: the second byte is
// masked before it is compared. A block is loaded only while its last
// second byte lies inside the span; the plain loop takes the rest.

template <bool kTwo, bool kMasked>
std::size_t Sse2(std::span<const std::uint8_t> bytes, BytePair a, BytePair b) {
  const __m128i a1 = _mm_set1_epi8(static_cast<char>(a.first)), am = _mm_set1_epi8(static_cast<char>(a.secondMask)),
                a2 = _mm_set1_epi8(static_cast<char>(a.second)), b1 = _mm_set1_epi8(static_cast<char>(b.first)),
                bm = _mm_set1_epi8(static_cast<char>(b.secondMask)), b2 = _mm_set1_epi8(static_cast<char>(b.second));
  const std::uint8_t* p = bytes.data();
  std::size_t i = 0;
  for (; i + 17 <= bytes.size(); i += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 1));
    __m128i hit = _mm_and_si128(_mm_cmpeq_epi8(x, a1), _mm_cmpeq_epi8(kMasked ? _mm_and_si128(y, am) : y, a2));
    if constexpr (kTwo) {
      hit = _mm_or_si128(hit,
                         _mm_and_si128(_mm_cmpeq_epi8(x, b1), _mm_cmpeq_epi8(kMasked ? _mm_and_si128(y, bm) : y, b2)));
    }
    const auto hits = static_cast<std::uint32_t>(_mm_movemask_epi8(hit));
    if (hits != 0) return i + static_cast<std::size_t>(std::countr_zero(hits));
  }
  return Plain(bytes, i, a, b);
}

template <bool kTwo, bool kMasked>
__attribute__((target("avx2"))) std::size_t Avx2(std::span<const std::uint8_t> bytes, BytePair a, BytePair b) {
  const __m256i a1 = _mm256_set1_epi8(static_cast<char>(a.first)),
                am = _mm256_set1_epi8(static_cast<char>(a.secondMask)),
                a2 = _mm256_set1_epi8(static_cast<char>(a.second)), b1 = _mm256_set1_epi8(static_cast<char>(b.first)),
                bm = _mm256_set1_epi8(static_cast<char>(b.secondMask)),
                b2 = _mm256_set1_epi8(static_cast<char>(b.second));
  const std::uint8_t* p = bytes.data();
  std::size_t i = 0;
  for (; i + 33 <= bytes.size(); i += 32) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
    const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 1));
    __m256i hit =
        _mm256_and_si256(_mm256_cmpeq_epi8(x, a1), _mm256_cmpeq_epi8(kMasked ? _mm256_and_si256(y, am) : y, a2));
    if constexpr (kTwo) {
      hit = _mm256_or_si256(hit, _mm256_and_si256(_mm256_cmpeq_epi8(x, b1),
                                                  _mm256_cmpeq_epi8(kMasked ? _mm256_and_si256(y, bm) : y, b2)));
    }
    const auto hits = static_cast<std::uint32_t>(_mm256_movemask_epi8(hit));
    if (hits != 0) return i + static_cast<std::size_t>(std::countr_zero(hits));
  }
  return Plain(bytes, i, a, b);
}

template <bool kTwo, bool kMasked>
__attribute__((target("avx512f,avx512bw"))) std::size_t Avx512(std::span<const std::uint8_t> bytes, BytePair a,
                                                               BytePair b) {
  const __m512i a1 = _mm512_set1_epi8(static_cast<char>(a.first)),
                am = _mm512_set1_epi8(static_cast<char>(a.secondMask)),
                a2 = _mm512_set1_epi8(static_cast<char>(a.second)), b1 = _mm512_set1_epi8(static_cast<char>(b.first)),
                bm = _mm512_set1_epi8(static_cast<char>(b.secondMask)),
                b2 = _mm512_set1_epi8(static_cast<char>(b.second));
  const std::uint8_t* p = bytes.data();
  // The second comparison runs only where the first byte matched.
  const auto hitsAt = [&](std::size_t at) __attribute__((target("avx512f,avx512bw"), always_inline)) {
    const __m512i x = _mm512_loadu_si512(p + at);
    const __m512i y = _mm512_loadu_si512(p + at + 1);
    std::uint64_t hits =
        _mm512_mask_cmpeq_epi8_mask(_mm512_cmpeq_epi8_mask(x, a1), kMasked ? _mm512_and_si512(y, am) : y, a2);
    if constexpr (kTwo) {
      hits |= _mm512_mask_cmpeq_epi8_mask(_mm512_cmpeq_epi8_mask(x, b1), kMasked ? _mm512_and_si512(y, bm) : y, b2);
    }
    return hits;
  };
  std::size_t i = 0;
  for (; i + 129 <= bytes.size(); i += 128) {
    const std::uint64_t low = hitsAt(i);
    const std::uint64_t high = hitsAt(i + 64);
    if ((low | high) != 0) {
      return i + static_cast<std::size_t>(low != 0 ? std::countr_zero(low) : 64 + std::countr_zero(high));
    }
  }
  for (; i + 65 <= bytes.size(); i += 64) {
    const std::uint64_t hits = hitsAt(i);
    if (hits != 0) return i + static_cast<std::size_t>(std::countr_zero(hits));
  }
  return Plain(bytes, i, a, b);
}

using Kernel = std::size_t (*)(std::span<const std::uint8_t>, BytePair, BytePair);

Kernel Pick(ScanWidth width, bool two, bool masked) {
  switch (width) {
    case ScanWidth::kAvx512:
      return two ? (masked ? Avx512<true, true> : Avx512<true, false>)
                 : (masked ? Avx512<false, true> : Avx512<false, false>);
    case ScanWidth::kAvx2:
      return two ? (masked ? Avx2<true, true> : Avx2<true, false>) : (masked ? Avx2<false, true> : Avx2<false, false>);
    case ScanWidth::kSse2:
      return two ? (masked ? Sse2<true, true> : Sse2<true, false>) : (masked ? Sse2<false, true> : Sse2<false, false>);
    case ScanWidth::kPlain: break;
  }
  return nullptr;
}

ScanWidth Widest() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512bw")) return ScanWidth::kAvx512;
  if (__builtin_cpu_supports("avx2")) return ScanWidth::kAvx2;
  return ScanWidth::kSse2;
}

#else

using Kernel = std::size_t (*)(std::span<const std::uint8_t>, BytePair, BytePair);
Kernel Pick(ScanWidth, bool, bool) { return nullptr; }
ScanWidth Widest() { return ScanWidth::kPlain; }

#endif

bool SamePair(BytePair a, BytePair b) {
  return a.first == b.first && a.secondMask == b.secondMask && a.second == b.second;
}

}  // namespace

ScanWidth BestScanWidth() {
  static const ScanWidth widest = Widest();
  return widest;
}

std::size_t FindBytePairWith(ScanWidth width, std::span<const std::uint8_t> bytes, BytePair a, BytePair b) {
  const Kernel kernel =
      Pick(std::min(width, BestScanWidth()), !SamePair(a, b), a.secondMask != 0xFF || b.secondMask != 0xFF);
  return kernel != nullptr ? kernel(bytes, a, b) : Plain(bytes, 0, a, b);
}

std::size_t FindBytePair(std::span<const std::uint8_t> bytes, BytePair a, BytePair b) {
  return FindBytePairWith(BestScanWidth(), bytes, a, b);
}

}  // namespace scourby::platform
