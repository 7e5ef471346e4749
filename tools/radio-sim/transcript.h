#pragma once
// The record of every packet the radio received, written at exit.
//
// One line per packet:
//   <index> <kind> <length> <hex bytes> -> <reply> [<notes>]
// where the reply is the quoted text that went out ("none" for no reply) and the
// notes name the faults and errors that shaped it. Datagrams refused for their
// passcode appear with the index "-" and the kind "rejected"; they are not
// packets. The last line is the summary:
//   summary: packets P, bytes B, retries R, rejected J
// where retries counts packets identical to the packet before them.

#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <vector>

namespace flash::radio_sim {

struct TranscriptEntry {
  std::uint64_t index = 0;  // 0 for a rejected datagram
  std::string kind;
  std::vector<std::uint8_t> bytes;
  std::vector<std::uint8_t> reply;  // what went out once, garbage included
  bool replied = false;
  std::vector<std::string> notes;
};

class Transcript {
 public:
  void Add(TranscriptEntry entry);

  const std::vector<TranscriptEntry>& Entries() const { return entries_; }
  std::uint64_t Packets() const { return packets_; }
  std::uint64_t Bytes() const { return bytes_; }
  std::uint64_t Retries() const { return retries_; }
  std::uint64_t Rejected() const { return rejected_; }

  void Write(std::ostream& out) const;
  static std::string FormatLine(const TranscriptEntry& entry);
  std::string SummaryLine() const;

 private:
  std::vector<TranscriptEntry> entries_;
  std::vector<std::uint8_t> previous_;
  std::uint64_t packets_ = 0;
  std::uint64_t bytes_ = 0;
  std::uint64_t retries_ = 0;
  std::uint64_t rejected_ = 0;
};

// Bytes as readable text in double quotes: printable characters as they are,
// \r, \n, \t, \\ and \" escaped, everything else as \xHH.
std::string QuoteBytes(std::span<const std::uint8_t> bytes);

}  // namespace flash::radio_sim
