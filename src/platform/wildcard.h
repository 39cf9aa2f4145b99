// Name matching for platforms whose directory search takes no pattern.
#pragma once

#include <string_view>

namespace scourby::platform {

// True when name matches pattern: * is any run of characters (the empty run
// included), ? exactly one character, ASCII letters compare without regard to
// case, and the pattern "*.*" matches every name, as on Windows.
bool WildcardMatch(std::string_view pattern, std::string_view name);

}  // namespace scourby::platform
