// From the command line to switches and file specifications.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "clean/run_state.h"

namespace scourby {

// The command line less the program name and the blanks after it. The name
// is a leading double-quoted string (up to and including the next quote) or
// the leading run of characters above 0x20.
std::string CommandTail(std::string_view commandLine);

// Splits a command tail into its non-empty arguments: blanks (0x20) outside
// quotes separate, a double quote toggles quoting anywhere in an argument
// and is dropped, every other character (the tab included) is kept.
std::vector<std::string> SplitCommandLine(std::string_view tail);

// The specifications, joined by "|" and consumed from the front, so that a
// "|" inside an argument splits it too.
class FileSpecList {
 public:
  void Append(std::string_view spec);
  bool Empty() const { return text_.empty(); }
  // Takes the text before the first "|" (all of it when there is none).
  std::string TakeNext();

 private:
  std::string text_;
};

// What the arguments ask for.
struct ParsedArguments {
  enum class Action { kRun, kHelp, kVersion, kInvalidSwitch };
  Action action = Action::kRun;
  std::string invalidSwitch;  // the whole argument, with kInvalidSwitch
  Options options;
  FileSpecList specs;
};

// Sorts the arguments into switches and specifications. A switch begins
// with "--", "-" or "/"; "/" makes a switch only when slashIsAlwaysSwitch
// (Windows) or when the argument holds no other "/" (POSIX, where "/" also
// starts absolute paths). A lone "--" ends the switches: every argument
// after it is a specification. The whole arguments "--help" and
// "--version" (in any letter case) are a help request, and a request for the
// banner alone that ends the run at once, as an invalid switch does. An
// empty list is a help request. backup does not force compatibility here.
// With an invalid switch, options holds the letters read before it, and
// exitStatus when any switch argument (before a lone "--") holds an e.
ParsedArguments ParseArguments(const std::vector<std::string>& arguments, bool slashIsAlwaysSwitch);

}  // namespace scourby
