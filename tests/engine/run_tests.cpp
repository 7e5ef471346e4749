// Whole runs in virtual time: the bytes sent, the log, the panes, the dialogs
// and comms.txt, against radios that work, fail and fall silent.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/radio_models.h"
#include "engine_fixture.h"
#include "ruf_samples.h"

namespace flash::testing {
namespace {

class RunTest : public EngineFixture {
 protected:
  // Advances the clock in small steps and checks at each that a run which
  // waits for the radio has a timer running, so that it must end.
  void AdvanceWatchingTimers(std::int64_t total) {
    for (std::int64_t t = 0; t < total; t += 50) {
      host.Advance(50);
      if (engine.RunActive()) {
        ASSERT_TRUE(host.TimerRunning(TIMER_RESPONSE) || host.TimerRunning(TIMER_VERSION))
            << "a run waits without a timer at " << host.NowMs() << " ms";
      }
    }
  }

  // Indices of the sent packets equal to the given text.
  std::vector<std::int64_t> TimesSent(const std::string& text) const {
    std::vector<std::int64_t> times;
    for (const auto& packet : radio.sent) {
      if (packet.Text() == text) times.push_back(packet.atMs);
    }
    return times;
  }

  static std::string Packet(std::initializer_list<int> bytes) {
    std::string text;
    for (int b : bytes) text.push_back(static_cast<char>(b));
    return text;
  }
};

TEST_F(RunTest, ProgramRunAgainstAWorkingRadio) {
  StartRun(ID_UPDATE_RADIO, kIntelHexFile);
  EXPECT_EQ(run().Busy, 1);
  AdvanceWatchingTimers(1000);

  const auto sent = SentTexts();
  ASSERT_EQ(sent.size(), 5u);
  EXPECT_EQ(sent[0], "?V\r");
  EXPECT_EQ(sent[1], "XX\r");
  EXPECT_EQ(sent[2], Packet({'A', 0x02, 0x00, 0x00, 0x02, 0x10, 0x00, 0xEC, 0x0D}));
  EXPECT_EQ(static_cast<unsigned char>(sent[3][0]), 'B');
  EXPECT_EQ(sent[3].size(), 23u);
  EXPECT_EQ(static_cast<unsigned char>(sent[4][21]), 0x28);

  EXPECT_EQ(host.dialogs, std::vector<int>{IDD_UPDATE_SUCCESS});
  EXPECT_EQ(logs.LogText(), "\r\n Flash Rom Update File - " + dir.File("710_test.ruf") +
                                "\r\n\r\n"
                                " Please be patient while your radio is being updated.\r\n\r\n"
                                " 4 total data lines in file.\r\n"
                                "  test file\r\n"
                                " End Of Code Processing, Please Standby!\r\n"
                                "4 Lines Processed in 0 Seconds\r\n"
                                " Close Communications Port\r\n"
                                " Close File\r\n");
  EXPECT_EQ(host.logPane, logs.LogText());
  EXPECT_EQ(host.statusPanes[kProgressPane], "");
  EXPECT_EQ(host.statusPanes[kModelPane], "Tarsel 710");
  EXPECT_EQ(host.statusPanes[kModePane], "Program Flash");
  EXPECT_EQ(run().Busy, 0);
  EXPECT_EQ(run().RufFile, nullptr);
  EXPECT_FALSE(host.TimerRunning(TIMER_RESPONSE));
  EXPECT_FALSE(host.TimerRunning(TIMER_VERSION));
  EXPECT_EQ(radio.closes, 1);

  EXPECT_EQ(CommsLinesUnstamped(),
            (std::vector<std::string>{
                "Log File Begin",
                " R< 3f 56 0d ",
                " R> 56 45 52 20 32 31 30 31 0D \r",
                " R< 58 58 0d ",
                " R> 52 45 41 44 59 0D \r",
                " R< 41 02 00 00 02 10 00 ec 0d ",
                " R> 41 0D \r",
                " R< 42 10 01 00 00 21 46 01 36 01 21 47 01 36 00 7e fe 09 d2 19 01 40 0d ",
                " R> 3A 34 30 0D \r",
                " R< 42 10 01 10 00 21 46 01 7e 17 c2 00 01 ff 5f 16 00 21 48 01 19 28 0d ",
                " R> 3A 32 38 0D \r",
                "[[End of Processing 0 Checksum Errors Encountered. Total time 0 Seconds]]",
                "[[END OF ACTION FailureFlag=0 Total Errors=0]]",
            }));
  EXPECT_EQ(CommsLines()[1].substr(0, 13), "13:05:09:0042");
}

struct GoodRunCase {
  const char* name;
  int command;
  const std::string* file;
  int dialog;
  char modeByte;
  std::size_t dataPackets;
  const char* countLine;
};

class GoodRunTest : public RunTest, public ::testing::WithParamInterface<GoodRunCase> {};

TEST_P(GoodRunTest, EndsWithTheSuccessDialog) {
  const GoodRunCase& c = GetParam();
  StartRun(c.command, *c.file);
  AdvanceWatchingTimers(1000);
  EXPECT_EQ(host.dialogs, std::vector<int>{c.dialog});
  EXPECT_EQ(radio.SentStartingWith(static_cast<std::uint8_t>(c.modeByte)).size(), c.dataPackets);
  EXPECT_NE(logs.LogText().find(c.countLine), std::string::npos);
  EXPECT_EQ(run().Busy, 0);
  if (c.command == ID_VERIFY_PROGRAM) {
    EXPECT_EQ(host.statusPanes[kModePane], "");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, GoodRunTest,
    ::testing::Values(
        GoodRunCase{"IntelHexProgram", ID_UPDATE_RADIO, &kIntelHexFile, IDD_UPDATE_SUCCESS, 'B', 2, " 4 total data lines"},
        GoodRunCase{"IntelHexVerify", ID_VERIFY_PROGRAM, &kIntelHexFile, IDD_VERIFY_SUCCESS, 'V', 2, " 4 total data lines"},
        GoodRunCase{"SRecordProgram", ID_UPDATE_RADIO, &kSRecordFile, IDD_UPDATE_SUCCESS, 'S', 3, " 3 total data lines"},
        GoodRunCase{"SRecordVerify", ID_VERIFY_PROGRAM, &kSRecordFile, IDD_VERIFY_SUCCESS, 'S', 3, " 3 total data lines"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(RunTest, FourBadEchoesGiveUpTheLineAndFailTheRun) {
  radio.responder = [](const std::vector<std::uint8_t>& packet, std::size_t index) -> std::optional<std::string> {
    if (packet[0] == 'B' && packet[3] == 0x00) return std::string(":00\r");  // record 1: always wrong
    return ScriptedRadio::CorrectReply(packet, 710);
    (void)index;
  };
  StartRun(ID_UPDATE_RADIO, kIntelHexFile);
  AdvanceWatchingTimers(1000);
  const auto records = radio.SentStartingWith('B');
  ASSERT_EQ(records.size(), 5u);  // record 1 once and three repeats, then record 2
  for (int i = 1; i < 4; ++i) EXPECT_EQ(records[static_cast<std::size_t>(i)].bytes, records[0].bytes);
  EXPECT_NE(records[4].bytes, records[0].bytes);
  EXPECT_EQ(run().ChecksumErrors, 1);
  EXPECT_EQ(run().FailureFlag, 1);
  EXPECT_EQ(host.dialogs, std::vector<int>{IDD_UPDATE_FAILED});
  EXPECT_EQ(CommsLinesUnstamped().back(), "[[END OF ACTION FailureFlag=1 Total Errors=1]]");
}

TEST_F(RunTest, SilentRadioMidRunGetsEightSendsThenTheCommunicationError) {
  radio.responder = [](const std::vector<std::uint8_t>& packet, std::size_t) -> std::optional<std::string> {
    if (packet[0] == 'B') return std::nullopt;
    return ScriptedRadio::CorrectReply(packet, 710);
  };
  std::int64_t dialogAt = -1;
  host.onDialog = [&](int) { dialogAt = host.NowMs(); };
  StartRun(ID_UPDATE_RADIO, kIntelHexFile);
  AdvanceWatchingTimers(60000);

  const auto records = radio.SentStartingWith('B');
  ASSERT_EQ(records.size(), 8u);
  for (std::size_t i = 1; i < records.size(); ++i) {
    EXPECT_EQ(records[i].bytes, records[0].bytes);
    EXPECT_EQ(records[i].atMs - records[i - 1].atMs, 5000);
  }
  EXPECT_EQ(host.dialogs, std::vector<int>{IDD_COMM_ERROR});
  EXPECT_EQ(dialogAt - records[0].atMs, 40000);
  EXPECT_EQ(host.beeps, 1);
  EXPECT_EQ(run().Busy, 0);
  EXPECT_FALSE(engine.RunActive());

  // A late reply changes nothing: no packet, no dialog, the file untouched.
  const auto sentBefore = radio.sent.size();
  radio.Deliver(":40\r");
  radio.Deliver("READY\r");
  host.Advance(60000);
  EXPECT_EQ(radio.sent.size(), sentBefore);
  EXPECT_EQ(host.dialogs.size(), 1u);
}

TEST_F(RunTest, VersionQueryUnansweredGivesOneErrorAfterTenSeconds) {
  radio.responder = nullptr;
  std::int64_t dialogAt = -1;
  host.onDialog = [&](int) { dialogAt = host.NowMs(); };
  StartRun(ID_UPDATE_RADIO, kIntelHexFile);
  AdvanceWatchingTimers(60000);
  // The query, and its repeat after five seconds: never a line of the file.
  EXPECT_EQ(SentTexts(), (std::vector<std::string>{"?V\r", "?V\r"}));
  EXPECT_EQ(TimesSent("?V\r"), (std::vector<std::int64_t>{0, 5000}));
  EXPECT_EQ(host.dialogs, std::vector<int>{IDD_COMM_ERROR});
  EXPECT_EQ(dialogAt, 10000);
  EXPECT_EQ(radio.purges, 1);
  EXPECT_EQ(run().Busy, 0);
}

class ModelMismatchTest : public RunTest, public ::testing::WithParamInterface<RadioModel> {};

TEST_P(ModelMismatchTest, StopsWithTheModelsMessage) {
  const RadioModel& model = GetParam();
  radio.responder = ScriptedRadio::CorrectRadio(model.code);
  StartRun(ID_UPDATE_RADIO, kIntelHexFile, "999_other.ruf");
  AdvanceWatchingTimers(60000);
  EXPECT_EQ(SentTexts(), std::vector<std::string>{"?V\r"});
  EXPECT_EQ(host.messageBoxes, std::vector<std::string>{model.mismatchMessage});
  EXPECT_EQ(host.statusPanes[kModelPane], model.statusText);
  EXPECT_TRUE(host.dialogs.empty());
  EXPECT_EQ(run().Busy, 0);
  EXPECT_FALSE(host.TimerRunning(TIMER_RESPONSE));
  EXPECT_FALSE(host.TimerRunning(TIMER_VERSION));
  // The incompatible file is never streamed, whatever arrives later.
  radio.Deliver("READY\r");
  EXPECT_EQ(radio.sent.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(EveryRow, ModelMismatchTest, ::testing::ValuesIn(RadioModelTable().begin(), RadioModelTable().end()),
                         [](const auto& param) { return std::to_string(param.param.code); });

TEST_F(RunTest, Model730RepeatsZzUntilTheRadioIsReady) {
  int zzSeen = 0;
  radio.responder = [&](const std::vector<std::uint8_t>& packet, std::size_t) -> std::optional<std::string> {
    const std::string text(packet.begin(), packet.end());
    if (text == "ZZ\r" && ++zzSeen == 1) return std::nullopt;  // the first acknowledge goes unanswered
    return ScriptedRadio::CorrectReply(packet, 730);
  };
  StartRun(ID_UPDATE_RADIO, kIntelHexFile, "730_radio.ruf");
  host.Advance(10);
  EXPECT_EQ(host.statusPanes[kModelPane], "Model 730");
  EXPECT_EQ(run().ZzPending, 1);
  AdvanceWatchingTimers(10000);
  EXPECT_EQ(TimesSent("ZZ\r").size(), 2u);
  EXPECT_EQ(TimesSent("ZZ\r")[1] - TimesSent("ZZ\r")[0], 5000);
  EXPECT_EQ(run().ZzPending, 0);
  EXPECT_EQ(host.dialogs, std::vector<int>{IDD_UPDATE_SUCCESS});
}

TEST_F(RunTest, IgnoreErrorsModeIsPacedByTimeOuts) {
  run().IgnoreErrors = 1;
  radio.responder = [](const std::vector<std::uint8_t>& packet, std::size_t) -> std::optional<std::string> {
    if (packet.size() == 3 && packet[0] == '?') return std::string("VER 2101\r");
    return std::nullopt;  // nothing after the version reply
  };
  StartRun(ID_UPDATE_RADIO, kIntelHexFile);
  AdvanceWatchingTimers(60000);
  // Each line waits its whole time-out, then the run goes on; nothing is repeated.
  const auto& sent = radio.sent;
  ASSERT_EQ(sent.size(), 4u);  // ?V, the segment, two records
  EXPECT_EQ(sent[2].atMs - sent[1].atMs, 10000);
  EXPECT_EQ(sent[3].atMs - sent[2].atMs, 10000);
  EXPECT_EQ(host.dialogs, std::vector<int>{IDD_NOT_JUDGED});
  EXPECT_NE(logs.LogText().find("*** Detected Command Line Switch to Ignore Radio Responses and Errors ***"),
            std::string::npos);
}

TEST_F(RunTest, TestingModeAdvancesOnAnyReply) {
  radio.responder = [](const std::vector<std::uint8_t>&, std::size_t) { return std::optional<std::string>("Z\r"); };
  StartRun(ID_TESTING_MODE, kIntelHexFile);
  AdvanceWatchingTimers(1000);
  EXPECT_EQ(radio.SentStartingWith(0x99).size(), 2u);
  EXPECT_EQ(radio.SentStartingWith('A').size(), 1u);
  EXPECT_EQ(radio.sent.size(), 4u);  // ?V, then each line once; no acknowledge
  EXPECT_TRUE(host.dialogs.empty());
  EXPECT_EQ(host.statusPanes[kModePane], "");
  EXPECT_EQ(run().Busy, 0);
  // A program run afterwards still shows its own result.
  radio.responder = ScriptedRadio::CorrectRadio(710);
  StartRun(ID_UPDATE_RADIO, kIntelHexFile);
  host.Advance(1000);
  EXPECT_EQ(host.dialogs, std::vector<int>{IDD_UPDATE_SUCCESS});
}

TEST_F(RunTest, HandEditedIgnoreErrorsOfFiveChecksRepliesWithLineTimeOuts) {
  run().IgnoreErrors = 5;
  EXPECT_FALSE(engine.CommandEnabled(ID_VERIFY_PROGRAM));
  int badEchoes = 0;
  radio.responder = [&](const std::vector<std::uint8_t>& packet, std::size_t) -> std::optional<std::string> {
    if (packet[0] == 'B' && badEchoes++ == 0) return std::string(":00\r");
    return ScriptedRadio::CorrectReply(packet, 710);
  };
  std::vector<int> periods;
  StartRun(ID_UPDATE_RADIO, kIntelHexFile);
  periods.push_back(host.TimerPeriod(TIMER_RESPONSE).value_or(0));
  AdvanceWatchingTimers(1000);
  EXPECT_EQ(periods, std::vector<int>{10000});  // the query's own time-out, not 5000
  EXPECT_EQ(radio.SentStartingWith('B').size(), 3u);  // the bad echo was checked and repeated
  EXPECT_EQ(host.dialogs, std::vector<int>{IDD_UPDATE_SUCCESS});

  engine.OnCommand(ID_TOGGLE_IGNORE_ERRORS);
  EXPECT_EQ(run().IgnoreErrors, 1);
  engine.OnCommand(ID_TOGGLE_IGNORE_ERRORS);
  EXPECT_EQ(run().IgnoreErrors, 0);
}

TEST_F(RunTest, ResultDialogOpensOnlyOnce) {
  host.onDialog = [&](int) {
    radio.Deliver("READY\r");
    radio.Deliver(":28\r");
    host.Advance(30000);
  };
  StartRun(ID_UPDATE_RADIO, kIntelHexFile);
  host.Advance(1000);
  EXPECT_EQ(host.dialogs, std::vector<int>{IDD_UPDATE_SUCCESS});
  EXPECT_EQ(radio.sent.size(), 5u);
  // Nothing of the run is running once it has ended.
  EXPECT_FALSE(host.TimerRunning(TIMER_RESPONSE));
}

TEST_F(RunTest, RepliesDuringTheCommunicationErrorDialogChangeNothing) {
  radio.responder = [](const std::vector<std::uint8_t>& packet, std::size_t) -> std::optional<std::string> {
    if (packet[0] == 'B') return std::nullopt;
    return ScriptedRadio::CorrectReply(packet, 710);
  };
  host.onDialog = [&](int) {
    radio.Deliver(":40\r");
    host.Advance(20000);
  };
  StartRun(ID_UPDATE_RADIO, kIntelHexFile);
  host.Advance(60000);
  EXPECT_EQ(host.dialogs, std::vector<int>{IDD_COMM_ERROR});
  EXPECT_EQ(radio.SentStartingWith('B').size(), 8u);
}

TEST_F(RunTest, DamagedFileIsRefusedBeforeAnythingIsSent) {
  const std::string file =
      "; damaged\r\n"
      ":020000021000EC\r\n"
      ":10010000214601360121470136007EFE09D2190141\r\n"  // line 3: checksum
      ":100110002146017E17C20001FF5F16002148011928\r\n"
      ":1001200019\r\n";                               // line 5: cut short
  StartRun(ID_UPDATE_RADIO, file);
  EXPECT_TRUE(radio.sent.empty());
  EXPECT_EQ(radio.opens, 0);
  ASSERT_EQ(host.messageBoxes.size(), 1u);
  EXPECT_NE(host.messageBoxes[0].find("line 3 of the file has a checksum error"), std::string::npos)
      << host.messageBoxes[0];
  EXPECT_NE(logs.LogText().find(" Line 3 has a checksum error (calculated 40, the line says 41)\r\n"), std::string::npos);
  EXPECT_NE(logs.LogText().find(" Line 5 cannot be read: "), std::string::npos);
  EXPECT_EQ(run().Busy, 0);
  EXPECT_EQ(run().RufFile, nullptr);
  EXPECT_TRUE(engine.CommandEnabled(ID_UPDATE_RADIO));

  // A verify run streams the same file as it is.
  StartRun(ID_VERIFY_PROGRAM, file);
  EXPECT_EQ(SentTexts(), std::vector<std::string>{"?V\r"});
}

TEST_F(RunTest, NoLineIsSentBeforeTheModelMatches) {
  radio.responder = [](const std::vector<std::uint8_t>&, std::size_t) { return std::optional<std::string>("READY\r"); };
  StartRun(ID_UPDATE_RADIO, kIntelHexFile);
  AdvanceWatchingTimers(60000);
  for (const auto& text : SentTexts()) EXPECT_EQ(text, "?V\r");
  EXPECT_EQ(host.dialogs, std::vector<int>{IDD_COMM_ERROR});
}

TEST_F(RunTest, UnknownModelWaitsForTheTimeOuts) {
  radio.responder = ScriptedRadio::CorrectRadio(999);
  StartRun(ID_UPDATE_RADIO, kIntelHexFile, "999_x.ruf");
  AdvanceWatchingTimers(60000);
  EXPECT_EQ(host.statusPanes[kModePane], "DSP VERSION 2.101");
  EXPECT_NE(logs.LogText().find(" The radio reports model 999, which this updater does not know (DSP VERSION 2.101).\r\n"),
            std::string::npos);
  EXPECT_EQ(TimesSent("?V\r").size(), 8u);
  EXPECT_EQ(host.dialogs, std::vector<int>{IDD_COMM_ERROR});
}

TEST_F(RunTest, EveryRunStartsWithAFreshRetryBudgetAndItsOwnLog) {
  // Run 1 stops on a model mismatch and leaves comms.txt open.
  radio.responder = ScriptedRadio::CorrectRadio(720);
  StartRun(ID_UPDATE_RADIO, kIntelHexFile);
  host.Advance(100);
  ASSERT_EQ(host.messageBoxes.size(), 1u);
  EXPECT_NE(run().RufFile, nullptr);
  run().TimeoutRetries = 7;

  // Run 2: silent radio. Its query is repeated once before the error, not failed at once.
  radio.responder = nullptr;
  radio.sent.clear();
  StartRun(ID_UPDATE_RADIO, kIntelHexFile);
  const auto lines = CommsLinesUnstamped();
  ASSERT_EQ(lines.size(), 2u);  // written through at once, and only this run's
  EXPECT_EQ(lines[0], "Log File Begin");
  EXPECT_EQ(lines[1], " R< 3f 56 0d ");
  host.Advance(20000);
  EXPECT_EQ(TimesSent("?V\r").size(), 2u);
}

TEST_F(RunTest, CancelledFileDialogStartsNothing) {
  StartRun(ID_UPDATE_RADIO, kIntelHexFile, "720_x.ruf");
  radio.responder = ScriptedRadio::CorrectRadio(710);
  host.Advance(100);  // mismatch: the file is left open
  host.fileToChoose.reset();
  radio.sent.clear();
  engine.OnCommand(ID_VERIFY_PROGRAM);
  EXPECT_EQ(run().RufFile, nullptr);  // the stopped run's file is closed first
  EXPECT_TRUE(radio.sent.empty());
  EXPECT_EQ(host.statusPanes[kModePane], "");
  EXPECT_EQ(run().Busy, 0);
  ASSERT_EQ(host.fileRequests.size(), 2u);
  const OpenFileRequest& request = host.fileRequests[1];
  EXPECT_EQ(request.title, "Select Firmware Update File");
  ASSERT_EQ(request.filters.size(), 2u);
  EXPECT_EQ(request.filters[0].name, "Firmware Files(*.ruf)");
  EXPECT_EQ(request.filters[0].pattern, "*.ruf");
  EXPECT_EQ(request.filters[1].name, "All Files(*.*)");
  EXPECT_EQ(request.filters[1].pattern, "*.*");
  EXPECT_EQ(request.defaultExtension, "ruf");
  EXPECT_EQ(request.initialName, "*.ruf");
}

TEST_F(RunTest, ModelNumberComesFromTheFileName) {
  const std::vector<std::tuple<std::string, std::string, int>> cases{
      {"710_v2.ruf", "710", 710}, {"v2_710.ruf", "v2_", 0}, {"7.ruf", "7.r", 7}};
  radio.responder = nullptr;
  for (const auto& [name, text, model] : cases) {
    StartRun(ID_TESTING_MODE, kIntelHexFile, name);
    EXPECT_EQ(std::string(run().FileModelText), text);
    EXPECT_EQ(run().FileModel, model);
    host.Advance(20000);  // let the run end
  }
}

TEST_F(RunTest, RunDoesNotStartWithoutFileOrLink) {
  host.fileToChoose = dir.File("missing.ruf");
  engine.OnCommand(ID_UPDATE_RADIO);
  EXPECT_EQ(host.messageBoxes, std::vector<std::string>{"Unable to open file"});

  radio.openResult = false;
  StartRun(ID_UPDATE_RADIO, kIntelHexFile);
  EXPECT_TRUE(radio.sent.empty());
  EXPECT_EQ(run().Busy, 0);
  EXPECT_EQ(run().RufFile, nullptr);
  EXPECT_FALSE(logs.CommsLogOpen());
  EXPECT_TRUE(engine.CommandEnabled(ID_UPDATE_RADIO));
}

TEST_F(RunTest, RunCommandsAreRefusedWhileARunIsUnderWay) {
  radio.responder = nullptr;
  StartRun(ID_UPDATE_RADIO, kIntelHexFile);
  EXPECT_FALSE(engine.CommandEnabled(ID_UPDATE_RADIO));
  engine.OnCommand(ID_QUERY_MODE);
  engine.OnCommand(ID_TESTING_MODE);
  EXPECT_EQ(run().Mode, RunMode::Program);
  EXPECT_EQ(host.fileRequests.size(), 1u);
}

TEST_F(RunTest, LateTimerAndReplyOutsideARunAreIgnored) {
  engine.OnTimer(TIMER_RESPONSE);
  engine.OnTimer(TIMER_VERSION);
  radio.Deliver("READY\r");
  EXPECT_TRUE(radio.sent.empty());
  EXPECT_TRUE(host.dialogs.empty());
}

}  // namespace
}  // namespace flash::testing

namespace flash::testing {
namespace {

TEST_F(RunTest, LostLinkEndsTheRunAtOnce) {
  radio.responder = [this](const std::vector<std::uint8_t>& packet, std::size_t) -> std::optional<std::string> {
    if (packet[0] == 'B') {
      host.Schedule(0, [this] { engine.OnLinkLost("The serial port COM9 has gone away."); });
      return std::nullopt;
    }
    return ScriptedRadio::CorrectReply(packet, 710);
  };
  StartRun(ID_UPDATE_RADIO, kIntelHexFile);
  host.Advance(100);
  EXPECT_EQ(host.dialogs, std::vector<int>{IDD_COMM_ERROR});
  EXPECT_NE(logs.LogText().find(" The serial port COM9 has gone away.\r\n"), std::string::npos);
  EXPECT_EQ(radio.SentStartingWith('B').size(), 1u);
  engine.OnLinkLost("again");  // after the run: nothing
  EXPECT_EQ(host.dialogs.size(), 1u);
}

}  // namespace
}  // namespace flash::testing
