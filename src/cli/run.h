// The program: banner, switches, the walk over every specification, summary.
#pragma once

#include <string>
#include <vector>

namespace scourby {

// Runs the program on its arguments (already split) and returns the exit
// code, which is always 0.
int Main(const std::vector<std::string>& arguments);

}  // namespace scourby
