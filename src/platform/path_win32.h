// Windows paths as the wide-character calls take them. The program holds
// paths in the ANSI code page (UTF-8 under its manifest); the ANSI calls
// stop at 260 characters unless the system allows long paths by policy,
// while the wide calls take a "\\?\" path of any length the file system
// allows. For the Win32 files of the platform layer only.
#pragma once

#include <string>

namespace scourby::platform {

// path in wide characters; made absolute behind "\\?\" ("\\?\UNC\" for a
// share) when it is too long for the plain form.
std::wstring SystemPath(const std::string& path);

// A name or path the system gave in wide characters, in the ANSI code page.
std::string FromSystem(const std::wstring& text);

}  // namespace scourby::platform
