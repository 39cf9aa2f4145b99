// Invariants over many generated files: both modes agree byte for byte,
// nothing is lost (cleaned + trash = original), and cleaning a cleaned file
// changes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "support/mp3_fixtures.h"
#include "support/test_support.h"

namespace scourby::testing {
namespace {

namespace fs = std::filesystem;

struct Generated {
  std::string name;
  Bytes content;
  bool validTag = false;  // ends in a valid ID3v1 tag
};

// Junk that holds no 0xFF and no tag marker, so it never hides a frame.
Bytes Junk(std::mt19937& random, std::size_t size) {
  Bytes junk(size, '\0');
  for (char& c : junk) c = static_cast<char>(random() % 0x7F);
  for (std::size_t at; (at = junk.find("TAG")) != std::string::npos;) junk[at] = 'x';
  for (std::size_t at; (at = junk.find("LYRICSBEGIN")) != std::string::npos;) junk[at] = 'x';
  return junk;
}

// The generators' random choices.
struct Dice {
  std::mt19937& random;
  bool Chance(int percent) const { return static_cast<int>(random() % 100) < percent; }
  int Pick(int low, int high) const { return low + static_cast<int>(random() % static_cast<unsigned>(high - low + 1)); }
};

// Where a frame with the header h holds "Xing": behind the side
// information, 32 or 17 bytes of MPEG 1 (stereo or mono), 17 or 9 of
// MPEG 2 and 2.5.
std::size_t XingOffsetOf(const std::uint8_t* h) {
  const bool mono = (h[2] & 0xC0) == 0xC0;
  if (h[0] & 0x08) return mono ? 21 : 36;
  return mono ? 13 : 21;
}

// A first frame with the header h (its channel mode, no padding) that
// carries a Xing frame count.
Bytes XingFrameOf(const std::uint8_t* h, std::uint32_t count) {
  Bytes xing = Frame(h[0], h[1], h[2] & 0xC0, 99);
  xing.replace(XingOffsetOf(h), 12, "Xing" + Be32(1) + Be32(count));
  return xing;
}

Generated Generate(int index, std::mt19937& random) {
  // Headers of several versions and layers, with and without padding.
  static const std::uint8_t kHeaders[][3] = {{0xFB, 0x90, 0x64}, {0xFB, 0x92, 0x44}, {0xF3, 0x84, 0xC4},
                                             {0xE3, 0x18, 0xC4}, {0xFD, 0xA4, 0x00}, {0xFF, 0xC2, 0x00},
                                             {0xE5, 0xEA, 0x00}, {0xFB, 0xE4, 0xC4}};
  const Dice dice{random};

  const auto& h = kHeaders[random() % std::size(kHeaders)];
  // A stream behind junk is taken when 8 frames follow one another (32 of
  // Layer I): its first frames are never parted by junk.
  const int chain = (h[0] & 0x06) == 0x06 ? 32 : 8;
  const bool headJunk = dice.Chance(15);
  const int count = dice.Pick(headJunk ? chain : 3, 48);
  Bytes audio;
  if (dice.Chance(15)) audio += XingFrameOf(h, static_cast<std::uint32_t>(dice.Pick(0, count + 3)));
  for (int i = 0; i < count; ++i) {
    if (i >= chain && dice.Chance(8)) audio += Junk(random, static_cast<std::size_t>(dice.Pick(1, 300)));
    audio += Frame(h[0], h[1], h[2], dice.Pick(0, 50));
  }
  if (dice.Chance(20)) audio += Frame(h[0], h[1], h[2]).substr(0, static_cast<std::size_t>(dice.Pick(4, 40)));

  Generated g;
  g.name = "f" + std::to_string(index) + ".mp3";
  Bytes head;
  if (dice.Chance(50)) head += Id3v2Tag(static_cast<std::uint32_t>(dice.Pick(0, 5000)));
  if (headJunk) head += Junk(random, static_cast<std::size_t>(dice.Pick(1, 100)));
  Bytes tail;
  if (dice.Chance(10)) tail += "LYRICSBEGIN" + Junk(random, 50) + "LYRICS200";
  if (dice.Chance(40)) {
    tail += Id3v1Tag("Song " + std::to_string(index));
    g.validTag = true;
  } else if (dice.Chance(20)) {
    tail += Junk(random, static_cast<std::size_t>(dice.Pick(1, 200)));
  }
  g.content = head + audio + tail;
  if (dice.Chance(10)) g.content = RiffWave(head + audio) + tail;
  return g;
}

struct RunOutcome {
  std::string out;
  std::map<std::string, Bytes> files;  // every file of the folder afterwards
};

RunOutcome CleanAll(const std::vector<Generated>& inputs, const std::vector<std::string>& switches,
                    const std::map<std::string, Bytes>* start = nullptr) {
  TempDir dir;
  for (const Generated& g : inputs) WriteFile(dir / g.name, start ? start->at(g.name) : g.content);
  std::vector<std::string> args = {"*.mp3"};
  args.insert(args.end(), switches.begin(), switches.end());
  RunOutcome outcome;
  outcome.out = RunScourby(args, dir.path().string()).out;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    outcome.files[entry.path().filename().string()] = ReadFile(entry.path().string());
  }
  return outcome;
}

TEST(Properties, ModesAgreeNothingIsLostAndCleaningIsIdempotent) {
  std::mt19937 random(20261207);
  std::vector<Generated> inputs;
  for (int i = 0; i < 150; ++i) inputs.push_back(Generate(i, random));

  for (const std::vector<std::string>& switches :
       std::vector<std::vector<std::string>>{{"/T", "/F"}, {"/T", "/F", "/P"}, {"/T"}, {"/P"}, {}}) {
    SCOPED_TRACE(::testing::PrintToString(switches));
    const RunOutcome direct = CleanAll(inputs, switches);
    std::vector<std::string> compatSwitches = switches;
    compatSwitches.push_back("/C");
    const RunOutcome compat = CleanAll(inputs, compatSwitches);
    const std::string echoEnd = "Use /? option for help.\r\n";
    EXPECT_EQ(direct.out.substr(direct.out.find(echoEnd)), compat.out.substr(compat.out.find(echoEnd)));
    ASSERT_EQ(direct.files.size(), compat.files.size());
    for (const auto& [name, bytes] : direct.files) {
      ASSERT_TRUE(compat.files.count(name)) << name;
      EXPECT_TRUE(compat.files.at(name) == bytes) << name << " differs between the modes";
    }

    const bool trash = std::find(switches.begin(), switches.end(), "/T") != switches.end();
    const bool noReconstruct = std::find(switches.begin(), switches.end(), "/F") != switches.end();
    const bool keepTag = std::find(switches.begin(), switches.end(), "/P") != switches.end();
    std::map<std::string, Bytes> cleaned;
    for (const Generated& g : inputs) {
      const Bytes& after = direct.files.at(g.name);
      cleaned[g.name] = after;
      EXPECT_NE(direct.out.find(g.name + " - Cleaned "), std::string::npos) << g.name;
      if (trash && noReconstruct) {
        // Every byte is kept or trashed; a kept tag is in both, unless the
        // file had nothing to remove and stays as it was, trash included.
        const std::size_t trashSize =
            direct.files.count(g.name + ".trash") ? direct.files.at(g.name + ".trash").size() : 0;
        const bool unchanged = after == g.content;
        EXPECT_EQ(after.size() + trashSize, g.content.size() + (keepTag && g.validTag && !unchanged ? 128 : 0))
            << g.name;
        if (unchanged) {
          EXPECT_EQ(trashSize, 0u) << g.name;
        }
      }
    }

    // Cleaning the cleaned files again removes nothing and changes nothing,
    // the trash included.
    const RunOutcome again = CleanAll(inputs, switches, &cleaned);
    for (const Generated& g : inputs) {
      EXPECT_NE(again.out.find(g.name + " - Cleaned 0 bytes\r\n"), std::string::npos) << g.name;
      EXPECT_TRUE(again.files.at(g.name) == cleaned.at(g.name)) << g.name;
      EXPECT_FALSE(again.files.count(g.name + ".trash")) << g.name;
    }
  }
}

}  // namespace
}  // namespace scourby::testing

