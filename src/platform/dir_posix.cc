#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/dir.h"
#include "platform/wildcard.h"

namespace scourby::platform {
namespace {

std::uint32_t AttributesOf(const std::string& name, const struct stat& st) {
  std::uint32_t attributes = 0;
  if (!name.empty() && name[0] == '.') attributes |= kAttributeHidden;
  if (S_ISDIR(st.st_mode)) {
    attributes |= kAttributeDirectory;
  } else if (!S_ISREG(st.st_mode)) {
    attributes |= kAttributeSystem;
  }
  return attributes;
}

}  // namespace

std::vector<DirEntry> FindEntries(const std::string& mask) {
  std::vector<DirEntry> entries;
  const std::size_t cut = mask.rfind(kPathSeparator);
  const std::string folder = cut == std::string::npos ? "." : mask.substr(0, cut + 1);
  const std::string pattern = cut == std::string::npos ? mask : mask.substr(cut + 1);

  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return entries;
  const int dirFd = ::dirfd(dir);
  while (const dirent* item = ::readdir(dir)) {
    const std::string name = item->d_name;
    if (!WildcardMatch(pattern, name)) continue;
    DirEntry entry{name, 0};
    // The listing tells plain files and folders apart by itself; links and
    // entries of unknown type are looked up.
    if (item->d_type == DT_REG || item->d_type == DT_DIR) {
      entry.attributes = (name[0] == '.' ? kAttributeHidden : 0) | (item->d_type == DT_DIR ? kAttributeDirectory : 0);
      entries.push_back(std::move(entry));
      continue;
    }
    struct stat st;
    if (::fstatat(dirFd, name.c_str(), &st, 0) == 0) {
      entry.attributes = AttributesOf(name, st);
    } else if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
      // A link whose target cannot be reached: a plain file that will not open.
      entry.attributes = name[0] == '.' ? kAttributeHidden : 0;
    } else {
      continue;  // gone since the listing began
    }
    entries.push_back(std::move(entry));
  }
  ::closedir(dir);
  std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  return entries;
}

bool HoldsFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<FolderIdentity> IdentifyFolder(const std::string& path) {
  struct stat st;
  if (::stat(path.empty() ? "." : path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
  return FolderIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

}  // namespace scourby::platform
