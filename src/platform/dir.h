// Directory search: the entries of one folder that match a name pattern, and
// the attribute bits of a path.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scourby::platform {

// The path separator this platform's paths are built with.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Where a path given by the user may be cut into its folder and its name.
// Windows also takes "/" as a separator and a drive's colon ("d:*.mp3"), so
// the folder part of every such path is kept on the paths of its entries.
#ifdef _WIN32
inline constexpr std::string_view kFolderEnds = "\\/:";
#else
inline constexpr std::string_view kFolderEnds = "/";
#endif

// Attribute bits as the directory search reports them.
inline constexpr std::uint32_t kAttributeHidden = 0x2;
inline constexpr std::uint32_t kAttributeSystem = 0x4;
inline constexpr std::uint32_t kAttributeDirectory = 0x10;

struct DirEntry {
  std::string name;  // bare name, no folder part
  std::uint32_t attributes = 0;
};

// FindFirstFileW / FindNextFileW / FindClose on mask: a folder part and a
// name pattern in which * stands for any run of characters and ? for exactly
// one, letters compared without regard to case, "*.*" matching every name.
// Returns every matching entry, "." and ".." included where the system lists
// them, in the system's order (Windows: as the search delivers them; POSIX:
// sorted by name, byte order). Nothing found, or no such folder: empty.
//
// POSIX: a name beginning with "." is hidden; an entry that is neither a
// regular file nor a folder (FIFO, socket, device) is a system entry; links
// count as what they point to, and a link whose target cannot be reached is
// listed as a plain file.
std::vector<DirEntry> FindEntries(const std::string& mask);

// Whether path names a regular file (a link counts as what it leads to).
// Names compare as the file system compares them: on Windows without regard
// to case, on POSIX file systems byte for byte.
bool HoldsFile(const std::string& path);

// An identity for a folder (POSIX: device and inode), so that a walk can
// notice a folder it is already inside (a link cycle). nullopt when the
// platform has none to offer or the folder cannot be read.
struct FolderIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FolderIdentity&) const = default;
};
std::optional<FolderIdentity> IdentifyFolder(const std::string& path);

}  // namespace scourby::platform