namespace scourby::testing {
namespace {

// Files of several megabytes are read through many fillings of the read
// buffer and their kept frames written in long runs: the modes still agree,
// and the result is exactly the frames, with everything else in the trash
// in file order.
TEST(Properties, LargeFilesCleanToExactlyTheirFrames) {
  std::mt19937 random(7);
  std::vector<Generated> inputs;
  std::map<std::string, Bytes> expectedClean, expectedTrash;
  for (int index = 0; index < 4; ++index) {
    Generated g;
    g.name = "big" + std::to_string(index) + ".mp3";
    Bytes frames, trash;
    const Bytes head = index % 2 == 0 ? Id3v2Tag(static_cast<std::uint32_t>(100000 + random() % 400000)) : "";
    trash += head;
    // A pool of frames, so building megabytes stays quick.
    std::vector<Bytes> pool;
    for (int seed = 0; seed < 16; ++seed) pool.push_back(Frame(0xFB, 0x90, 0x64, seed));
    Bytes body;
    const std::size_t target = (index + 1) * 2500000;
    while (body.size() < target) {
      if (index == 3 && random() % 500 == 0) {
        const Bytes junk = Junk(random, 1 + random() % 300);
        body += junk;
        trash += junk;
      }
      const Bytes& frame = pool[random() % pool.size()];
      body += frame;
      frames += frame;
    }
    const Bytes tail = Id3v1Tag("Big " + std::to_string(index));
    trash += tail;
    g.content = head + body + tail;
    expectedClean[g.name] = frames;
    expectedTrash[g.name] = trash;
    inputs.push_back(g);
  }
  for (const char* mode : {"", "/C"}) {
    std::vector<std::string> switches = {"/T"};
    if (*mode) switches.push_back(mode);
    const RunOutcome outcome = CleanAll(inputs, switches);
    for (const Generated& g : inputs) {
      EXPECT_TRUE(outcome.files.at(g.name) == expectedClean.at(g.name)) << g.name << " " << mode;
      EXPECT_TRUE(outcome.files.at(g.name + ".trash") == expectedTrash.at(g.name)) << g.name << " " << mode;
      EXPECT_NE(outcome.out.find(g.name + " - Cleaned " + std::to_string(expectedTrash.at(g.name).size()) + " bytes"),
                std::string::npos)
          << outcome.out;
    }
  }
}

}  // namespace
}  // namespace scourby::testing

