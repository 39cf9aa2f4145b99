#include "platform/wildcard.h"

#include <gtest/gtest.h>

namespace scourby::platform {
namespace {

TEST(WildcardMatch, StarQuestionMarkAndCase) {
  const struct {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*.mp3", "song.mp3", true},
      {"*.mp3", "SONG.MP3", true},
      {"*.MP3", "song.mp3", true},
      {"*.mp3", "song.mp3.bak", false},
      {"*.mp3", ".mp3", true},
      {"*", "", true},
      {"*.*", "README", true},
      {"*.*", "a.b", true},
      {"?.mp3", "a.mp3", true},
      {"?.mp3", "ab.mp3", false},
      {"?.mp3", ".mp3", false},
      {"a*b*c", "aXXbYYc", true},
      {"a*b*c", "aXXbYY", false},
      {"song.mp3", "song.mp3", true},
      {"song.mp3", "song.mp", false},
      {"*a", "banana", true},
      {"**", "x", true},
      {"", "", true},
      {"", "x", false},
      {"\xC3\xA9*", "\xC3\xA9t\xC3\xA9", true},
  };
  for (const auto& c : cases) EXPECT_EQ(WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " ~ " << c.name;
}

}  // namespace
}  // namespace scourby::platform
