#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/run.h"
#include "platform/console.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments;
  if (const auto commandLine = scourby::platform::RawCommandLine()) {
    arguments = scourby::SplitCommandLine(scourby::CommandTail(*commandLine));
  } else {
    // The shell has split and unquoted the line already: take each
    // non-empty argument as it is.
    for (int i = 1; i < argc; ++i) {
      if (argv[i][0] != '\0') arguments.emplace_back(argv[i]);
    }
  }
  return scourby::Main(arguments);
}