namespace scourby::testing {
namespace {

// A part that can be joined to another: its stream begins and ends with
// three frames in a row, and a Xing count it carries is exact. A frame is
// confirmed by what lies up to two frames ahead, so with these ends what
// confirms any of its frames lies inside the part, joined or alone. In
// between: junk, stranded frames and pictures.
struct JoinablePart {
  Bytes bytes;
  std::size_t streamAt = 0;     // where its first frame begins
  std::size_t xingSize = 0;     // the length of its Xing frame, 0 without one
  std::size_t xingCountAt = 0;  // where the Xing frame holds its count
};

JoinablePart MakeJoinablePart(std::mt19937& random) {
  static const std::uint8_t kHeaders[][3] = {
      {0xFB, 0x90, 0x64}, {0xF3, 0x84, 0xC4}, {0xE3, 0x18, 0xC4}, {0xFD, 0xA4, 0x00}, {0xFB, 0xE4, 0xC4}};
  const Dice dice{random};
  const auto& h = kHeaders[random() % std::size(kHeaders)];
  JoinablePart part;
  Bytes& bytes = part.bytes;
  if (dice.Chance(40)) bytes += Id3v2Tag(static_cast<std::uint32_t>(dice.Pick(0, 3000)));
  if (dice.Chance(30)) bytes += Id3v2PictureTag(static_cast<std::uint32_t>(dice.Pick(1000, 90000)), dice.Pick(0, 99));
  // A stream behind junk is taken when 8 frames follow one another.
  const bool headJunk = dice.Chance(20);
  if (headJunk) bytes += Junk(random, static_cast<std::size_t>(dice.Pick(1, 200)));
  const int count = dice.Pick(headJunk ? 8 : 6, 30);
  part.streamAt = bytes.size();
  if (dice.Chance(30)) {
    const Bytes xing = XingFrameOf(h, static_cast<std::uint32_t>(count));
    part.xingSize = xing.size();
    part.xingCountAt = XingOffsetOf(h) + 8;
    bytes += xing;
  }
  for (int i = 0; i < count; ++i) {
    if (i >= (headJunk ? 8 : 3) && i + 3 <= count && dice.Chance(10)) {
      bytes += dice.Chance(50) ? Junk(random, static_cast<std::size_t>(dice.Pick(1, 300)))
                               : "JUNK" + Frame(h[0], h[1], h[2], 7) + "JUNK";
      if (dice.Chance(20)) bytes += Picture(static_cast<std::size_t>(dice.Pick(100, 20000)), dice.Pick(0, 99));
    }
    bytes += Frame(h[0], h[1], h[2], dice.Pick(0, 50));
  }
  return part;
}

// Two parts joined clean to the parts cleaned one by one and joined, as one
// stream: the second part's Xing frame goes to the trash in its place, and
// the first part's Xing count (the only field its header holds) counts the
// frames that follow it.
TEST(Properties, JoinedStreamsCleanToTheirPartsCleanedAndJoined) {
  std::mt19937 random(42);
  std::vector<Generated> inputs;
  struct Pair {
    std::string n;
    JoinablePart a, b;
  };
  std::vector<Pair> pairs;
  for (int i = 0; i < 40; ++i) {
    Pair pair{std::to_string(i), MakeJoinablePart(random), MakeJoinablePart(random)};
    inputs.push_back({"a" + pair.n + ".mp3", pair.a.bytes});
    inputs.push_back({"b" + pair.n + ".mp3", pair.b.bytes});
    inputs.push_back({"ab" + pair.n + ".mp3", pair.a.bytes + pair.b.bytes});
    pairs.push_back(pair);
  }
  for (const char* mode : {"/T", "/TC"}) {
    const RunOutcome outcome = CleanAll(inputs, {mode});
    auto file = [&](const std::string& name) { return outcome.files.count(name) ? outcome.files.at(name) : Bytes(); };
    for (const auto& [n, a, b] : pairs) {
      SCOPED_TRACE("ab" + n + " " + mode);
      const Bytes cleanedA = file("a" + n + ".mp3"), cleanedB = file("b" + n + ".mp3");
      Bytes expected = cleanedA + cleanedB.substr(b.xingSize);
      if (a.xingSize != 0) expected.replace(a.xingCountAt, 4, Be32(FrameCount(expected) - 1));
      EXPECT_TRUE(file("ab" + n + ".mp3") == expected);
      // What lies before b's stream, b's Xing frame, the rest of b's trash.
      const Bytes trashB = file("b" + n + ".mp3.trash");
      const Bytes expectedTrash = file("a" + n + ".mp3.trash") + trashB.substr(0, b.streamAt) +
                                  b.bytes.substr(b.streamAt, b.xingSize) +
                                  trashB.substr(std::min(b.streamAt, trashB.size()));
      EXPECT_TRUE(file("ab" + n + ".mp3.trash") == expectedTrash);
    }
  }
}

}  // namespace
}  // namespace scourby::testing
