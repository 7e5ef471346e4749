#include "cli/ruf_check.h"

#include <gtest/gtest.h>

#include <string>

#include "cli_test_support.h"
#include "temp_dir.h"

namespace flash::cli {
namespace {

using testing::Bytes;
using testing::IntelRecord;
using testing::SegmentRecord;
using testing::SRecord;

class CliCheckFile : public ::testing::Test {
 protected:
  RufCheckReport Check(const std::string& name, const std::string& text) { return CheckRufFile(dir_.Write(name, text)); }

  flash::testing::TempDir dir_;
};

TEST_F(CliCheckFile, IntelHexFileWithSegments) {
  const std::string text = "; Tarsel 710 firmware\r\n"
                           "#V 1.2\r\n"
                           "#E010203\r\n" +
                           SegmentRecord(0x1000) + IntelRecord(0x00, 0x0000, Bytes(16)) +
                           IntelRecord(0x00, 0x0010, Bytes(16)) +  // adjacent: one range
                           IntelRecord(0x00, 0x0040, Bytes(8)) + "\r\n" + SegmentRecord(0x2000) +
                           IntelRecord(0x00, 0xFFF0, Bytes(16)) + IntelRecord(0x01, 0, {});
  const RufCheckReport report = Check("710_v2.ruf", text);
  ASSERT_TRUE(report.opened);
  EXPECT_TRUE(report.Sound());
  EXPECT_EQ(report.modelText, "710");
  EXPECT_EQ(report.model, 710);
  ASSERT_NE(report.modelName, nullptr);
  EXPECT_STREQ(report.modelName, "Tarsel 710");
  EXPECT_EQ(report.totalLines, 11);
  EXPECT_EQ(report.dataLines, 7);  // every ':' line, segment and end records included
  EXPECT_EQ(report.comments, 1);
  EXPECT_EQ(report.directives, 2);
  EXPECT_EQ(report.blankLines, 1);
  EXPECT_EQ(report.ranges, (std::vector<AddressRange>{{0x10000, 0x10020}, {0x10040, 0x10048}, {0x2FFF0, 0x30000}}));
  EXPECT_TRUE(report.notes.empty()) << report.notes.front();

  const std::string printed = FormatCheckReport(report);
  EXPECT_NE(printed.find("Model number: 710 (from \"710\", Tarsel 710)"), std::string::npos) << printed;
  EXPECT_NE(printed.find("  00010000-0001001F  32 bytes\n"), std::string::npos) << printed;
  EXPECT_NE(printed.find("The file is sound."), std::string::npos) << printed;
}

TEST_F(CliCheckFile, SRecordFile) {
  std::string text = SRecord(0, 0, 2, {'h', 'd', 'r'});
  for (std::uint32_t i = 0; i < 100; ++i) text += SRecord(3, 0x00080000 + 32 * i, 4, Bytes(32));
  text += SRecord(3, 0x00200000, 4, Bytes(4));
  text += SRecord(7, 0x00080000, 4, {});
  const RufCheckReport report = Check("720_main.ruf", text);
  EXPECT_TRUE(report.Sound());
  EXPECT_EQ(report.model, 720);
  EXPECT_EQ(report.totalLines, 103);
  EXPECT_EQ(report.dataLines, 101);  // S0 and S7 are not data lines
  EXPECT_EQ(report.headerEndRecords, 2);
  EXPECT_EQ(report.ranges, (std::vector<AddressRange>{{0x80000, 0x80000 + 3200}, {0x200000, 0x200004}}));
}

TEST_F(CliCheckFile, ListsEveryDamagedLineByItsPhysicalNumber) {
  const std::string longLine = IntelRecord(0x00, 0x0100, Bytes(16)).substr(0, 43) + std::string(250, '0') + "\r\n";
  const std::string text = SegmentRecord(0) +                              // 1
                           IntelRecord(0x00, 0x0000, Bytes(16), 1) +       // 2: checksum off by one
                           "; a comment\r\n" +                             // 3
                           longLine +                                      // 4: one physical line, 2 pieces
                           ":10000000ZZ\r\n" +                             // 5: not hexadecimal
                           IntelRecord(0x00, 0x0020, Bytes(16)) +          // 6: sound
                           "#G0102\r\n" +                                  // 7: arguments missing
                           SRecord(3, 0x1000, 4, Bytes(8)).substr(0, 12);  // 8: cut short, no line end
  const RufCheckReport report = Check("710.ruf", text);
  EXPECT_FALSE(report.Sound());
  EXPECT_EQ(report.totalLines, 8);
  ASSERT_EQ(report.badLines.size(), 5U);
  const int lines[] = {2, 4, 5, 7, 8};
  for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(report.badLines[i].line, lines[i]) << report.badLines[i].problem;
  EXPECT_NE(report.badLines[0].problem.find("checksum error"), std::string::npos);
  EXPECT_EQ(report.badLines[1].problem, "is longer than 254 characters");
  EXPECT_NE(report.badLines[2].problem.find("cannot be read"), std::string::npos);
  // Only sound records count for the ranges.
  EXPECT_EQ(report.ranges, (std::vector<AddressRange>{{0x20, 0x30}}));

  const std::string printed = FormatCheckReport(report);
  EXPECT_NE(printed.find("Damaged lines: 5\n  line 2 has a checksum error"), std::string::npos) << printed;
  EXPECT_NE(printed.find("an update would refuse it"), std::string::npos) << printed;
}

TEST_F(CliCheckFile, NotesWhatAnUpdateWouldNotSend) {
  const std::string text = IntelRecord(0x00, 0x0000, Bytes(4)) +                 // before any segment
                           IntelRecord(0x04, 0x0000, {0x00, 0x01}) +             // extended linear: not sent
                           SRecord(1, 0x1000, 2, Bytes(4)) +                     // S1: not sent
                           SRecord(9, 0x0000, 2, {}) +                           // S9: sent, ends the data
                           SRecord(3, 0x5000, 4, Bytes(4)) + IntelRecord(0x00, 0x10, Bytes(4));  // never sent
  const RufCheckReport report = Check("v2_710.ruf", text);
  EXPECT_TRUE(report.Sound());
  EXPECT_EQ(report.model, 0);
  EXPECT_EQ(report.modelName, nullptr);
  EXPECT_EQ(report.ranges, (std::vector<AddressRange>{{0, 4}}));
  const auto noted = [&](const std::string& part) {
    for (const auto& note : report.notes) {
      if (note.find(part) != std::string::npos) return true;
    }
    return false;
  };
  EXPECT_TRUE(noted("does not begin with a model number"));
  EXPECT_TRUE(noted("type 04 are not sent"));
  EXPECT_TRUE(noted("S1 record(s) are not sent"));
  EXPECT_TRUE(noted("S9 record on line 4 ends the data: the 2 data line(s) after it"));
  EXPECT_TRUE(noted("before any extended segment address record (first on line 1)"));
}

TEST_F(CliCheckFile, ReportsAFileThatCannotBeRead) {
  const RufCheckReport missing = CheckRufFile(dir_.File("710_missing.ruf"));
  EXPECT_FALSE(missing.opened);
  EXPECT_FALSE(missing.Sound());
  EXPECT_EQ(FormatCheckReport(missing), "Unable to open file: " + dir_.File("710_missing.ruf") + "\n");
  EXPECT_FALSE(CheckRufFile(dir_.Path().string()).opened);  // a folder is no file
}

TEST(CliCheck, MergeRangesJoinsTouchingAndOverlappingRanges) {
  EXPECT_EQ(MergeRanges({{0x30, 0x40}, {0x00, 0x10}, {0x10, 0x20}, {0x35, 0x38}, {0x3F, 0x50}, {0x60, 0x61}}),
            (std::vector<AddressRange>{{0x00, 0x20}, {0x30, 0x50}, {0x60, 0x61}}));
  EXPECT_TRUE(MergeRanges({}).empty());
}

}  // namespace
}  // namespace flash::cli
