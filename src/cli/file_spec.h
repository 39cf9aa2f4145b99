// The walk over one file specification: matching files, then sub-folders.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "clean/run_state.h"

namespace scourby {

// The path up to and including its last separator (on Windows a backslash, "/"
// or a drive's ":"); empty without one.
std::string FolderOf(std::string_view path);

// The path after its last separator; the whole path without one.
std::string NameOf(std::string_view path);

// The bare names of the files (or, with folders, the folders) that match
// mask, hidden and system entries left out, "." and ".." too; in the order
// of the directory search. A mask ending in a separator lists every entry.
std::vector<std::string> ListEntries(std::string_view mask, bool folders);

// Cleans every file that matches spec (and, with recurse, every file of the
// same name pattern in the sub-folders, depth first), stopping after the
// entry in progress once BreakRequested is set. A listing (a wildcard, or a
// folder) passes over the program's own files beside a file of the folder:
// "name.bak", "name.trash" and "name.clean" (any letter case) where "name"
// is there. Counts in totals a specification that matched no file, and a
// walk that a break ended with entries left.
void ProcessFileSpec(const std::string& spec, const Options& options, RunTotals& totals);

}  // namespace scourby
