#include "clean/finish_pass.h"

#include <algorithm>

#include "clean/appended_bytes.h"
#include "clean/pass_lines.h"

namespace scourby {
namespace {

using Outcome = CleanResult::Outcome;
using platform::Reader;

// Makes the VBR header of the cleaned data true: reads back what it needs
// through `cleaned` and writes the header frame in place with write. False
// when the cleaned data could not be read or the frame written.
template <typename Write>
bool MakeHeaderTrue(Pass& pass, Reader& cleaned, Write write) {
  VbrHeaderUpdate& header = pass.sink->vbrHeader();
  if (!header.Rewrites()) return true;
  const std::optional<std::span<const std::uint8_t>> frame = header.MakeTrue(cleaned, pass.sink->streamAt());
  if (!frame) return !header.Failed();
  return write(pass.sink->streamAt(), *frame);
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
  if (pass.options.verbose) PrintSummary(pass.result.bytesRead, pass.result.bytesKept);
  pass.clean.Discard();  // compatibility mode: the empty ".clean" goes
  pass.input.Close();
  return true;
}

}  // namespace

bool FinishInPlace(Pass& pass) {
  if (pass.unchanged || pass.options.dryRun) return LeaveAsItWas(pass);
  // The pass has begun to rewrite the file: without the trash it goes on.
  if (!pass.trash.Flush()) pass.trash.ShowFailure();
  Reader& input = *pass.reader;
  InPlaceWriter& writer = pass.sink->kept().writer();
  CleanResult& result = pass.result;
  if (pass.keepTag()) writer.Write(input, pass.keptTag, -1, true);
  // Every byte worth keeping has been read: the rest of the file is room.
  input.SetPosition(std::max<std::int64_t>(result.bytesRead, result.bytesKept + (pass.keepTag() ? kId3v1Size : 0)));
  std::int64_t length = -1;
  const auto writeHeader = [&input](std::int64_t at, std::span<const std::uint8_t> frame) {
    return input.WriteAt(at, frame.data(), frame.size());
  };
  if (!writer.Flush(input) || !MakeHeaderTrue(pass, input, writeHeader) ||
      (length = KeepAppended(pass.input, result.bytesRead, writer.written())) < 0 || !pass.input.Truncate(length)) {
    return pass.Fail(Outcome::kCouldNotRewrite, pass.path);
  }
  if (pass.timesKnown) pass.input.SetTimes(pass.times);
  if (pass.keepTag()) result.bytesKept += kId3v1Size;
  if (pass.options.verbose) PrintSummary(result.bytesRead, result.bytesKept);
  // A delayed write error surfaces here at the latest.
  if (!pass.input.Close()) return pass.Fail(Outcome::kCouldNotRewrite, pass.path);
  return true;
}

bool FinishThroughClean(Pass& pass) {
  if (pass.unchanged || pass.options.dryRun) return LeaveAsItWas(pass);
  CleanResult& result = pass.result;
  pass.sink->kept().WriteHeldBack();
  if (pass.sink->vbrHeader().Rewrites()) {
    // The cleaned data is read back from ".clean" itself.
    if (!pass.clean.PushOut()) return pass.Fail(Outcome::kCouldNotWrite, pass.cleanPath());
    Reader cleaned(pass.clean.file());
    const auto writeHeader = [&pass](std::int64_t at, std::span<const std::uint8_t> frame) {
      return pass.clean.WriteAt(at, frame.data(), frame.size());
    };
    if (!MakeHeaderTrue(pass, cleaned, writeHeader)) return pass.Fail(Outcome::kCouldNotWrite, pass.cleanPath());
  }
  if (pass.keepTag()) pass.clean.Write(pass.keptTag.data(), pass.keptTag.size());
  // The input's attributes (Windows) go with the complete data: a read-only
  // file cleaned with /B stays read-only.
  if (!pass.clean.Flush(pass.timesKnown ? &pass.times : nullptr) || !pass.clean.TakeAttributes(pass.input) ||
      !pass.clean.Close()) {
    return pass.Fail(Outcome::kCouldNotWrite, pass.cleanPath());
  }
  if (!pass.trash.Flush()) return pass.Fail(Outcome::kCouldNotWrite, pass.path + ".trash");
  if (pass.keepTag()) result.bytesKept += kId3v1Size;
  if (pass.options.verbose) PrintSummary(result.bytesRead, result.bytesKept);
  // Replacing a file that another process wrote to meanwhile would lose
  // what it wrote.
  if (pass.input.Length() != result.bytesRead) return pass.Fail(Outcome::kChangedMeanwhile, pass.path);
  // Windows cannot rename a file that is open; elsewhere the lock is held
  // until the cleaned file has taken the input's place.
  if (!platform::kOpenFilesCanBeRenamed) pass.input.Close();
  const std::string backupPath = pass.target + ".bak";
  const bool movedAside = pass.options.backup && platform::RenameReplacing(pass.target, backupPath);
  const bool replaced =
      (!pass.options.backup || movedAside) && platform::RenameReplacing(pass.cleanPath(), pass.target);
  pass.input.Close();
  if (replaced) return true;
  // The input keeps (or gets back) its name.
  if (movedAside) platform::RenameReplacing(backupPath, pass.target);
  return pass.Fail(Outcome::kCouldNotRename, pass.target);
}

void TakeBack(Pass& pass) {
  if (pass.result.outcome == Outcome::kCouldNotRewrite) {
    pass.trash.Close();
    return;
  }
  pass.clean.Discard();
  pass.trash.Discard();
}

}  // namespace scourby
