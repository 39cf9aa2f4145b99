// The trash file of one pass: the removed bytes are added at its end, never
// cut, so that it keeps what earlier runs removed. A trash that could not
// be written is named once on the file's line.
#pragma once

#include <string>

#include "clean/output_file.h"
#include "platform/file.h"

namespace scourby {

class TrashFile {
 public:
  // Opens path to add to it, or creates it with the permissions of `like`.
  bool Open(const std::string& path, const platform::File& like) { return file_.OpenToAppend(path, like); }

  // The file to write the removed bytes to; nullptr when none is open.
  OutputFile* output() { return file_.IsOpen() ? &file_ : nullptr; }

  // Pushes what was added to the disk. False when it could not be written.
  bool Flush() { return !file_.IsOpen() || file_.Flush(nullptr); }

  // Names the trash as not written, once; verbose: and why.
  void ShowFailure(bool verbose);
  bool failureShown() const { return failureShown_; }
  const platform::Error& error() const { return file_.error(); }

  // Closes the trash of a pass that changed its input: one the pass created
  // and left empty goes; one it found stays exactly as it was.
  void Close(bool verbose);

  // Takes back what this pass added (a trash it made goes).
  void Discard() { file_.Discard(); }

 private:
  OutputFile file_;
  bool failureShown_ = false;
};

}  // namespace scourby
