#include "tags/other_formats.h"

#include <algorithm>
#include <string_view>

#include "tags/tag_markers.h"

namespace scourby {
namespace {

using namespace std::string_view_literals;

// At the first byte.
constexpr std::string_view kSignatures[] = {
    "fLaC"sv,                              // FLAC
    "OggS"sv,                              // Ogg
    "FORM"sv,                              // AIFF, AIFF-C
    "\x1A\x45\xDF\xA3"sv,                  // Matroska, WebM
    "\x30\x26\xB2\x75\x8E\x66\xCF\x11"sv,  // ASF, WMA
    "wvpk"sv,                              // WavPack
    "MAC "sv,                              // Monkey's Audio
    "TTA1"sv,                              // TTA
    "MPCK"sv,                              // Musepack
    "MP+"sv,                               // Musepack
    "OFR "sv,                              // OptimFROG
    "caff"sv,                              // CAF
    "DSD "sv,                              // DSD (DSF)
    "FRM8"sv,                              // DSD (DFF)
    ".snd"sv,                              // AU
    "#!AMR"sv,                             // AMR
    "MThd"sv,                              // MIDI
};

// MP4 and M4A: a box whose type is "ftyp", after its 4-byte size.
constexpr std::size_t kBoxTypeAt = 4;
constexpr std::string_view kFileTypeBox = "ftyp";

}  // namespace

bool IsOtherFormat(std::span<const std::uint8_t> bytes) {
  return TextAt(bytes, kBoxTypeAt, kFileTypeBox) ||
         std::any_of(std::begin(kSignatures), std::end(kSignatures),
                     [&](std::string_view signature) { return TextAt(bytes, 0, signature); });
}

bool IsOtherFormatAt(platform::Reader& input, std::int64_t at) {
  const std::span<const std::uint8_t> bytes = input.Peek(at, kSignatureBytes);
  return IsOtherFormat(bytes.first(std::min(bytes.size(), kSignatureBytes)));
}

}  // namespace scourby
