// Where the kept frames go. Frames that lie one after another in the read
// buffer are held as one run and written in one piece straight from the
// buffer, before it is refilled: no copy per frame. Direct mode writes them
// into the file itself, in front of the read position; compatibility mode
// into ".clean".
#pragma once

#include <cstdint>
#include <span>

#include "clean/in_place_writer.h"
#include "clean/output_file.h"
#include "platform/reader.h"

namespace scourby {

class KeptBytes {
 public:
  // clean: the ".clean" file in compatibility mode, nullptr in direct mode.
  // Takes the reader's refill hook, so it must stay where it is made.
  KeptBytes(platform::Reader& input, OutputFile* clean);
  KeptBytes(const KeptBytes&) = delete;
  KeptBytes& operator=(const KeptBytes&) = delete;

  // Keeps bytes that were read at source; changed: altered since, so they
  // are no longer the bytes that lie there.
  void Keep(std::span<const std::uint8_t> bytes, std::int64_t source, bool changed);

  // Writes out the run held back.
  void Flush();

  // Direct mode's writer, for the last bytes and the state of the rewrite.
  InPlaceWriter& writer() { return writer_; }

 private:
  void Emit(std::span<const std::uint8_t> bytes, std::int64_t source, bool changed);

  struct Run {
    std::int64_t source = 0;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
  };

  platform::Reader& input_;
  OutputFile* clean_;
  InPlaceWriter writer_;
  Run run_;
};

}  // namespace scourby
