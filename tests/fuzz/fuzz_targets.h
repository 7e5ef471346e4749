#pragma once
// Inputs that no test would think of, for the record readers, the line
// encoder and the reply parser. Each target checks what must hold for any
// input (no read or write beyond a buffer, and every run ends) and returns
// false when it does not.

#include <cstddef>
#include <cstdint>

namespace flash::testing {

// The bytes as lines of a RUF file: each through the record readers and the file check.
bool FuzzRecordLines(const std::uint8_t* data, std::size_t size);
// The bytes as a whole RUF file (the first byte picks the mode), streamed by
// the engine against a working radio: the run must end.
bool FuzzRufFile(const std::uint8_t* data, std::size_t size);
// The bytes as reply chunks (split at 0x0D) for a run under way: the run must
// still end, with no read beyond a chunk.
bool FuzzReplies(const std::uint8_t* data, std::size_t size);

}  // namespace flash::testing
