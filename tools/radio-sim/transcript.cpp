#include "radio-sim/transcript.h"

#include <cstdio>

namespace flash::radio_sim {

void Transcript::Add(TranscriptEntry entry) {
  if (entry.index == 0) {
    ++rejected_;
  } else {
    ++packets_;
    bytes_ += entry.bytes.size();
    if (packets_ > 1 && entry.bytes == previous_) ++retries_;
    previous_ = entry.bytes;
  }
  entries_.push_back(std::move(entry));
}

std::string QuoteBytes(std::span<const std::uint8_t> bytes) {
  std::string out = "\"";
  for (std::uint8_t c : bytes) {
    switch (c) {
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      default:
        if (c >= 0x20 && c <= 0x7E) {
          out += static_cast<char>(c);
        } else {
          char hex[5];
          std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(c));
          out += hex;
        }
    }
  }
  out += '"';
  return out;
}

std::string Transcript::FormatLine(const TranscriptEntry& entry) {
  std::string line = entry.index == 0 ? std::string("-") : std::to_string(entry.index);
  line += ' ';
  line += entry.kind;
  line += ' ';
  line += std::to_string(entry.bytes.size());
  for (std::uint8_t byte : entry.bytes) {
    char hex[4];
    std::snprintf(hex, sizeof hex, " %02X", static_cast<unsigned>(byte));
    line += hex;
  }
  line += " -> ";
  line += entry.replied ? QuoteBytes(entry.reply) : std::string("none");
  if (!entry.notes.empty()) {
    line += " [";
    for (std::size_t i = 0; i < entry.notes.size(); ++i) {
      if (i > 0) line += "; ";
      line += entry.notes[i];
    }
    line += ']';
  }
  return line;
}

std::string Transcript::SummaryLine() const {
  return "summary: packets " + std::to_string(packets_) + ", bytes " + std::to_string(bytes_) +
         ", retries " + std::to_string(retries_) + ", rejected " + std::to_string(rejected_);
}

void Transcript::Write(std::ostream& out) const {
  for (const TranscriptEntry& entry : entries_) out << FormatLine(entry) << '\n';
  out << SummaryLine() << '\n';
}

}  // namespace flash::radio_sim
