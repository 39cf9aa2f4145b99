// What a pass prints: the verbose lines, and the final line of each outcome,
// from one table. The file's path is printed first, without a line end, so
// that the final line completes it.
#pragma once

#include <cstdint>
#include <string>

#include "clean/clean_file.h"
#include "clean/piece_log.h"
#include "mpeg/frame_search.h"

namespace scourby {

// Verbose: the first frame's version, layer and offset, and its Xing count.
void PrintFirstFrame(const FrameHeader& header, const XingInfo& xing, std::int64_t offset);

// Verbose, each frame: a progress line that overwrites the one before.
void PrintProgress(std::uint32_t frameCount, const FrameHeader& header);

// Verbose, after the frames: the bytes read and the bytes kept.
void PrintSummary(std::int64_t bytesRead, std::int64_t bytesKept);

// A trash file that failed, named in the middle of a pass that goes on.
void PrintTrashFailure(const std::string& trashPath);

// Verbose, after a failure's line: why it failed, when the system said.
void PrintReason(const platform::Error& reason);

// What became of the VBR header, for /L: rewritten or added (of `added`
// bytes) at or in front of the first kept frame, at frameAt in the file as
// it was read.
struct HeaderChange {
  bool rewrote = false;
  std::int64_t added = 0;
  std::int64_t frameAt = 0;
};

// /L: one line per removed piece, in file order, then one per frame the
// reconstructor cleared, then the VBR header's rewrite or addition; right
// before the file's last line. A path's line that is still open (no line
// printed since the path) ends first. Pieces that could not be read back
// end the list with " ! Could not list what is removed" (verbose: and
// why); false then.
bool PrintListed(Listing& listing, const HeaderChange& header, bool pathLineOpen, bool verbose);

// The line that ends the file's report; empty for a cancelled pass, which
// prints nothing more.
std::string FinalLine(const CleanResult& result);

}  // namespace scourby
