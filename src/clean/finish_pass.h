// The end of a pass that cleaned its file: the cleaned data put in place,
// or taken back when that failed.
#pragma once

#include "clean/pass.h"

namespace scourby {

// Direct mode: writes what is still pending (and a kept tag) in front of
// the read position, keeps what another process appended, and cuts the
// file behind the cleaned data.
bool FinishInPlace(Pass& pass);

// Compatibility mode: completes ".clean" and flushes it (and the trash) to
// the disk, then puts it in the input's place; with /B the input first
// moves to ".bak".
bool FinishThroughClean(Pass& pass);

// Takes back what a failed pass wrote: its ".clean", and what it added to
// the trash. Once direct mode has begun to rewrite the file, the trash keeps
// what was removed instead.
void TakeBack(Pass& pass);

}  // namespace scourby
