#include "radio-sim/packet_framer.h"

#include <algorithm>
#include <limits>

namespace flash::radio_sim {

namespace {

constexpr std::uint8_t kCr = 0x0D;
constexpr std::size_t kNeedMore = 0;
constexpr std::size_t kNoPacket = std::numeric_limits<std::size_t>::max();

// The length the grammar gives the packet that starts the bytes, kNeedMore while
// its header is incomplete, kNoPacket when the bytes cannot open a binary packet.
std::size_t GrammarLength(std::span<const std::uint8_t> b) {
  switch (b[0]) {
    case 'B':
    case 'V':
    case 0x99:
      if (b.size() < 5) return kNeedMore;
      if (b[4] != 0x00) return kNoPacket;
      return std::size_t{b[1]} + 7;
    case 'A':
      if (b.size() < 5) return kNeedMore;
      if (b[4] != 0x02 || b[1] < 2) return kNoPacket;
      return std::size_t{b[1]} + 7;
    case 'S':
      if (b.size() < 2) return kNeedMore;
      if (b[1] == 0) return kNoPacket;
      return std::size_t{b[1]} + 3;
    case 'E':
      return 6;
    case 'G':
      return 7;
    default:
      return kNoPacket;
  }
}

// The end of a packet of the grammar's length: 0x0D last, and for E and G a
// checksum that holds (their bytes are short enough to be mistaken for text).
bool TailFits(std::span<const std::uint8_t> packet) {
  if (packet.back() != kCr) return false;
  if (packet[0] == 'E' || packet[0] == 'G') {
    unsigned sum = 0;
    for (std::size_t i = 1; i + 2 < packet.size(); ++i) sum += packet[i];
    return ((sum + packet[packet.size() - 2]) & 0xFFU) == 0;
  }
  return true;
}

PacketKind BinaryKind(std::uint8_t first) {
  switch (first) {
    case 'B': return PacketKind::Program;
    case 'V': return PacketKind::Verify;
    case 0x99: return PacketKind::Testing;
    case 'A': return PacketKind::Segment;
    case 'S': return PacketKind::SRecord;
    case 'E': return PacketKind::Erase;
    default: return PacketKind::Go;
  }
}

bool IsText(std::span<const std::uint8_t> unit) {
  return std::all_of(unit.begin(), unit.end(), [](std::uint8_t c) {
    return (c >= 0x20 && c <= 0x7E) || c == '\t' || c == '\n' || c == kCr;
  });
}

bool Equals(std::span<const std::uint8_t> unit, std::string_view text) {
  return std::equal(unit.begin(), unit.end(), text.begin(), text.end(),
                    [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); });
}

}  // namespace

std::string_view KindName(PacketKind kind) {
  switch (kind) {
    case PacketKind::Query: return "query";
    case PacketKind::Acknowledge: return "ack";
    case PacketKind::Program: return "program";
    case PacketKind::Verify: return "verify";
    case PacketKind::Testing: return "testing";
    case PacketKind::Segment: return "segment";
    case PacketKind::SRecord: return "srecord";
    case PacketKind::Erase: return "erase";
    case PacketKind::Go: return "go";
    case PacketKind::Unlock: return "unlock";
    case PacketKind::PassThrough: return "text";
    case PacketKind::Unknown: return "unknown";
    case PacketKind::Fragment: return "fragment";
  }
  return "unknown";
}

PacketKind ClassifyUnit(std::span<const std::uint8_t> unit) {
  if (unit.empty()) return PacketKind::Unknown;
  const std::size_t length = GrammarLength(unit);
  if (length == unit.size() && TailFits(unit)) return BinaryKind(unit[0]);
  if (Equals(unit, "?V\r")) return PacketKind::Query;
  if (Equals(unit, "XX\r") || Equals(unit, "ZZ\r")) return PacketKind::Acknowledge;
  if (Equals(unit, "UNLOCKBOOT\r")) return PacketKind::Unlock;
  if (IsText(unit)) return PacketKind::PassThrough;
  return PacketKind::Unknown;
}

void PacketFramer::Feed(std::span<const std::uint8_t> bytes) {
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

std::optional<FramedUnit> PacketFramer::Next() {
  if (buffer_.empty()) return std::nullopt;
  const std::size_t length = GrammarLength(buffer_);
  if (length == kNeedMore) return std::nullopt;
  if (length != kNoPacket) {
    if (buffer_.size() < length) return std::nullopt;
    if (TailFits(std::span<const std::uint8_t>(buffer_).first(length))) return Take(length, false);
  }
  // Text, up to and including its first carriage return.
  const auto cr = std::find(buffer_.begin(), buffer_.end(), kCr);
  if (cr != buffer_.end()) return Take(static_cast<std::size_t>(cr - buffer_.begin()) + 1, false);
  if (buffer_.size() >= kMaxUnit) return Take(kMaxUnit, true);
  return std::nullopt;
}

std::optional<FramedUnit> PacketFramer::Flush() {
  if (buffer_.empty()) return std::nullopt;
  const auto cr = std::find(buffer_.begin(), buffer_.end(), kCr);
  if (cr != buffer_.end()) return Take(static_cast<std::size_t>(cr - buffer_.begin()) + 1, false);
  return Take(std::min(buffer_.size(), kMaxUnit), true);
}

FramedUnit PacketFramer::Take(std::size_t length, bool fragment) {
  FramedUnit unit;
  unit.bytes.assign(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(length));
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(length));
  unit.kind = fragment ? PacketKind::Fragment : ClassifyUnit(unit.bytes);
  return unit;
}

}  // namespace flash::radio_sim
