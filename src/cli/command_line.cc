#include "cli/command_line.h"

#include <algorithm>
#include <cctype>

namespace scourby {

std::string CommandTail(std::string_view commandLine) {
  std::size_t i = 0;
  if (!commandLine.empty() && commandLine[0] == '"') {
    const std::size_t close = commandLine.find('"', 1);
    i = close == std::string_view::npos ? commandLine.size() : close + 1;
  } else {
    while (i < commandLine.size() && static_cast<unsigned char>(commandLine[i]) > 0x20) ++i;
  }
  while (i < commandLine.size() && commandLine[i] == ' ') ++i;
  return std::string(commandLine.substr(i));
}

std::vector<std::string> SplitCommandLine(std::string_view tail) {
  std::vector<std::string> arguments;
  std::string current;
  bool quoting = false;
  for (const char c : tail) {
    if (c == ' ' && !quoting) {
      if (!current.empty()) arguments.push_back(std::move(current));
      current.clear();
    } else if (c == '"') {
      quoting = !quoting;
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) arguments.push_back(std::move(current));
  return arguments;
}

void FileSpecList::Append(std::string_view spec) {
  if (!text_.empty()) text_.push_back('|');
  text_.append(spec);
}

std::string FileSpecList::TakeNext() {
  const std::size_t bar = text_.find('|');
  std::string next;
  if (bar == std::string::npos) {
    next = std::move(text_);
    text_.clear();
  } else {
    next = text_.substr(0, bar);
    text_.erase(0, bar + 1);
  }
  return next;
}

namespace {

// The letters of a switch, or false when the argument is a specification.
bool SwitchLetters(const std::string& argument, bool slashIsAlwaysSwitch, std::string_view& letters) {
  const std::string_view arg = argument;
  if (arg.starts_with("--")) {
    letters = arg.substr(2);
    return true;
  }
  if (arg.starts_with("-")) {
    letters = arg.substr(1);
    return true;
  }
  if (arg.starts_with("/") && (slashIsAlwaysSwitch || arg.find('/', 1) == std::string_view::npos)) {
    letters = arg.substr(1);
    return true;
  }
  return false;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// Whether a switch argument from index on, before a lone "--", holds the
// letter e (in any case).
bool AnySwitchHoldsE(const std::vector<std::string>& arguments, std::size_t index, bool slashIsAlwaysSwitch) {
  for (; index < arguments.size() && arguments[index] != "--"; ++index) {
    std::string_view letters;
    if (SameIgnoringCase(arguments[index], "--help") || SameIgnoringCase(arguments[index], "--version") ||
        !SwitchLetters(arguments[index], slashIsAlwaysSwitch, letters)) {
      continue;
    }
    if (letters.find_first_of("eE") != std::string_view::npos) return true;
  }
  return false;
}

}  // namespace

ParsedArguments ParseArguments(const std::vector<std::string>& arguments, bool slashIsAlwaysSwitch) {
  ParsedArguments parsed;
  if (arguments.empty()) {
    parsed.action = ParsedArguments::Action::kHelp;
    return parsed;
  }
  bool help = false;
  bool switchesEnded = false;
  Options& o = parsed.options;
  for (std::size_t index = 0; index < arguments.size(); ++index) {
    const std::string& argument = arguments[index];
    if (switchesEnded) {
      parsed.specs.Append(argument);
      continue;
    }
    // A lone "--" ends the switches: a name that begins with "-" or "/"
    // after it is a specification.
    if (argument == "--") {
      switchesEnded = true;
      continue;
    }
    if (SameIgnoringCase(argument, "--help")) {
      help = true;
      continue;
    }
    if (SameIgnoringCase(argument, "--version")) {
      parsed.action = ParsedArguments::Action::kVersion;
      return parsed;
    }
    std::string_view letters;
    if (!SwitchLetters(argument, slashIsAlwaysSwitch, letters)) {
      parsed.specs.Append(argument);
      continue;
    }
    for (char letter : letters) {
      if (letter >= 'A' && letter <= 'Z') letter = static_cast<char>(letter - 'A' + 'a');
      switch (letter) {
        case '?':
        case 'h': help = true; break;
        case 'v': o.verbose = 1; break;
        case 'b': o.backup = 1; break;
        case 't': o.saveTrash = 1; break;
        case 'f': o.noReconstruct = 1; break;
        case 'c': o.compatibility = 1; break;
        case 's': o.recurse = 1; break;
        case 'p': o.keepId3v1 = 1; break;
        case 'd': o.keepTimestamp = 1; break;
        case 'n': o.dryRun = 1; break;
        case 'l': o.listRemoved = 1; break;
        case 'e': o.exitStatus = 1; break;
        case 'k': o.keepTags = 1; break;
        default:
          parsed.action = ParsedArguments::Action::kInvalidSwitch;
          parsed.invalidSwitch = argument;
          // /E anywhere among the switches asks for the exit code that
          // tells of the invalid one.
          if (AnySwitchHoldsE(arguments, index, slashIsAlwaysSwitch)) o.exitStatus = 1;
          return parsed;
      }
    }
  }
  if (help) parsed.action = ParsedArguments::Action::kHelp;
  return parsed;
}

}  // namespace scourby
