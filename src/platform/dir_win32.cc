#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "platform/dir.h"
#include "platform/path_win32.h"

namespace scourby::platform {

std::vector<DirEntry> FindEntries(const std::string& mask) {
  std::vector<DirEntry> entries;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(SystemPath(mask).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return entries;
  do {
    entries.push_back(DirEntry{FromSystem(found.cFileName), static_cast<std::uint32_t>(found.dwFileAttributes)});
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return entries;
}

bool HoldsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The volume serial number and file index: the same folder reached through
// a junction or a folder link gives the same identity.
std::optional<FolderIdentity> IdentifyFolder(const std::string& path) {
  const HANDLE folder = CreateFileW(SystemPath(path.empty() ? "." : path).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info;
  const bool known = GetFileInformationByHandle(folder, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  CloseHandle(folder);
  if (!known) return std::nullopt;
  return FolderIdentity{info.dwVolumeSerialNumber,
                        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

}  // namespace scourby::platform
