#include "clean/trash_file.h"

#include "clean/pass_lines.h"

namespace scourby {

void TrashFile::ShowFailure(bool verbose) {
  if (failureShown_) return;
  failureShown_ = true;
  PrintTrashFailure(file_.path());
  if (verbose) PrintReason(file_.error());
}

void TrashFile::Close(bool verbose) {
  if (!file_.IsOpen()) return;
  if (file_.owned() && file_.written() == 0 && !file_.failed()) {
    file_.Discard();
    return;
  }
  const bool flushed = file_.Flush(nullptr);
  if (!file_.Close() || !flushed) ShowFailure(verbose);
}

}  // namespace scourby
