#pragma once
// Packets as the radio receives them.
//
// Wire forms (every packet ends in 0x0D; binary fields may hold 0x0D too):
//   'B' | 'V' | 0x99, LL, addr hi, addr lo, TT=00, LL data, CC, 0x0D   LL + 7 bytes
//   'A', LL, addr hi, addr lo, TT=02, segment hi, segment lo, CC, 0x0D  LL + 7 bytes
//   'S', NN, NN - 1 address and data bytes, CC, 0x0D                    NN + 3 bytes
//   'E', b1, b2, b3, CC, 0x0D   6 bytes;  'G', b1, b2, b3, b4, CC, 0x0D   7 bytes
//     (E and G: CC is the two's complement of the argument sum)
//   texts: "?V\r", "XX\r", "ZZ\r", "UNLOCKBOOT\r" and pass-through text.
//
// On UDP a datagram is one packet. On the serial line the packets follow one
// another unmarked, so the framer cuts the stream by this grammar: the first
// byte names the kind and the header gives the length. A header that does not
// fit its kind (a record type other than 00 behind a mode byte, a missing 0x0D
// at the end, a wrong E or G checksum) means the bytes are text after all, and
// text ends at its first 0x0D. Pass-through text that happens to begin with
// 'S' claims a length it never fills; when the line goes quiet, Flush() cuts
// such bytes as text, so the stream gets back in step.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace flash::radio_sim {

enum class PacketKind : std::uint8_t {
  Query,        // "?V\r"
  Acknowledge,  // "XX\r" or "ZZ\r"
  Program,      // 'B' data record
  Verify,       // 'V' data record
  Testing,      // 0x99 data record
  Segment,      // 'A' extended segment address
  SRecord,      // 'S'
  Erase,        // 'E'
  Go,           // 'G'
  Unlock,       // "UNLOCKBOOT\r"
  PassThrough,  // any other printable text
  Unknown,      // bytes that form no packet
  Fragment,     // bytes cut off by a quiet line, with no 0x0D among them
};

std::string_view KindName(PacketKind kind);

// What a complete unit (a datagram, or a cut from the serial stream) is.
PacketKind ClassifyUnit(std::span<const std::uint8_t> unit);

struct FramedUnit {
  std::vector<std::uint8_t> bytes;
  PacketKind kind = PacketKind::Unknown;
};

class PacketFramer {
 public:
  // Text with no 0x0D in this many bytes is cut off as a fragment.
  static constexpr std::size_t kMaxUnit = 1024;

  void Feed(std::span<const std::uint8_t> bytes);
  // The next complete unit, once the bytes fed so far hold one.
  std::optional<FramedUnit> Next();
  // The line is quiet: the bytes held are cut up to their first 0x0D, or taken
  // whole as a fragment when there is none. Call Next() for any units behind it.
  std::optional<FramedUnit> Flush();
  bool HasPartial() const { return !buffer_.empty(); }

 private:
  FramedUnit Take(std::size_t length, bool fragment);

  std::vector<std::uint8_t> buffer_;
};

}  // namespace flash::radio_sim
