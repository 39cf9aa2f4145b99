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
constexpr std::size_t kEncoderPaddingAt = 21;  // 3 bytes: 12 bits of delay, 12 of padding
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

std::int32_t PaddingAt(std::span<const std::uint8_t> frame, std::size_t lameTag) {
  const std::uint8_t* bytes = frame.data() + lameTag + kEncoderPaddingAt;
  return ((bytes[1] & 0x0F) << 8) | bytes[2];
}

// Table of contents entry i: min(255, floor(256 * tocOffsets[i] / B)).
std::array<std::uint8_t, kTocEntries> TocEntries(const StreamTruth& truth) {
  // B is at least the header frame's length, never 0.
  const std::uint64_t total = std::max<std::uint32_t>(truth.byteCount, 1);
  std::array<std::uint8_t, kTocEntries> toc;
  for (std::size_t i = 0; i < kTocEntries; ++i) {
    toc[i] = static_cast<std::uint8_t>(std::min<std::uint64_t>(255, 256 * std::uint64_t{truth.tocOffsets[i]} / total));
  }
  return toc;
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
                            std::uint32_t byteCount, bool musicChanged, std::int32_t encoderPadding) {
  XingRewrite plan;
  plan.counts = !XingCountsTrue(frame, fields, frameCount, byteCount);
  plan.toc = plan.counts && fields.toc != XingFields::kAbsent;
  const bool paddingChanges = fields.lameTag != XingFields::kAbsent && encoderPadding >= 0 &&
                              PaddingAt(frame, fields.lameTag) != encoderPadding;
  plan.lame = (plan.counts || musicChanged || paddingChanges) && fields.lameTag != XingFields::kAbsent;
  return plan;
}

std::int32_t LameEncoderPadding(std::span<const std::uint8_t> frame, const FrameHeader& header) {
  const std::optional<XingFields> fields = FindXingFields(frame, header);
  return fields && fields->lameTag != XingFields::kAbsent ? PaddingAt(frame, fields->lameTag) : -1;
}

FrameHeader AddedXingHeader(const FrameHeader& first) {
  FrameHeader header = first;
  header.headerBytes[1] |= 0x01;                                                    // protection bit: no CRC
  header.headerBytes[2] = static_cast<std::uint8_t>(header.headerBytes[2] & 0x0C);  // rate kept, padding and private 0
  const std::size_t needed = XingOffset(first) + kXingMagic.size() + kFlagsSize + 2 * kCountSize + kTocEntries;
  for (std::uint8_t index = 1; index < 15; ++index) {
    header.headerBytes[2] = static_cast<std::uint8_t>((header.headerBytes[2] & 0x0F) | index << 4);
    if (DecodeFrameHeader(header) == 1 && static_cast<std::size_t>(header.frameLength) >= needed) return header;
  }
  header.frameLength = 0;
  return header;
}

void BuildXingFrame(std::span<std::uint8_t> frame, const FrameHeader& header, const StreamTruth& truth) {
  std::fill(frame.begin(), frame.end(), 0);
  std::copy(header.headerBytes.begin(), header.headerBytes.end(), frame.begin());
  std::size_t at = XingOffset(header);
  const auto put = [&](std::span<const std::uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), frame.begin() + static_cast<std::ptrdiff_t>(at));
    at += bytes.size();
  };
  put(std::span(reinterpret_cast<const std::uint8_t*>(kXingMagic.data()), kXingMagic.size()));
  put(BigEndian32Bytes(kFrameCountFlag | kByteCountFlag | kTocFlag));
  put(BigEndian32Bytes(truth.frameCount));
  put(BigEndian32Bytes(truth.byteCount));
  put(TocEntries(truth));
}

bool MakeXingTrue(std::span<std::uint8_t> frame, const XingFields& fields, const StreamTruth& truth,
                  bool musicChanged) {
  const XingRewrite plan =
      PlanXingRewrite(frame, fields, truth.frameCount, truth.byteCount, musicChanged, truth.encoderPadding);
  bool changed = false;
  const auto put = [&](std::size_t at, std::span<const std::uint8_t> bytes) {
    changed = changed || !std::equal(bytes.begin(), bytes.end(), frame.begin() + static_cast<std::ptrdiff_t>(at));
    std::copy(bytes.begin(), bytes.end(), frame.begin() + static_cast<std::ptrdiff_t>(at));
  };
  if (plan.counts) {
    if (fields.frameCount != XingFields::kAbsent) put(fields.frameCount, BigEndian32Bytes(truth.frameCount));
    if (fields.byteCount != XingFields::kAbsent) put(fields.byteCount, BigEndian32Bytes(truth.byteCount));
  }
  if (plan.toc) put(fields.toc, TocEntries(truth));
  if (plan.lame) {
    if (truth.encoderPadding >= 0) {
      const std::size_t at = fields.lameTag + kEncoderPaddingAt;
      const std::array<std::uint8_t, 2> padding = {
          static_cast<std::uint8_t>((frame[at + 1] & 0xF0) | (truth.encoderPadding >> 8 & 0x0F)),
          static_cast<std::uint8_t>(truth.encoderPadding)};
      put(at + 1, padding);
    }
    put(fields.lameTag + kMusicLengthAt, BigEndian32Bytes(truth.byteCount));
    put(fields.lameTag + kMusicCrcAt, BigEndian16Bytes(truth.musicCrc));
    put(fields.lameTag + kTagCrcAt, BigEndian16Bytes(TagCrc(frame, fields.lameTag)));
  }
  return changed;
}

}  // namespace scourby
