// The log text, the status panes and the lines of comms.txt.

#include <gtest/gtest.h>

#include <string>

#include "logs/logs.h"
#include "temp_dir.h"
#include "test_host.h"

namespace flash::testing {
namespace {

class LogsTest : public ::testing::Test {
 protected:
  TempDir dir;
  TestHost host;
  Logs logs{host, host, dir.File("comms.txt")};
};

TEST_F(LogsTest, AppendsAccumulateAndThePaneShowsTheWholeText) {
  logs.AppendLog("first\r\n");
  host.logPane = "typed by the operator";
  logs.AppendLog("second\r\n");
  EXPECT_EQ(logs.LogText(), "first\r\nsecond\r\n");
  EXPECT_EQ(host.logPane, "first\r\nsecond\r\n");
  logs.ClearLog();
  EXPECT_EQ(host.logPane, "");
}

TEST_F(LogsTest, EachPaneKeepsItsOwnText) {
  logs.SetStatus(kModelPane, "Model 730");
  logs.SetStatus(kModePane, "Program Flash");
  EXPECT_EQ(host.statusPanes[kModelPane], "Model 730");
  EXPECT_EQ(host.statusPanes[kModePane], "Program Flash");
}

TEST_F(LogsTest, LineFormsWithTimeStampsAndCrLf) {
  logs.OpenCommsLog();
  logs.TraceSent("3f 56 0d ");
  logs.TraceReceived("56 0D \r");
  logs.TraceNote("END OF ACTION", "FailureFlag=0 Total Errors=0");
  logs.TraceNote("Serial Receive ", "41 ");
  // Every line is in the file before the log is closed.
  EXPECT_EQ(ReadFileBytes(logs.CommsLogPath()),
            "Log File Begin\r\n"
            "13:05:09:0042 R< 3f 56 0d \r\n"
            "13:05:09:0042 R> 56 0D \r\r\n"
            "13:05:09:0042[[END OF ACTION FailureFlag=0 Total Errors=0]]\r\n"
            "13:05:09:0042[[Serial Receive  41 ]]\r\n");
}

TEST_F(LogsTest, TimeStampIsUtcWithFourDigitMilliseconds) {
  EXPECT_EQ(Logs::FormatTimeStamp({13, 5, 9, 42}), "13:05:09:0042");
  EXPECT_EQ(Logs::FormatTimeStamp({0, 0, 0, 999}), "00:00:00:0999");
}

TEST_F(LogsTest, WritesWhileClosedMakeNoFile) {
  logs.TraceSent("00 ");
  logs.TraceNote("x", "y");
  logs.WriteCommsLog("z\n");
  EXPECT_FALSE(std::filesystem::exists(logs.CommsLogPath()));
}

TEST_F(LogsTest, ReopeningStartsAFreshFileEvenIfTheLastWasLeftOpen) {
  logs.OpenCommsLog();
  logs.TraceNote("run", "one");
  logs.OpenCommsLog();  // a stopped run left the first one open
  logs.TraceNote("run", "two");
  logs.CloseCommsLog();
  EXPECT_EQ(ReadFileBytes(logs.CommsLogPath()), "Log File Begin\r\n13:05:09:0042[[run two]]\r\n");
}

TEST_F(LogsTest, AFileThatCannotBeCreatedIsSilent) {
  Logs nowhere{host, host, dir.File("no-such-dir/comms.txt")};
  nowhere.OpenCommsLog();
  EXPECT_FALSE(nowhere.CommsLogOpen());
  nowhere.TraceSent("00 ");
}

TEST(HexText, CasesAndBlanks) {
  const unsigned char bytes[] = {0x3f, 0x56, 0x0d, 0xab};
  EXPECT_EQ(HexTextLower(bytes, 4), "3f 56 0d ab ");
  EXPECT_EQ(HexTextUpper(bytes, 4), "3F 56 0D AB ");
  EXPECT_EQ(HexTextUpper(bytes, 0), "");
}

}  // namespace
}  // namespace flash::testing
