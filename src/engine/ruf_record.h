#pragma once
// Pure readers of the record lines of a Rom Update File. They never read past
// the line they are given and never allocate; the encoder and the file check
// both use them.
//
// Intel HEX:  ':' LL AAAA TT data CC    LL at 1-2, address at 3-6, type at 7-8,
//             data from 9, CC at 9 + 2*LL; CC = two's complement of the low
//             byte of the sum of LL, both address bytes, TT and the data.
// S-record:   'S' T NN bytes CC         T at 1, NN at 2-3 counts the address,
//             data and checksum bytes; CC at 2 + 2*NN; CC = ones' complement of
//             the low byte of the sum of NN and the address and data bytes.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace flash {

// Two hexadecimal digits (either case) at pos and pos + 1, if both lie in the line.
std::optional<std::uint8_t> HexByteAt(std::string_view line, std::size_t pos);
// Four hexadecimal digits at pos..pos + 3.
std::optional<std::uint16_t> HexWordAt(std::string_view line, std::size_t pos);

enum class RecordStatus {
  Good,
  ChecksumError,  // readable, but CC differs from the calculated checksum
  Unreadable,     // a field is not hexadecimal, or the line ends before the record does
};

// The decoded bytes of a record: for Intel HEX, LL, address high, address low,
// TT and the data; for an S-record, NN and the address and data bytes.
struct DecodedRecord {
  RecordStatus status = RecordStatus::Good;
  std::string_view problem;  // what is wrong, for Unreadable
  std::uint8_t count = 0;     // LL or NN
  std::uint8_t type = 0;      // TT, or the S-record's type digit
  std::array<std::uint8_t, 130> bytes{};
  std::size_t byteCount = 0;  // bytes in use
  std::uint8_t checksum = 0;  // CC as read from the line
  std::uint8_t calculated = 0;
  std::uint16_t segment = 0;  // Intel HEX type 02: the four digits at 9-12
};

// Reads an Intel HEX record (line[0] == ':'). A record whose LL is 0 is decoded
// only up to its type: such records carry no checksum the encoder looks at.
DecodedRecord DecodeIntelHex(std::string_view line);
// Reads an S-record (line[0] == 'S') of a type other than 0 and 7.
DecodedRecord DecodeSRecord(std::string_view line);
// Reads the n argument bytes of an '#E' or '#G' directive, from position 2 on.
std::optional<std::array<std::uint8_t, 4>> DecodeDirectiveArguments(std::string_view line, std::size_t n);

// Whether a line is a data line of the file's count: every ':' line, and every
// 'S' line whose type is neither 0 nor 7.
bool IsDataLine(std::string_view line);

// The file check: what is wrong with a record or directive line that the
// encoder would read, in words for the operator; nothing for a sound line.
std::optional<std::string> FindLineProblem(std::string_view line);

}  // namespace flash
