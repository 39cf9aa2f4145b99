#include "cli/file_spec.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "clean/clean_file.h"
#include "clean/run_state.h"
#include "platform/console.h"
#include "platform/dir.h"

namespace scourby {
namespace {

using platform::kPathSeparator;

// A drive letter and colon name a folder on Windows too.
bool EndsInSeparator(std::string_view mask) {
  return !mask.empty() && platform::kFolderEnds.find(mask.back()) != std::string_view::npos;
}

// The endings of the program's own files beside a file: its backup, its
// trash and a ".clean" that a stopped run left.
constexpr std::string_view kOwnEndings[] = {".bak", ".trash", ".clean"};

bool EndsWithIgnoringCase(std::string_view name, std::string_view ending) {
  if (name.size() < ending.size()) return false;
  const std::string_view tail = name.substr(name.size() - ending.size());
  return std::equal(tail.begin(), tail.end(), ending.begin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
}

// Whether name is one of the program's own files (any letter case) beside a
// file of the folder: the backup of an original, say, which a listing
// passes over so that a second run does not clean it.
bool IsOwnFileBeside(const std::string& folder, std::string_view name) {
  for (const std::string_view ending : kOwnEndings) {
    if (name.size() > ending.size() && EndsWithIgnoringCase(name, ending) &&
        platform::HoldsFile(folder + std::string(name.substr(0, name.size() - ending.size())))) {
      return true;
    }
  }
  return false;
}

// The walk of one folder; chain holds the folders being walked above it, so
// that a link back up the chain is not followed round and round. matched
// counts the files handed to the pass.
void Walk(const std::string& spec, const Options& options, RunTotals& totals,
          std::vector<platform::FolderIdentity>& chain, std::int64_t& matched) {
  const std::string folder = FolderOf(spec);
  const std::string pattern = NameOf(spec);
  // A wildcard or a folder lists; a name without one names its file whole.
  const bool listing = pattern.empty() || pattern.find_first_of("*?") != std::string::npos;

  const std::optional<platform::FolderIdentity> identity = platform::IdentifyFolder(folder);
  if (identity) {
    for (const platform::FolderIdentity& above : chain) {
      if (above == *identity) return;
    }
  }

  // Both listings are complete before the first file is cleaned, so the
  // files the pass creates are never picked up by this walk.
  std::vector<std::string> entries;
  for (const std::string& name : ListEntries(spec, false)) {
    if (listing && IsOwnFileBeside(folder, name)) continue;
    entries.push_back(folder + name);
  }
  if (options.recurse) {
    for (const std::string& name : ListEntries(folder + "*.*", true)) entries.push_back(folder + name + kPathSeparator);
  }

  if (identity) chain.push_back(*identity);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string& entry = entries[i];
    if (entry.back() == kPathSeparator) {
      Walk(entry + pattern, options, totals, chain, matched);
    } else {
      ++matched;
      CleanFile(entry, options, totals);
    }
    if (BreakRequested.load()) {
      if (i + 1 < entries.size()) totals.stoppedEarly = true;
      break;
    }
  }
  if (identity) chain.pop_back();
}

}  // namespace

std::string FolderOf(std::string_view path) {
  const std::size_t cut = path.find_last_of(platform::kFolderEnds);
  return cut == std::string_view::npos ? std::string() : std::string(path.substr(0, cut + 1));
}

std::string NameOf(std::string_view path) {
  const std::size_t cut = path.find_last_of(platform::kFolderEnds);
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

std::vector<std::string> ListEntries(std::string_view mask, bool folders) {
  std::vector<std::string> names;
  if (mask.empty()) return names;
  std::string search(mask);
  if (EndsInSeparator(search)) search += "*.*";
  for (platform::DirEntry& entry : platform::FindEntries(search)) {
    if (entry.attributes & (platform::kAttributeHidden | platform::kAttributeSystem)) continue;
    if (((entry.attributes & platform::kAttributeDirectory) != 0) != folders) continue;
    if (entry.name == "." || entry.name == "..") continue;
    names.push_back(std::move(entry.name));
  }
  return names;
}

void ProcessFileSpec(const std::string& spec, const Options& options, RunTotals& totals) {
  if (spec.empty()) return;
  // A folder named without a separator (and without a wildcard) is that
  // folder: its files, and with /S its sub-folders.
  std::string walked = spec;
  if (spec.find_first_of("*?") == std::string::npos && !EndsInSeparator(spec) && platform::IdentifyFolder(spec)) {
    walked += kPathSeparator;
  }
  std::vector<platform::FolderIdentity> chain;
  std::int64_t matched = 0;
  Walk(walked, options, totals, chain, matched);
  // A mistyped name gets an answer, once its walk is done.
  if (matched == 0 && !(BreakRequested.load() && totals.stoppedEarly)) {
    ++totals.specsUnmatched;
    platform::WriteStdoutLine(spec + "...No file found!");
  }
}

}  // namespace scourby
