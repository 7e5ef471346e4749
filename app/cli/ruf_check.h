#pragma once
// The file check of `flash-update-cli check`: reads a Rom Update File the way
// the engine does (lines of at most 254 characters) without a radio, and says
// what an update would do with it: the model number taken from its name, its
// line counts, the address ranges its records write, and every damaged line.

#include <cstdint>
#include <string>
#include <vector>

namespace flash::cli {

// Addresses first .. end - 1.
struct AddressRange {
  std::uint64_t first = 0;
  std::uint64_t end = 0;
  bool operator==(const AddressRange&) const = default;
};

struct BadLine {
  int line = 0;         // physical line of the file, from 1
  std::string problem;  // "has a checksum error (...)", "cannot be read: ..."
};

struct RufCheckReport {
  std::string path;
  bool opened = false;         // the file could be read at all
  std::string modelText;       // first three characters of the file's name
  int model = 0;               // its leading decimal digits; 0 without any
  const char* modelName = nullptr;  // the radio model of that number, if known

  int totalLines = 0;          // physical lines
  int dataLines = 0;           // as the engine counts them for its progress
  int comments = 0;            // lines starting with ';'
  int directives = 0;          // lines starting with '#'
  int headerEndRecords = 0;    // S0 and S7 records
  int blankLines = 0;
  int otherLines = 0;          // lines the engine does not recognise (skipped)
  int intelHexRecords = 0;
  int sRecords = 0;

  std::vector<AddressRange> ranges;  // sorted; adjacent and overlapping ranges merged
  std::vector<BadLine> badLines;
  std::vector<std::string> notes;    // what an update would do unexpectedly

  bool Sound() const { return opened && badLines.empty(); }
};

RufCheckReport CheckRufFile(const std::string& path);

// The report as the program prints it.
std::string FormatCheckReport(const RufCheckReport& report);

// Sorts the ranges and merges those that touch or overlap.
std::vector<AddressRange> MergeRanges(std::vector<AddressRange> ranges);

}  // namespace flash::cli
