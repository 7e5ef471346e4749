#include "cli/ruf_check.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string_view>

#include "engine/flash_run.h"
#include "engine/radio_models.h"
#include "engine/ruf_record.h"

namespace flash::cli {
namespace {

std::string Printf(const char* format, auto... values) {
  char text[256];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

bool IsBlank(std::string_view line) { return line.find_first_not_of(" \t\r\n") == std::string_view::npos; }

// Lines the encoder reads as records or directive arguments: these must not
// be cut at the 254-character limit.
bool IsRecordOrArguments(std::string_view line) {
  if (line.empty()) return false;
  if (line[0] == ':' || IsDataLine(line)) return true;
  return line[0] == '#' && line.size() > 1 && (line[1] == 'E' || line[1] == 'G');
}

// Records of one kind that an update skips, for a note.
struct Skipped {
  int count = 0;
  int firstLine = 0;
};

class FileChecker {
 public:
  explicit FileChecker(RufCheckReport& report) : report_(report) {}

  void Piece(std::string_view piece, bool startsLine) {
    if (startsLine) {
      lineNumber_ += 1;
      report_.totalLines += 1;
      lineReported_ = false;
      lineIsRecord_ = IsRecordOrArguments(piece);
    }
    // The engine counts every piece it reads as a line of its own.
    if (IsDataLine(piece)) {
      report_.dataLines += 1;
      if (!dataActive_) dataLinesAfterEnd_ += 1;
    }
    if (!startsLine) {
      // The rest of a line longer than the engine reads: a record cut in two,
      // or a piece the engine would take for a record of its own.
      if ((lineIsRecord_ || (!piece.empty() && (piece[0] == ':' || piece[0] == 'S'))) && !lineReported_) {
        Bad("is longer than 254 characters");
      }
      return;
    }
    if (auto problem = FindLineProblem(piece)) {
      Bad(std::move(*problem));
    }
    Classify(piece);
  }

  void LineEnded(bool wasSplit) {
    if (pendingRecord_ && !wasSplit && !lineReported_) TakeRecord(*pendingRecord_);
    pendingRecord_.reset();
  }

  void Finish() {
    for (const auto& [type, skipped] : skippedIntel_) {
      report_.notes.push_back(Printf("%d Intel HEX record(s) of type %02X are not sent to the radio (first on line %d)",
                                     skipped.count, type, skipped.firstLine));
    }
    if (skippedS1_.count > 0) {
      report_.notes.push_back(Printf("%d S1 record(s) are not sent to the radio (first on line %d)", skippedS1_.count,
                                     skippedS1_.firstLine));
    }
    if (!dataActive_) {
      report_.notes.push_back(Printf("the S%d record on line %d ends the data: the %d data line(s) after it are "
                                     "never sent",
                                     dataEndType_, dataEndLine_, dataLinesAfterEnd_));
    }
    if (beforeSegment_.count > 0) {
      report_.notes.push_back(Printf("%d Intel HEX data record(s) come before any extended segment address record "
                                     "(first on line %d); their addresses are shown in segment 0",
                                     beforeSegment_.count, beforeSegment_.firstLine));
    }
    report_.ranges = MergeRanges(std::move(ranges_));
  }

 private:
  struct PendingRecord {
    char kind;  // ':' or 'S'
    std::string line;
  };

  void Bad(std::string problem) {
    report_.badLines.push_back(BadLine{lineNumber_, std::move(problem)});
    lineReported_ = true;
  }

  void Classify(std::string_view line) {
    if (IsBlank(line)) {
      report_.blankLines += 1;
    } else if (line[0] == ';') {
      report_.comments += 1;
    } else if (line[0] == '#') {
      report_.directives += 1;
    } else if (line[0] == ':') {
      report_.intelHexRecords += 1;
      pendingRecord_ = PendingRecord{':', std::string(line)};
    } else if (IsDataLine(line)) {
      report_.sRecords += 1;
      pendingRecord_ = PendingRecord{'S', std::string(line)};
    } else if (line[0] == 'S') {
      report_.headerEndRecords += 1;
    } else {
      report_.otherLines += 1;
    }
  }

  static void Count(Skipped& skipped, int line) {
    if (skipped.count++ == 0) skipped.firstLine = line;
  }

  // A sound record, judged as the line encoder sends it.
  void TakeRecord(const PendingRecord& pending) {
    if (pending.kind == ':') {
      const DecodedRecord record = DecodeIntelHex(pending.line);
      if (record.status != RecordStatus::Good || record.count == 0) return;
      if (record.type == 0x02) {
        segment_ = record.segment;
      } else if (record.type == 0x00) {
        if (!dataActive_) return;
        if (!segment_) Count(beforeSegment_, lineNumber_);
        const std::uint64_t offset = std::uint64_t{record.bytes[1]} << 8 | record.bytes[2];
        const std::uint64_t first = std::uint64_t{segment_.value_or(0)} * 16 + offset;
        ranges_.push_back(AddressRange{first, first + record.count});
      } else if (record.type != 0x01) {
        Count(skippedIntel_[record.type], lineNumber_);
      }
      return;
    }
    const DecodedRecord record = DecodeSRecord(pending.line);
    if (record.status != RecordStatus::Good || record.count == 0 || !dataActive_) return;
    if (record.type == 1) {
      Count(skippedS1_, lineNumber_);
    } else if (record.type == 3) {
      // NN counts four address bytes, the data and the checksum.
      if (record.count <= 5) return;
      std::uint64_t first = 0;
      for (std::size_t i = 1; i <= 4; ++i) first = first << 8 | record.bytes[i];
      ranges_.push_back(AddressRange{first, first + (record.count - 5U)});
    } else {
      // Sent, and then the encoder closes the file.
      dataActive_ = false;
      dataEndType_ = record.type;
      dataEndLine_ = lineNumber_;
    }
  }

  RufCheckReport& report_;
  int lineNumber_ = 0;
  bool lineReported_ = false;
  bool lineIsRecord_ = false;
  std::optional<PendingRecord> pendingRecord_;
  std::optional<std::uint16_t> segment_;
  bool dataActive_ = true;
  int dataEndType_ = 0;
  int dataEndLine_ = 0;
  int dataLinesAfterEnd_ = 0;
  std::map<int, Skipped> skippedIntel_;
  Skipped skippedS1_;
  Skipped beforeSegment_;
  std::vector<AddressRange> ranges_;
};

void TakeModel(RufCheckReport& report) {
  const std::string name = std::filesystem::path(report.path).filename().string();
  report.modelText = name.substr(0, 3);
  report.model = 0;
  for (const char c : report.modelText) {
    if (c < '0' || c > '9') break;
    report.model = report.model * 10 + (c - '0');
  }
  for (const auto& row : RadioModelTable()) {
    if (row.code == report.model) report.modelName = row.statusText;
  }
  if (report.modelName == nullptr) {
    report.notes.push_back(report.model == 0 ? std::string("the file's name does not begin with a model number: no "
                                                           "radio will accept the file")
                                             : Printf("no radio model this updater knows has the number %d: no radio "
                                                      "will accept the file",
                                                      report.model));
  }
}

}  // namespace

std::vector<AddressRange> MergeRanges(std::vector<AddressRange> ranges) {
  std::sort(ranges.begin(), ranges.end(),
            [](const AddressRange& a, const AddressRange& b) { return a.first < b.first; });
  std::vector<AddressRange> merged;
  for (const auto& range : ranges) {
    if (!merged.empty() && range.first <= merged.back().end) {
      merged.back().end = std::max(merged.back().end, range.end);
    } else {
      merged.push_back(range);
    }
  }
  return merged;
}

RufCheckReport CheckRufFile(const std::string& path) {
  RufCheckReport report;
  report.path = path;
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return report;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return report;
  report.opened = true;
  TakeModel(report);

  FileChecker checker(report);
  char buffer[kMaxLineChars + 1];
  bool atLineStart = true;
  bool split = false;
  while (std::fgets(buffer, static_cast<int>(sizeof buffer), file) != nullptr) {
    const std::string_view piece(buffer, std::strlen(buffer));
    if (atLineStart) split = false;
    const bool startsLine = atLineStart;
    atLineStart = !piece.empty() && piece.back() == '\n';
    if (!startsLine) split = true;
    checker.Piece(piece, startsLine);
    if (atLineStart) checker.LineEnded(split);
  }
  if (!atLineStart) checker.LineEnded(split);  // a last line without a line end
  if (std::ferror(file) != 0) report.opened = false;
  std::fclose(file);

  if (report.dataLines == 0) report.notes.push_back("the file holds no data lines: an update would write nothing");
  checker.Finish();
  return report;
}

std::string FormatCheckReport(const RufCheckReport& report) {
  if (!report.opened) return "Unable to open file: " + report.path + "\n";
  std::string text = "File: " + report.path + "\n";
  text += "Model number: " + std::to_string(report.model) + " (from \"" + report.modelText + "\"";
  text += report.modelName != nullptr ? std::string(", ") + report.modelName + ")\n" : std::string(", not a known model)\n");

  text += Printf("Lines: %d in all\n", report.totalLines);
  const auto count = [&text](int n, const char* what) {
    if (n > 0) text += Printf("  %7d %s\n", n, what);
  };
  text += Printf("  %7d data lines (the count an update shows)\n", report.dataLines);
  count(report.intelHexRecords, "Intel HEX records");
  count(report.sRecords, "S-records with data (types 1 to 9 but 7)");
  count(report.headerEndRecords, "S0 and S7 records");
  count(report.comments, "comments");
  count(report.directives, "directives");
  count(report.blankLines, "blank lines");
  count(report.otherLines, "other lines (not recognised, skipped)");

  if (report.ranges.empty()) {
    text += "Address ranges written: none\n";
  } else {
    text += "Address ranges written:\n";
    for (const auto& range : report.ranges) {
      text += Printf("  %08llX-%08llX  %llu bytes\n", static_cast<unsigned long long>(range.first),
                     static_cast<unsigned long long>(range.end - 1),
                     static_cast<unsigned long long>(range.end - range.first));
    }
  }
  for (const auto& note : report.notes) text += "Note: " + note + "\n";

  if (report.badLines.empty()) {
    text += "Damaged lines: none\nThe file is sound.\n";
    return text;
  }
  text += Printf("Damaged lines: %zu\n", report.badLines.size());
  for (const auto& bad : report.badLines) text += Printf("  line %d ", bad.line) + bad.problem + "\n";
  text += "The file is damaged: an update would refuse it and send nothing to the radio.\n";
  return text;
}

}  // namespace flash::cli
