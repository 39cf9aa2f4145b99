#include "clean/trash_file.h"

#include "clean/pass_lines.h"

namespace scourby {

void TrashFile::ShowFailure() {
  if (failureShown_) return;
  failureShown_ = true;
  PrintTrashFailure(file_.path());
}

void TrashFile::Close() {
  if (!file_.IsOpen()) return;
  if (file_.owned() && file_.written() == 0 && !file_.failed()) {
    file_.Discard();
    return;
  }
  const bool flushed = file_.Flush(nullptr);
  if (!file_.Close() || !flushed) ShowFailure();
}

}  // namespace scourby
