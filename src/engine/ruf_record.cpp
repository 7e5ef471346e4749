#include "engine/ruf_record.h"

#include <cstdio>

namespace flash {
namespace {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

DecodedRecord Unreadable(DecodedRecord record, std::string_view problem) {
  record.status = RecordStatus::Unreadable;
  record.problem = problem;
  return record;
}

}  // namespace

std::optional<std::uint8_t> HexByteAt(std::string_view line, std::size_t pos) {
  if (pos + 2 > line.size()) return std::nullopt;
  const int high = HexDigitValue(line[pos]);
  const int low = HexDigitValue(line[pos + 1]);
  if (high < 0 || low < 0) return std::nullopt;
  return static_cast<std::uint8_t>(high * 16 + low);
}

std::optional<std::uint16_t> HexWordAt(std::string_view line, std::size_t pos) {
  const auto high = HexByteAt(line, pos);
  const auto low = HexByteAt(line, pos + 2);
  if (!high || !low) return std::nullopt;
  return static_cast<std::uint16_t>(*high << 8 | *low);
}

DecodedRecord DecodeIntelHex(std::string_view line) {
  DecodedRecord record;
  const auto count = HexByteAt(line, 1);
  const auto addressHigh = HexByteAt(line, 3);
  const auto addressLow = HexByteAt(line, 5);
  const auto type = HexByteAt(line, 7);
  if (!count || !addressHigh || !addressLow || !type) {
    return Unreadable(record, "its length, address or type field is not hexadecimal");
  }
  record.count = *count;
  record.type = *type;
  record.bytes[0] = *count;
  record.bytes[1] = *addressHigh;
  record.bytes[2] = *addressLow;
  record.bytes[3] = *type;
  record.byteCount = 4;
  if (record.count == 0) return record;

  // A line of at most 254 characters holds at most 122 data bytes.
  const std::size_t checksumPos = 9 + 2 * std::size_t{record.count};
  if (checksumPos + 2 > line.size() || record.count + 4U > record.bytes.size()) {
    return Unreadable(record, "the line ends before the data its length field announces");
  }
  unsigned sum = 0U + *count + *addressHigh + *addressLow + *type;
  for (std::size_t i = 0; i < record.count; ++i) {
    const auto byte = HexByteAt(line, 9 + 2 * i);
    if (!byte) return Unreadable(record, "a data byte is not hexadecimal");
    record.bytes[record.byteCount++] = *byte;
    sum += *byte;
  }
  const auto checksum = HexByteAt(line, checksumPos);
  if (!checksum) return Unreadable(record, "its checksum is not hexadecimal");
  record.checksum = *checksum;
  record.calculated = static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
  if (record.type == 0x02) {
    const auto segment = HexWordAt(line, 9);
    if (!segment) return Unreadable(record, "its segment address is not hexadecimal");
    record.segment = *segment;
  }
  if (record.checksum != record.calculated) record.status = RecordStatus::ChecksumError;
  return record;
}

DecodedRecord DecodeSRecord(std::string_view line) {
  DecodedRecord record;
  const int type = line.size() > 1 ? HexDigitValue(line[1]) : -1;
  const auto count = HexByteAt(line, 2);
  if (type < 0 || !count) return Unreadable(record, "its type or byte count is not hexadecimal");
  record.type = static_cast<std::uint8_t>(type);
  record.count = *count;
  record.bytes[0] = *count;
  record.byteCount = 1;
  if (record.count == 0) return record;

  const std::size_t checksumPos = 2 + 2 * std::size_t{record.count};
  if (checksumPos + 2 > line.size() || record.count > record.bytes.size()) {
    return Unreadable(record, "the line ends before the bytes its count announces");
  }
  unsigned sum = 0U + *count;
  for (std::size_t i = 1; i < record.count; ++i) {
    const auto byte = HexByteAt(line, 2 + 2 * i);
    if (!byte) return Unreadable(record, "an address or data byte is not hexadecimal");
    record.bytes[record.byteCount++] = *byte;
    sum += *byte;
  }
  const auto checksum = HexByteAt(line, checksumPos);
  if (!checksum) return Unreadable(record, "its checksum is not hexadecimal");
  record.checksum = *checksum;
  record.calculated = static_cast<std::uint8_t>(~sum & 0xFF);
  if (record.checksum != record.calculated) record.status = RecordStatus::ChecksumError;
  return record;
}

std::optional<std::array<std::uint8_t, 4>> DecodeDirectiveArguments(std::string_view line, std::size_t n) {
  std::array<std::uint8_t, 4> arguments{};
  for (std::size_t i = 0; i < n && i < arguments.size(); ++i) {
    const auto byte = HexByteAt(line, 2 + 2 * i);
    if (!byte) return std::nullopt;
    arguments[i] = *byte;
  }
  return arguments;
}

bool IsDataLine(std::string_view line) {
  if (line.empty()) return false;
  if (line[0] == ':') return true;
  return line[0] == 'S' && line.size() > 1 && line[1] != '0' && line[1] != '7';
}

std::optional<std::string> FindLineProblem(std::string_view line) {
  if (line.empty()) return std::nullopt;
  DecodedRecord record;
  if (line[0] == ':') {
    record = DecodeIntelHex(line);
  } else if (IsDataLine(line)) {
    record = DecodeSRecord(line);
  } else if (line[0] == '#' && line.size() > 1 && (line[1] == 'E' || line[1] == 'G')) {
    if (!DecodeDirectiveArguments(line, line[1] == 'E' ? 3 : 4)) {
      return std::string("cannot be read: its command arguments are not hexadecimal");
    }
    return std::nullopt;
  } else {
    return std::nullopt;
  }
  if (record.status == RecordStatus::Unreadable) {
    return "cannot be read: " + std::string(record.problem);
  }
  if (record.status == RecordStatus::ChecksumError) {
    char text[80];
    std::snprintf(text, sizeof text, "has a checksum error (calculated %02X, the line says %02X)",
                  record.calculated, record.checksum);
    return std::string(text);
  }
  return std::nullopt;
}

}  // namespace flash
