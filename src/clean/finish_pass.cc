#include "clean/finish_pass.h"

#include <algorithm>
#include <limits>

#include "clean/appended_bytes.h"
#include "clean/header_room.h"
#include "clean/pass_lines.h"
#include "clean/shift_bytes.h"

namespace scourby {
namespace {

using Outcome = CleanResult::Outcome;
using platform::Reader;

// Puts the stream's header frame in place in the cleaned data, which `file`
// holds up to end: makes room in front of the kept frames for a frame to be
// added that no room was left for (growing the file by what it needs,
// first), or takes back room left for one that is not wanted after all;
// then writes the header frame, added or made true, reading back what it
// needs. room: how far the cleaned data may reach without making the file
// longer than it may be (no frame is added that needs more). False when the
// file could not be read or written.
bool PlaceHeader(Pass& pass, platform::File& file, std::int64_t& end, std::int64_t room) {
  VbrHeaderUpdate& vbr = pass.sink->vbrHeader();
  const std::int64_t headerAt = pass.sink->streamAt();
  std::int64_t by = vbr.Adds() - pass.header.roomAhead;
  if (by > 0 && end + by > room) {
    vbr.DoNotAdd();
    by = -pass.header.roomAhead;
  }
  if (by != 0) {
    const std::span<const std::uint8_t> zeros = HeaderRoom(by);
    if (by > 0 && !file.WriteAt(end, zeros.data(), zeros.size())) return false;
    if (!ShiftBytes(file, headerAt + pass.header.roomAhead, end, by)) return false;
    end += by;
  }
  if (!pass.header.rewrites && vbr.Adds() == 0) return true;
  Reader cleaned(file);
  const std::optional<VbrHeaderUpdate::HeaderFrame> frame = vbr.MakeTrue(cleaned, headerAt);
  if (!frame) return !vbr.Failed();
  pass.header.added = vbr.Adds();
  pass.header.rewrote = pass.header.added == 0;
  return file.WriteAt(frame->at, frame->bytes.data(), frame->bytes.size());
}

// A file with nothing to remove, or a dry run: nothing on disk changes, no
// write, no cut, no rename, no ".bak", and no time is set (reading moved
// none). It counts as cleaned of what a real run would remove (0 bytes for a
// file with nothing to remove).
bool LeaveAsItWas(Pass& pass) {
  // What the walk gave the trash lies in the tags that stay in the file: no
  // removed byte.
  if (pass.unchanged) {
    pass.trash.Discard();
    pass.result.bytesKept = pass.result.bytesRead;
  } else if (pass.keepTag()) {
    pass.result.bytesKept += kId3v1Size;
  }
  // A dry run tells the header as the real run would write it.
  VbrHeaderUpdate& vbr = pass.sink->vbrHeader();
  pass.header.added = vbr.Adds();
  pass.header.rewrote = pass.header.added == 0 && pass.header.rewrites && vbr.WouldChange();
  if (pass.options.verbose) PrintSummary(pass.result.bytesRead, pass.result.bytesKept);
  pass.clean.Discard();  // compatibility mode: the empty ".clean" goes
  pass.input.Close();
  return true;
}

}  // namespace

bool FinishInPlace(Pass& pass) {
  if (pass.unchanged || pass.options.dryRun) return LeaveAsItWas(pass);
  // The pass has begun to rewrite the file: without the trash it goes on.
  if (!pass.trash.Flush()) pass.trash.ShowFailure(pass.options.verbose != 0);
  Reader& input = *pass.reader;
  InPlaceWriter& writer = pass.sink->kept().writer();
  CleanResult& result = pass.result;
  if (pass.keepTag()) writer.Write(input, pass.keptTag, -1, true);
  // Every byte worth keeping has been read: the rest of the file, and what
  // it was made longer by, is room.
  const std::int64_t seen = result.bytesRead + pass.header.grown;
  input.SetPosition(
      std::max<std::int64_t>(seen, result.bytesKept + pass.header.roomAhead + (pass.keepTag() ? kId3v1Size : 0)));
  if (!writer.Flush(input)) return pass.Fail(Outcome::kCouldNotRewrite, pass.path, pass.input.error());
  // The bytes another process appended meanwhile lie beyond those this
  // pass wrote. The file grows for an added header only where no other
  // process has made it longer.
  std::int64_t end = writer.written();
  const std::int64_t ours = std::max(seen, end);
  const bool mayGrow = pass.sink->vbrHeader().Adds() <= pass.header.roomAhead || pass.input.Length() == ours;
  const std::int64_t room = mayGrow ? std::numeric_limits<std::int64_t>::max() : ours;
  std::int64_t length = -1;
  if (!PlaceHeader(pass, pass.input, end, room) || (length = KeepAppended(pass.input, std::max(ours, end), end)) < 0 ||
      !pass.input.Truncate(length)) {
    return pass.Fail(Outcome::kCouldNotRewrite, pass.path, pass.input.error());
  }
  if (pass.timesKnown) pass.input.SetTimes(pass.times);
  if (pass.keepTag()) result.bytesKept += kId3v1Size;
  if (pass.options.verbose) PrintSummary(result.bytesRead, result.bytesKept);
  // A delayed write error surfaces here at the latest.
  if (!pass.input.Close()) return pass.Fail(Outcome::kCouldNotRewrite, pass.path, pass.input.error());
  return true;
}

bool FinishThroughClean(Pass& pass) {
  if (pass.unchanged || pass.options.dryRun) return LeaveAsItWas(pass);
  CleanResult& result = pass.result;
  // A header frame decided only now goes in front of the bytes held back,
  // which stood in place: they are written once.
  const std::int64_t added = pass.sink->vbrHeader().Adds();
  if (added != 0 && pass.header.roomAhead == 0 && pass.sink->kept().InPlace()) {
    pass.sink->kept().WriteHeldBack(pass.sink->streamAt(), added);
    pass.header.roomAhead = added;
  }
  pass.sink->kept().WriteHeldBack();
  // The cleaned data is read back from ".clean" itself.
  std::int64_t end = pass.clean.end();
  if (!pass.clean.PushOut() || !PlaceHeader(pass, pass.clean.file(), end, std::numeric_limits<std::int64_t>::max()) ||
      !pass.clean.SetEnd(end)) {
    return pass.Fail(Outcome::kCouldNotWrite, pass.cleanPath(), pass.clean.error());
  }
  if (pass.keepTag()) pass.clean.Write(pass.keptTag.data(), pass.keptTag.size());
  // The input's attributes (Windows) go with the complete data: a read-only
  // file cleaned with /B stays read-only.
  if (!pass.clean.Flush(pass.timesKnown ? &pass.times : nullptr) || !pass.clean.TakeAttributes(pass.input) ||
      !pass.clean.Close()) {
    return pass.Fail(Outcome::kCouldNotWrite, pass.cleanPath(), pass.clean.error());
  }
  if (!pass.trash.Flush()) return pass.Fail(Outcome::kCouldNotWrite, pass.path + ".trash", pass.trash.error());
  if (pass.keepTag()) result.bytesKept += kId3v1Size;
  if (pass.options.verbose) PrintSummary(result.bytesRead, result.bytesKept);
  // Replacing a file that another process wrote to meanwhile would lose
  // what it wrote.
  if (pass.input.Length() != result.bytesRead) return pass.Fail(Outcome::kChangedMeanwhile, pass.path);
  // Windows cannot rename a file that is open; elsewhere the lock is held
  // until the cleaned file has taken the input's place.
  if (!platform::kOpenFilesCanBeRenamed) pass.input.Close();
  const std::string backupPath = pass.target + ".bak";
  const platform::Error aside = pass.options.backup ? platform::RenameReplacing(pass.target, backupPath) : platform::Error();
  const platform::Error replaced = aside.failed() ? aside : platform::RenameReplacing(pass.cleanPath(), pass.target);
  pass.input.Close();
  if (!replaced.failed()) return true;
  // The input keeps (or gets back) its name.
  if (pass.options.backup && !aside.failed()) platform::RenameReplacing(backupPath, pass.target);
  return pass.Fail(Outcome::kCouldNotRename, pass.target, replaced);
}

void TakeBack(Pass& pass) {
  // Direct mode keeps the trash once it has begun to rewrite the file.
  if (pass.result.outcome == Outcome::kCouldNotRewrite && pass.sink && pass.sink->kept().writer().wroteAnything()) {
    pass.trash.Close(pass.options.verbose != 0);
    return;
  }
  // A file made longer for a header frame, and not yet rewritten, gets its
  // length back.
  if (pass.header.grown > 0) pass.input.Truncate(pass.result.bytesRead);
  pass.clean.Discard();
  pass.trash.Discard();
}

}  // namespace scourby
