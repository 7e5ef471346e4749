// The packet each kind of RUF line becomes, byte for byte, in each mode.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_fixture.h"

namespace flash::testing {
namespace {

constexpr const char* kDataRecord = ":10010000214601360121470136007EFE09D2190140\r\n";
constexpr const char* kDataBytes = "10 01 00 00 21 46 01 36 01 21 47 01 36 00 7E FE 09 D2 19 01 40 0d";

struct EncoderCase {
  const char* name;
  RunMode mode;
  std::string file;
  std::vector<LineResult> results;         // one ProcessLine call each
  std::vector<std::string> sent;           // every unit handed to the link, in hex
  int lineNumber;                          // LineNumber after the calls
};

using R = LineResult;

std::vector<EncoderCase> EncoderCases() {
  return {
      {"DataRecordProgram", RunMode::Program, kDataRecord, {R::WaitForRadio}, {std::string("42 ") + kDataBytes}, 1},
      {"DataRecordVerify", RunMode::Verify, kDataRecord, {R::WaitForRadio}, {std::string("56 ") + kDataBytes}, 1},
      {"DataRecordTesting", RunMode::Testing, kDataRecord, {R::WaitForRadio}, {std::string("99 ") + kDataBytes}, 1},
      {"EndOfFileRecordCountedNotSent", RunMode::Program, ":00000001FF\r\n", {R::NextLine, R::EndOfFile}, {}, 1},
      {"OtherRecordTypeSkipped", RunMode::Program, ":0400000300003800C1\r\n", {R::NextLine}, {}, 1},
      {"SegmentRecordSentOnceWhileUnchanged", RunMode::Program, ":020000021000EC\r\n:020000021000EC\r\n",
       {R::WaitForRadio, R::NextLine}, {"41 02 00 00 02 10 00 ec 0d"}, 2},
      {"SegmentEqualToStartValueNotSent", RunMode::Program, ":020000025AA5FD\r\n", {R::NextLine}, {}, 1},
      {"S0AndS7NotCounted", RunMode::Program, "S00600004844521B\r\nS70500000000FA\r\n", {R::NextLine, R::NextLine}, {}, 0},
      {"S1CountedNotSent", RunMode::Program, "S1130000285F245F2212226A000424290008237C2A\r\n", {R::NextLine}, {}, 1},
      {"S3Sent", RunMode::Program, "S30900000000AABBCCDDE8\r\n", {R::WaitForRadio},
       {"53 09 00 00 00 00 aa bb cc dd e8 0d"}, 1},
      {"S9EndsTheData", RunMode::Program, "S9030000FC\r\nS30900000000AABBCCDDE8\r\n", {R::WaitForRadio, R::EndOfFile},
       {"53 03 00 00 fc 0d"}, 1},
      {"EraseProgram", RunMode::Program, "#E010203\r\n", {R::WaitForRadio}, {"45 01 02 03 fa 0d"}, 1},
      {"EraseVerifyCountedNotSent", RunMode::Verify, "#E010203\r\n", {R::NextLine}, {}, 1},
      {"GoProgram", RunMode::Program, "#G01020304\r\n", {R::WaitForRadio}, {"47 01 02 03 04 f6 0d"}, 1},
      {"GoVerifyNeitherCountedNorSent", RunMode::Verify, "#G01020304\r\n", {R::NextLine}, {}, 0},
      {"PassThroughInEveryMode", RunMode::Verify, "#>BAUD 9600\r\n", {R::NextLine},
       {"42 41 55 44 20 39 36 30 30 0d 0a", "0d"}, 0},
      {"UnlockProgram", RunMode::Program, "#UNLOCKBOOT\r\n", {R::NextLine}, {"55 4e 4c 4f 43 4b 42 4f 4f 54 0d"}, 0},
      {"UnlockOtherTextNothing", RunMode::Program, "#UNLOCK\r\n", {R::NextLine}, {}, 0},
      {"UnlockVerifyNothing", RunMode::Verify, "#UNLOCKBOOT\r\n", {R::NextLine}, {}, 0},
      {"CommentNothingSent", RunMode::Program, "; hello\r\n", {R::NextLine}, {}, 0},
      // An unrecognised line sends nothing and the run goes on at once.
      {"EmptyLineSkipped", RunMode::Program, "\r\n", {R::NextLine}, {}, 0},
      {"UnknownFirstCharacterSkipped", RunMode::Program, "xyz\r\n", {R::NextLine}, {}, 0},
      {"UnknownDirectiveSkipped", RunMode::Program, "#Q12\r\n", {R::NextLine}, {}, 0},
      // A record that cannot be read is a file error: nothing is sent.
      {"NonHexDataUnreadable", RunMode::Program, ":10010000214601360121470136007EFE09D21901ZZ\r\n", {R::NextLine}, {}, 1},
      {"LengthBeyondLineUnreadable", RunMode::Program, ":FF010000214601\r\n", {R::NextLine}, {}, 1},
      {"NonHexHeaderUnreadable", RunMode::Program, ":1G010000\r\n", {R::NextLine}, {}, 1},
      {"SRecordShortUnreadable", RunMode::Program, "S3FF0000\r\n", {R::NextLine}, {}, 1},
      {"EraseArgumentsUnreadable", RunMode::Program, "#E01ZZ03\r\n", {R::NextLine}, {}, 1},
  };
}

class LineEncoderTest : public EngineFixture, public ::testing::WithParamInterface<EncoderCase> {};

TEST_P(LineEncoderTest, SendsExactlyTheseUnits) {
  const EncoderCase& c = GetParam();
  BeginStreaming(c.mode, c.file);
  for (std::size_t i = 0; i < c.results.size(); ++i) {
    EXPECT_EQ(engine.ProcessLine(), c.results[i]) << "call " << i;
  }
  std::vector<std::string> sent;
  for (const auto& packet : radio.sent) {
    std::string hex = HexTextLower(packet.bytes.data(), packet.bytes.size());
    if (!hex.empty()) hex.pop_back();
    sent.push_back(hex);
  }
  std::vector<std::string> expected;
  for (const auto& unit : c.sent) {
    std::string lower = unit;
    for (auto& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    expected.push_back(lower);
  }
  EXPECT_EQ(sent, expected);
  EXPECT_EQ(run().LineNumber, c.lineNumber);
}

INSTANTIATE_TEST_SUITE_P(EveryLineKind, LineEncoderTest, ::testing::ValuesIn(EncoderCases()),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(EngineFixture, DataRecordSetsExpectedEchoAndKeepsFileChecksumOnMismatch) {
  BeginStreaming(RunMode::Program, std::string(kDataRecord) + ":10010000214601360121470136007EFE09D2190141\r\n");
  engine.ProcessLine();
  EXPECT_EQ(run().ExpectedEcho, 0x40);
  EXPECT_EQ(run().FailureFlag, 0);
  engine.ProcessLine();
  ASSERT_EQ(radio.sent.size(), 2u);
  EXPECT_EQ(radio.sent[1].bytes.size(), 23u);
  EXPECT_EQ(radio.sent[1].bytes[21], 0x41);
  EXPECT_EQ(run().ExpectedEcho, 0x41);
  EXPECT_EQ(run().FailureFlag, 1);
  logs.CloseCommsLog();
  // The record in comms.txt; the line keeps its own CR LF, which the text file writes as CR CR LF.
  const std::string comms = ReadFileBytes(logs.CommsLogPath());
  EXPECT_NE(comms.find(" File CheckSum Error Calc Checksum 40 Line Checksum 41\r\n\r\n"
                       ":10010000214601360121470136007EFE09D2190141\r\r\n\r\n"),
            std::string::npos)
      << comms;
}

TEST_F(EngineFixture, UnreadableRecordIsRecordedAndFailsTheRun) {
  BeginStreaming(RunMode::Verify, ":10010000\r\n");
  EXPECT_EQ(engine.ProcessLine(), LineResult::NextLine);
  EXPECT_TRUE(radio.sent.empty());
  EXPECT_EQ(run().FailureFlag, 1);
  logs.CloseCommsLog();
  const std::string comms = ReadFileBytes(logs.CommsLogPath());
  EXPECT_NE(comms.find(" File Record Error Record cannot be read: "), std::string::npos) << comms;
  EXPECT_NE(comms.find(":10010000\r\r\n"), std::string::npos) << comms;
}

TEST_F(EngineFixture, UnrecognisedLineLeavesANoteAndNoTimer) {
  BeginStreaming(RunMode::Program, "\n");
  EXPECT_EQ(engine.ProcessLine(), LineResult::NextLine);
  EXPECT_FALSE(host.TimerRunning(TIMER_RESPONSE));
  const auto lines = CommsLinesUnstamped();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "[[line encoder  Line 1 of the file not recognised, skipped]]");
}

TEST_F(EngineFixture, RepeatOfSegmentRecordResendsItsPacket) {
  BeginStreaming(RunMode::Program, ":020000021000EC\r\n:020000021000EC\r\n");
  engine.ProcessLine();
  run().ResendPending = 1;
  EXPECT_EQ(engine.ProcessLine(), LineResult::WaitForRadio);
  ASSERT_EQ(radio.sent.size(), 2u);
  EXPECT_EQ(radio.sent[0].bytes, radio.sent[1].bytes);
  // Because an 'A' packet was repeated, the next record of the same segment goes out again too.
  run().ResendPending = 1;
  EXPECT_EQ(engine.ProcessLine(), LineResult::WaitForRadio);
  EXPECT_EQ(radio.sent.size(), 3u);
  EXPECT_EQ(run().LineNumber, 1);
}

TEST_F(EngineFixture, RepeatWhileZzPendingSendsZzAndKeepsTheLineCount) {
  BeginStreaming(RunMode::Program, std::string(kDataRecord) + kDataRecord);
  engine.ProcessLine();
  const auto progressBefore = host.statusHistory.size();
  run().ZzPending = 1;
  run().ResendPending = 1;
  EXPECT_EQ(engine.ProcessLine(), LineResult::WaitForRadio);
  EXPECT_EQ(radio.sent.back().Text(), "ZZ\r");
  EXPECT_EQ(run().LineNumber, 1);
  EXPECT_EQ(run().ZzPending, 1);
  EXPECT_EQ(run().ResendPending, 0);
  EXPECT_EQ(host.statusHistory.size(), progressBefore);
}

TEST_F(EngineFixture, EraseWaitsFortySecondsWhenTheTimeoutIsKept) {
  BeginStreaming(RunMode::Program, "#E000000\r\n#G00000000\r\n");
  run().IgnoreErrors = 5;  // neither 0 nor 1: the per-line time-outs apply
  engine.ProcessLine();
  EXPECT_EQ(host.TimerPeriod(TIMER_RESPONSE), 40000);
  engine.ProcessLine();
  EXPECT_EQ(host.TimerPeriod(TIMER_RESPONSE), 10000);
}

TEST_F(EngineFixture, ProgressShownUpToFiftyThenEveryTenth) {
  std::string file;
  for (int i = 0; i < 62; ++i) file += kDataRecord;
  file += "; a comment\r\n; another\r\n";
  BeginStreaming(RunMode::Program, file);
  std::vector<int> shown;
  for (int i = 0; i < 64; ++i) {
    const auto before = host.statusHistory.size();
    engine.ProcessLine();
    if (host.statusHistory.size() > before) shown.push_back(run().LineNumber);
  }
  // The text shows the count before the line is counted: 0 to 50, then 60; the
  // comments that follow at 62 show nothing.
  std::vector<int> expected;
  for (int n = 1; n <= 51; ++n) expected.push_back(n);
  expected.push_back(61);
  EXPECT_EQ(shown, expected);
  EXPECT_EQ(host.statusPanes[kProgressPane], "60 of 0 Lines Processed");
}

TEST_F(EngineFixture, CommentsAtATenthLineShowProgressEachTime) {
  BeginStreaming(RunMode::Program, "; one\r\n; two\r\n");
  run().LineNumber = 60;
  run().LinesTotal = 99;
  engine.ProcessLine();
  engine.ProcessLine();
  ASSERT_EQ(host.statusHistory.size(), 2u);
  EXPECT_EQ(host.statusHistory[1].second, "60 of 99 Lines Processed");
}

TEST_F(EngineFixture, LogLinesOfCommentsAndDirectives) {
  BeginStreaming(RunMode::Program, "; hello\r\n#M 730 radio\r\n#VER 1.2\r\n");
  engine.ProcessLine();
  engine.ProcessLine();
  engine.ProcessLine();
  EXPECT_EQ(logs.LogText(),
            "  hello\r\n"
            " Radio Update File for  730 radio\r\n\r\n"
            " Flash Rom Update File Format Version 1.2\r\n\r\n");
}

TEST_F(EngineFixture, OverlongLineArrivesInTwoPieces) {
  std::string longLine = "; " + std::string(298, 'x') + "\r\n";
  BeginStreaming(RunMode::Program, longLine);
  EXPECT_EQ(engine.ProcessLine(), LineResult::NextLine);  // the comment's first 254 characters
  EXPECT_EQ(logs.LogText().size(), 1u + 253u);
  EXPECT_EQ(engine.ProcessLine(), LineResult::NextLine);  // the tail, "xxx...\r\n": unrecognised
  EXPECT_EQ(engine.ProcessLine(), LineResult::EndOfFile);
  EXPECT_TRUE(radio.sent.empty());
}

}  // namespace
}  // namespace flash::testing
