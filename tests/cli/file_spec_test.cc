#include "cli/file_spec.h"

#include <gtest/gtest.h>

namespace scourby {
namespace {

struct Split {
  const char* path;
  const char* folder;
  const char* name;
};

void ExpectSplits(const Split* begin, const Split* end) {
  for (const Split* c = begin; c != end; ++c) {
    EXPECT_EQ(FolderOf(c->path), c->folder) << c->path;
    EXPECT_EQ(NameOf(c->path), c->name) << c->path;
  }
}

#ifdef _WIN32
TEST(FolderOfAndNameOf, CutAtTheLastBackslashSlashOrDriveColon) {
  const Split cases[] = {
      {"d:\\my mp3z\\*.mp3", "d:\\my mp3z\\", "*.mp3"},
      {"c:\\", "c:\\", ""},
      {"c:\\music\\", "c:\\music\\", ""},
      {"*.mp3", "", "*.mp3"},
      {"song.mp3", "", "song.mp3"},
      // Windows takes "/" as a separator too, and "d:name" is name in the
      // current folder of drive d: the folder part stays on every path.
      {"music/sub/*.mp3", "music/sub/", "*.mp3"},
      {"music\\sub/a.mp3", "music\\sub/", "a.mp3"},
      {"d:*.mp3", "d:", "*.mp3"},
      {"d:", "d:", ""},
  };
  ExpectSplits(std::begin(cases), std::end(cases));
}
#else
TEST(FolderOfAndNameOf, CutAtTheLastSlashOnly) {
  const Split cases[] = {
      {"/music/my mp3z/*.mp3", "/music/my mp3z/", "*.mp3"},
      {"/", "/", ""},
      {"//a.mp3", "//", "a.mp3"},
      {"*.mp3", "", "*.mp3"},
      {"a\\b.mp3", "", "a\\b.mp3"},
      {"d:*.mp3", "", "d:*.mp3"},
  };
  ExpectSplits(std::begin(cases), std::end(cases));
}
#endif

}  // namespace
}  // namespace scourby
