// Where the kept frames go. Frames that lie one after another in the read
// buffer are held as one run and written in one piece straight from the
// buffer, before it is refilled: no copy per frame. Direct mode writes them
// into the file itself, in front of the read position; compatibility mode
// into ".clean". As long as every byte kept stands where it was read,
// nothing is written at all: direct mode leaves such bytes where they are,
// and compatibility mode writes them into ".clean" only once something
// differs (the system copying them from the input where it can), so a file
// with nothing to remove is never written.
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
  // Without write (a dry run), the bytes are only counted. Flush must run
  // before the reader refills its buffer (from its refill hook): the run
  // held back lies in it.
  KeptBytes(platform::Reader& input, OutputFile* clean, bool write = true);
  KeptBytes(const KeptBytes&) = delete;
  KeptBytes& operator=(const KeptBytes&) = delete;

  // Keeps bytes that were read at source; changed: altered since, so they
  // are no longer the bytes that lie there.
  void Keep(std::span<const std::uint8_t> bytes, std::int64_t source, bool changed);

  // Writes out the run held back.
  void Flush();

  // Whether every byte kept so far stands where it was read, unchanged
  // (room left in front of the stream aside), and how many bytes have been
  // kept.
  bool InPlace() const { return inPlace_; }
  std::int64_t kept() const { return kept_; }

  // Compatibility mode: writes into ".clean" the bytes held back because
  // they stood in place. Called once the result is known to differ.
  void WriteHeldBack();
  // The same, with room bytes (written over later) at offset at of them.
  void WriteHeldBack(std::int64_t at, std::int64_t room);

  // Leaves room for size bytes in front of the bytes kept from now on (a
  // header frame written there at the end). Not counted as kept.
  void Reserve(std::int64_t size);

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
  const bool write_;
  InPlaceWriter writer_;
  Run run_;
  bool inPlace_ = true;
  std::int64_t reserved_ = 0;  // room left in front of the bytes kept since
  std::int64_t kept_ = 0;
  std::int64_t heldBack_ = 0;  // compatibility mode: kept bytes not yet in ".clean"
};

}  // namespace scourby
