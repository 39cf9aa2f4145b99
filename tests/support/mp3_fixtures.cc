#include "support/mp3_fixtures.h"

#include <random>

#include "mpeg/frame_header.h"

namespace scourby::testing {

Bytes Frame(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, int seed) {
  FrameHeader header;
  header.headerBytes = {0xFF, b1, b2, b3};
  if (DecodeFrameHeader(header) != 1) return {};
  Bytes frame(static_cast<std::size_t>(header.frameLength), '\0');
  frame[0] = '\xFF';
  frame[1] = static_cast<char>(b1);
  frame[2] = static_cast<char>(b2);
  frame[3] = static_cast<char>(b3);
  for (std::size_t i = 4; i < frame.size(); ++i)
    frame[i] = static_cast<char>((i * 5 + static_cast<std::size_t>(seed) * 11) & 0x3F);
  return frame;
}

Bytes Frames(int count, int seed) {
  Bytes out;
  for (int i = 0; i < count; ++i) out += Frame(0xFB, 0x90, 0x64, seed + i);
  return out;
}

Bytes Id3v2Tag(std::uint32_t bodySize) {
  Bytes tag = "ID3";
  tag += '\x03';
  tag += '\x00';
  tag += '\x00';
  for (const int shift : {21, 14, 7, 0}) tag += static_cast<char>((bodySize >> shift) & 0x7F);
  for (std::uint32_t i = 0; i < bodySize; ++i) tag += static_cast<char>(i % 7 == 0 ? 0 : 'a' + i % 26);
  return tag;
}

Bytes ApeTag(bool withHeader) {
  const Bytes items = Le32(5) + Le32(0) + "Title" + Bytes(1, '\0') + "words";
  const auto block = [&](std::uint32_t flags) {
    return "APETAGEX" + Le32(2000) + Le32(static_cast<std::uint32_t>(items.size() + 32)) + Le32(1) + Le32(flags) +
           Bytes(8, '\0');
  };
  return (withHeader ? block(0xA0000000) : "") + items + block(withHeader ? 0x80000000 : 0);
}

Bytes Lyrics3V2() {
  const Bytes body = "LYRICSBEGIN[ind]01 la la la";
  const std::string size = std::to_string(body.size());
  return body + std::string(6 - size.size(), '0') + size + "LYRICS200";
}

Bytes Id3v2FooterTag(std::uint32_t bodySize) {
  Bytes tag = Id3v2Tag(bodySize);
  tag[3] = '\x04';  // version 2.4
  tag[5] = '\x10';  // a footer follows the body
  return tag + "3DI" + tag.substr(3, 7);
}

Bytes Picture(std::size_t size, int seed) {
  std::mt19937 random(static_cast<unsigned>(seed) + 1);
  Bytes picture(size, '\0');
  for (char& c : picture) c = static_cast<char>(random());
  for (std::size_t at = random() % 1000; at + 4 <= size; at += 500 + random() % 1000) {
    picture.replace(at, 4, Frame().substr(0, 4));
  }
  for (const char* marker : {"ID3", "TAG", "LYRICSBEGIN", "APETAGEX"}) {
    for (std::size_t at; (at = picture.find(marker)) != Bytes::npos;) picture[at] = 'x';
  }
  return picture;
}

Bytes Id3v2PictureTag(std::uint32_t pictureSize, int seed) {
  const Bytes empty = Id3v2Tag(0);
  Bytes tag = empty.substr(0, 6);
  for (const int shift : {21, 14, 7, 0}) tag += static_cast<char>((pictureSize >> shift) & 0x7F);
  return tag + Picture(pictureSize, seed);
}

Bytes Id3v1Tag(const std::string& title) {
  Bytes tag = "TAG" + title;
  tag.resize(3 + 30, '\0');
  tag += "Artist";
  tag.resize(63, '\0');
  tag += "Album";
  tag.resize(93, '\0');
  tag += "2024";
  tag += "Comment";
  tag.resize(125, '\0');
  tag += '\x00';
  tag += '\x05';  // track
  tag += '\x0C';  // genre
  return tag;
}

Bytes Be32(std::uint32_t value) {
  Bytes out;
  for (const int shift : {24, 16, 8, 0}) out += static_cast<char>((value >> shift) & 0xFF);
  return out;
}

Bytes Le32(std::uint32_t value) {
  Bytes out;
  for (const int shift : {0, 8, 16, 24}) out += static_cast<char>((value >> shift) & 0xFF);
  return out;
}

Bytes XingFrame(std::uint32_t frameCount) { return XingFrame(frameCount, (frameCount + 1) * 417); }

Bytes XingFrame(std::uint32_t frameCount, std::uint32_t byteCount) {
  Bytes frame = Frame();
  const Bytes xing = "Xing" + Be32(0x03) + Be32(frameCount) + Be32(byteCount);
  frame.replace(36, xing.size(), xing);
  return frame;
}

std::uint32_t FrameCount(const Bytes& stream) {
  std::uint32_t count = 0;
  FrameHeader header;
  for (std::size_t at = 0;
       at + 4 <= stream.size() && IsFrameHeader(reinterpret_cast<const std::uint8_t*>(stream.data() + at), header) &&
       at + static_cast<std::size_t>(header.frameLength) <= stream.size();
       at += static_cast<std::size_t>(header.frameLength)) {
    ++count;
  }
  return count;
}

Bytes RiffWave(const Bytes& payload, std::uint16_t format, std::uint16_t subFormat) {
  Bytes fmt(format == 0xFFFE ? 40 : 30, '\x01');
  fmt.replace(0, 2, Bytes{static_cast<char>(format), static_cast<char>(format >> 8)});
  if (format == 0xFFFE) fmt.replace(24, 2, Bytes{static_cast<char>(subFormat), static_cast<char>(subFormat >> 8)});
  Bytes body = "WAVE";
  body += "fmt " + Le32(static_cast<std::uint32_t>(fmt.size())) + fmt;
  body += "data" + Le32(static_cast<std::uint32_t>(payload.size())) + payload;
  return "RIFF" + Le32(static_cast<std::uint32_t>(body.size())) + body;
}

}  // namespace scourby::testing
