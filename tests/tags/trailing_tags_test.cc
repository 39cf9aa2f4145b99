#include "tags/trailing_tags.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/mp3_fixtures.h"

namespace scourby {
namespace {

using testing::Bytes;
using Kind = TrailingTag::Kind;

std::vector<TrailingTag> Read(const Bytes& content, std::int64_t from) {
  platform::Reader reader(std::span(reinterpret_cast<const std::uint8_t*>(content.data()), content.size()));
  return ReadTrailingTags(reader, from, static_cast<std::int64_t>(content.size()));
}

// Tags at the end of a stream, told by their own structure whatever order
// taggers wrote them in; a size that lies makes no tag.
TEST(ReadTrailingTags, Cases) {
  const Bytes audio = testing::Frames(2);
  const auto at = static_cast<std::int64_t>(audio.size());
  const Bytes v1 = testing::Id3v1Tag(), ape = testing::ApeTag(true), lyrics = testing::Lyrics3V2();
  const Bytes footed = testing::Id3v2FooterTag(50);
  const auto size = [](const Bytes& tag) { return static_cast<std::int64_t>(tag.size()); };
  // An APEv2 tag whose size or item count says more than its items hold.
  Bytes apeTooLarge = testing::ApeTag(false);
  apeTooLarge[apeTooLarge.size() - 20] = '\x40';
  Bytes apeTooMany = testing::ApeTag(false);
  apeTooMany[apeTooMany.size() - 16] = '\x02';
  Bytes apeBadKey = testing::ApeTag(false);
  apeBadKey[8] = '\x01';
  Bytes lyricsShort = lyrics;
  lyricsShort[lyricsShort.size() - 10] = '9';
  Bytes footerLies = footed;
  footerLies[footerLies.size() - 1] = '\x33';
  const struct {
    const char* name;
    Bytes content;
    std::int64_t from;
    std::vector<TrailingTag> tags;
  } cases[] = {
      {"none", audio, 0, {}},
      {"ID3v1", audio + v1, 0, {{Kind::kId3v1, at, 128}}},
      {"APEv2, Lyrics3 and ID3v1",
       audio + ape + lyrics + v1,
       0,
       {{Kind::kApe, at, size(ape)},
        {Kind::kLyrics3, at + size(ape), size(lyrics)},
        {Kind::kId3v1, at + size(ape) + size(lyrics), 128}}},
      {"APEv2 written behind ID3v1", audio + v1 + ape, 0, {{Kind::kId3v1, at, 128}, {Kind::kApe, at + 128, size(ape)}}},
      {"ID3v2 with a footer before ID3v1",
       audio + footed + v1,
       0,
       {{Kind::kId3v2, at, size(footed)}, {Kind::kId3v1, at + size(footed), 128}}},
      {"Lyrics3 v1", audio + "LYRICSBEGINla la LYRICSEND", 0, {{Kind::kLyrics3, at, 26}}},
      {"each kind once: of two ID3v1 tags the last", audio + v1 + v1, 0, {{Kind::kId3v1, at + 128, 128}}},
      {"an APEv2 size beyond its items", audio + apeTooLarge, 0, {}},
      {"an APEv2 size before the file", apeTooLarge.substr(8), 0, {}},
      {"more APEv2 items counted than there are", audio + apeTooMany, 0, {}},
      {"an APEv2 key of other bytes", audio + apeBadKey, 0, {}},
      {"a Lyrics3 size that does not match", audio + lyricsShort + v1, 0, {{Kind::kId3v1, at + size(lyrics), 128}}},
      {"an ID3v2 footer whose size lies", audio + footerLies, 0, {}},
      {"nothing before `from` is read", audio + ape, at + 1, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<TrailingTag> got = Read(c.content, c.from);
    ASSERT_EQ(got.size(), c.tags.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_TRUE(got[i] == c.tags[i]) << "tag " << i << ": " << static_cast<int>(got[i].kind) << " at " << got[i].at
                                       << ", " << got[i].size << " bytes";
    }
  }
}

}  // namespace
}  // namespace scourby
