#include "mpeg/xing.h"

#include <algorithm>
#include <cstring>

#include "platform/crc16.h"

namespace scourby {
namespace {

constexpr std::size_t kFlagsSize = 4;
constexpr std::size_t kCountSize = 4;
constexpr std::size_t kQualitySize = 4;
constexpr std::uint32_t kFrameCountFlag = 1u << 0;
constexpr std::uint32_t kByteCountFlag = 1u << 1;
constexpr std::uint32_t kTocFlag = 1u << 2;
constexpr std::uint32_t kQualityFlag = 1u << 3;

// LAME's tag: its size, and where its last three fields lie in it.
constexpr std::size_t kLameTagSize = 36;
constexpr std::size_t kMusicLengthAt = 28;
constexpr std::size_t kMusicCrcAt = 32;
constexpr std::size_t kTagCrcAt = 34;

bool MagicAt(std::span<const std::uint8_t> frame, std::size_t at, std::string_view magic) {
  return at <= frame.size() && frame.size() - at >= magic.size() &&
         std::memcmp(frame.data() + at, magic.data(), magic.size()) == 0;
}

bool Fits(std::span<const std::uint8_t> frame, std::size_t at, std::size_t size) {
  return at <= frame.size() && frame.size() - at >= size;
}

std::uint16_t BigEndian16(const std::uint8_t* bytes) { return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]); }

std::array<std::uint8_t, 4> BigEndian32Bytes(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
          static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

std::array<std::uint8_t, 2> BigEndian16Bytes(std::uint16_t value) {
  return {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

// The LAME tag's own CRC covers every byte of the frame before it.
std::uint16_t TagCrc(std::span<const std::uint8_t> frame, std::size_t lameTag) {
  return platform::Crc16Arc(frame.first(lameTag + kTagCrcAt));
}

}  // namespace

std::optional<XingFields> FindXingFields(std::span<const std::uint8_t> frame, const FrameHeader& header) {
  const std::size_t magic = XingOffset(header);
  if (!(MagicAt(frame, magic, kXingMagic) || MagicAt(frame, magic, kInfoMagic))) return std::nullopt;
  std::size_t at = magic + kXingMagic.size();
  if (!Fits(frame, at, kFlagsSize)) return std::nullopt;
  const std::uint32_t flags = BigEndian32(frame.data() + at);
  at += kFlagsSize;
  XingFields fields;
  // Each flagged field takes its place whether or not the frame holds it
  // whole; only a whole one is read or written.
  const auto take = [&](std::uint32_t flag, std::size_t size) {
    if ((flags & flag) == 0) return XingFields::kAbsent;
    const std::size_t field = at;
    at += size;
    return Fits(frame, field, size) ? field : XingFields::kAbsent;
  };
  fields.frameCount = take(kFrameCountFlag, kCountSize);
  fields.byteCount = take(kByteCountFlag, kCountSize);
  fields.toc = take(kTocFlag, kTocEntries);
  take(kQualityFlag, kQualitySize);
  if (Fits(frame, at, kLameTagSize) && BigEndian16(frame.data() + at + kTagCrcAt) == TagCrc(frame, at)) {
    fields.lameTag = at;
  }
  return fields;
}

bool XingCountsTrue(std::span<const std::uint8_t> frame, const XingFields& fields, std::uint32_t frameCount,
                    std::uint32_t byteCount) {
  const auto holds = [&](std::size_t field, std::uint32_t value) {
    return field == XingFields::kAbsent || BigEndian32(frame.data() + field) == value;
  };
  return holds(fields.frameCount, frameCount) && holds(fields.byteCount, byteCount);
}

XingRewrite PlanXingRewrite(std::span<const std::uint8_t> frame, const XingFields& fields, std::uint32_t frameCount,
                            std::uint32_t byteCount, bool musicChanged) {
  XingRewrite plan;
  plan.counts = !XingCountsTrue(frame, fields, frameCount, byteCount);
  plan.toc = plan.counts && fields.toc != XingFields::kAbsent;
  plan.lame = (plan.counts || musicChanged) && fields.lameTag != XingFields::kAbsent;
  return plan;
}

bool MakeXingTrue(std::span<std::uint8_t> frame, const XingFields& fields, const StreamTruth& truth,
                  bool musicChanged) {
  const XingRewrite plan = PlanXingRewrite(frame, fields, truth.frameCount, truth.byteCount, musicChanged);
  bool changed = false;
  const auto put = [&](std::size_t at, std::span<const std::uint8_t> bytes) {
    changed = changed || !std::equal(bytes.begin(), bytes.end(), frame.begin() + static_cast<std::ptrdiff_t>(at));
    std::copy(bytes.begin(), bytes.end(), frame.begin() + static_cast<std::ptrdiff_t>(at));
  };
  if (plan.counts) {
    if (fields.frameCount != XingFields::kAbsent) put(fields.frameCount, BigEndian32Bytes(truth.frameCount));
    if (fields.byteCount != XingFields::kAbsent) put(fields.byteCount, BigEndian32Bytes(truth.byteCount));
  }
  if (plan.toc) {
    // B is at least the header frame's length, never 0.
    const std::uint64_t total = std::max<std::uint32_t>(truth.byteCount, 1);
    std::array<std::uint8_t, kTocEntries> toc;
    for (std::size_t i = 0; i < kTocEntries; ++i) {
      toc[i] =
          static_cast<std::uint8_t>(std::min<std::uint64_t>(255, 256 * std::uint64_t{truth.tocOffsets[i]} / total));
    }
    put(fields.toc, toc);
  }
  if (plan.lame) {
    put(fields.lameTag + kMusicLengthAt, BigEndian32Bytes(truth.byteCount));
    put(fields.lameTag + kMusicCrcAt, BigEndian16Bytes(truth.musicCrc));
    put(fields.lameTag + kTagCrcAt, BigEndian16Bytes(TagCrc(frame, fields.lameTag)));
  }
  return changed;
}

}  // namespace scourby
