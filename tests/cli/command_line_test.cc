#include "cli/command_line.h"

#include <gtest/gtest.h>

namespace scourby {
namespace {

using Args = std::vector<std::string>;

TEST(SplitCommandLine, SplitsOnBlanksAndHonoursQuotesAnywhere) {
  const struct {
    const char* tail;
    Args expected;
  } cases[] = {
      {"", {}},
      {"    ", {}},
      {"\"\"", {}},
      {"\"\" \"\"\"\"", {}},
      {"a.mp3 /T", {"a.mp3", "/T"}},
      {"  a.mp3    b.mp3  ", {"a.mp3", "b.mp3"}},
      {"\"d:\\my mp3z\\*.mp3\" /t", {"d:\\my mp3z\\*.mp3", "/t"}},
      {"d:\\\"my mp3z\"\\a.mp3", {"d:\\my mp3z\\a.mp3"}},
      {"a\tb c", {"a\tb", "c"}},
      {"\"open quote runs to the end", {"open quote runs to the end"}},
      {"x\"\"y", {"xy"}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitCommandLine(c.tail), c.expected) << c.tail;
}

TEST(CommandTail, DropsProgramNameAndFollowingBlanks) {
  EXPECT_EQ(CommandTail("scourby.exe  a.mp3 /T"), "a.mp3 /T");
  EXPECT_EQ(CommandTail("\"c:\\program files\\scourby.exe\" \"a b.mp3\""), "\"a b.mp3\"");
  EXPECT_EQ(CommandTail("\"c:\\x y\\scourby.exe\"/V"), "/V");
  EXPECT_EQ(CommandTail("scourby"), "");
  EXPECT_EQ(CommandTail("scourby\t/V"), "\t/V");  // a tab is part of neither
}

TEST(FileSpecList, BarSplitsSpecificationsAndListIsConsumedFromTheFront) {
  FileSpecList list;
  EXPECT_TRUE(list.Empty());
  list.Append("a.mp3|b.mp3");
  list.Append("c.mp3");
  std::vector<std::string> taken;
  while (!list.Empty()) taken.push_back(list.TakeNext());
  EXPECT_EQ(taken, (Args{"a.mp3", "b.mp3", "c.mp3"}));
}

ParsedArguments Parse(const Args& args, bool slashIsAlwaysSwitch = false) {
  return ParseArguments(args, slashIsAlwaysSwitch);
}

// Each letter sets its own flag and no other, in either case; letters
// combine behind any prefix.
TEST(ParseArguments, SwitchLettersSetOptions) {
  using Flag = std::int32_t Options::*;
  const std::pair<char, Flag> letters[] = {
      {'v', &Options::verbose},       {'b', &Options::backup},        {'t', &Options::saveTrash},
      {'f', &Options::noReconstruct}, {'c', &Options::compatibility}, {'s', &Options::recurse},
      {'p', &Options::keepId3v1},     {'d', &Options::keepTimestamp}, {'n', &Options::dryRun},
      {'l', &Options::listRemoved},   {'e', &Options::exitStatus},
  };
  for (const auto& [letter, flag] : letters) {
    for (const char typed : {letter, static_cast<char>(letter - 'a' + 'A')}) {
      const auto parsed = Parse({"a.mp3", std::string("/") + typed});
      ASSERT_EQ(parsed.action, ParsedArguments::Action::kRun) << typed;
      for (const auto& [other, otherFlag] : letters) {
        EXPECT_EQ(parsed.options.*otherFlag, other == letter ? 1 : 0) << typed << " sets " << other;
      }
    }
  }
  const auto all = Parse({"a.mp3", "/vB", "--t", "-F", "/cspdNLe"});
  for (const auto& [letter, flag] : letters) EXPECT_EQ(all.options.*flag, 1) << letter;
}

TEST(ParseArguments, HelpAndInvalidSwitches) {
  using A = ParsedArguments::Action;
  const struct {
    Args args;
    A action;
    const char* invalid;
  } cases[] = {
      {{}, A::kHelp, ""},
      {{"/?"}, A::kHelp, ""},
      {{"-H"}, A::kHelp, ""},
      {{"--h"}, A::kHelp, ""},
      {{"a.mp3", "/?"}, A::kHelp, ""},
      {{"/?", "/x"}, A::kInvalidSwitch, "/x"},
      {{"/vx", "a.mp3"}, A::kInvalidSwitch, "/vx"},
      {{"---v"}, A::kInvalidSwitch, "---v"},
      {{"-x.mp3"}, A::kInvalidSwitch, "-x.mp3"},
      {{"/", "-", "--"}, A::kRun, ""},
  };
  for (const auto& c : cases) {
    const auto parsed = Parse(c.args);
    EXPECT_EQ(parsed.action, c.action) << ::testing::PrintToString(c.args);
    EXPECT_EQ(parsed.invalidSwitch, c.invalid);
  }
}

TEST(ParseArguments, LoneSwitchPrefixesAreNeitherSwitchNorSpecification) {
  auto parsed = Parse({"/", "a.mp3", "-", "--"});
  EXPECT_EQ(parsed.specs.TakeNext(), "a.mp3");
  EXPECT_TRUE(parsed.specs.Empty());
}

// After a lone "--" every argument is a specification, whatever it begins
// with; the switches before it count.
TEST(ParseArguments, ALoneDoubleDashEndsTheSwitches) {
  for (const bool slashIsAlwaysSwitch : {false, true}) {
    auto parsed = Parse({"/T", "--", "-x.mp3", "/V", "--help", "--version", "--"}, slashIsAlwaysSwitch);
    EXPECT_EQ(parsed.action, ParsedArguments::Action::kRun);
    EXPECT_EQ(parsed.options.saveTrash, 1);
    EXPECT_EQ(parsed.options.verbose, 0);
    std::vector<std::string> specs;
    while (!parsed.specs.Empty()) specs.push_back(parsed.specs.TakeNext());
    EXPECT_EQ(specs, (Args{"-x.mp3", "/V", "--help", "--version", "--"}));
  }
}

TEST(ParseArguments, SlashStartsASwitchOnlyWithoutAnotherSlashUnlessAlwaysSwitch) {
  auto posix = Parse({"/home/me/a.mp3", "//a.mp3", "/music/", "/T"});
  EXPECT_EQ(posix.action, ParsedArguments::Action::kRun);
  EXPECT_EQ(posix.options.saveTrash, 1);
  EXPECT_EQ(posix.specs.TakeNext(), "/home/me/a.mp3");
  EXPECT_EQ(posix.specs.TakeNext(), "//a.mp3");
  EXPECT_EQ(posix.specs.TakeNext(), "/music/");

  auto windows = Parse({"/home/me"}, true);
  EXPECT_EQ(windows.action, ParsedArguments::Action::kInvalidSwitch);
}

TEST(ParseArguments, BackupDoesNotForceCompatibilityHere) { EXPECT_EQ(Parse({"/b"}).options.compatibility, 0); }

}  // namespace
}  // namespace scourby
