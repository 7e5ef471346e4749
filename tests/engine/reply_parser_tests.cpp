// How each reply chunk is judged: advance, repeat or wait, and the version reply.

#include <gtest/gtest.h>

#include <string>

#include "engine/radio_models.h"
#include "engine_fixture.h"

namespace flash::testing {
namespace {

constexpr const char* kTwoRecords =
    ":10010000214601360121470136007EFE09D2190140\r\n"
    ":100110002146017E17C20001FF5F16002148011928\r\n";

enum class Outcome { Advance, Repeat, Wait };

struct ReplyCase {
  const char* name;
  std::string reply;
  Outcome outcome;
};

class ReplyClassificationTest : public EngineFixture, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(ReplyClassificationTest, MovesTheRunAsTheReplySays) {
  BeginStreaming(RunMode::Program, kTwoRecords);
  run().ModelMatched = true;
  engine.ProcessLine();  // record 1 sent; its echo must be 40
  run().LastEcho = 0x40;
  engine.ParseRadioReply(GetParam().reply);
  const auto sent = SentTexts();
  switch (GetParam().outcome) {
    case Outcome::Advance:
      ASSERT_EQ(sent.size(), 2u);
      EXPECT_EQ(static_cast<unsigned char>(sent[1][3]), 0x10u) << "the second record's address";
      break;
    case Outcome::Repeat:
      ASSERT_EQ(sent.size(), 2u);
      EXPECT_EQ(sent[1], sent[0]);
      break;
    case Outcome::Wait:
      EXPECT_EQ(sent.size(), 1u);
      EXPECT_TRUE(host.TimerRunning(TIMER_RESPONSE));
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(
    InTableOrder, ReplyClassificationTest,
    ::testing::Values(ReplyCase{"Ready", "READY\r", Outcome::Advance},
                      ReplyCase{"ReadyAnywhere", ":00READY\r", Outcome::Advance},
                      ReplyCase{"LowerCaseReadyNotUnderstood", "ready\r", Outcome::Wait},
                      ReplyCase{"GoodEcho", ":40\r", Outcome::Advance},
                      ReplyCase{"GoodEchoAfterBlank", ": 40\r", Outcome::Advance},
                      ReplyCase{"EchoReadsTwoDigitsOnly", ":407\r", Outcome::Advance},
                      ReplyCase{"EchoWithoutDigitsUsesLastEcho", ":\r", Outcome::Advance},
                      ReplyCase{"BadEcho", ":41\r", Outcome::Repeat},
                      ReplyCase{"BadCommand", "Z\r", Outcome::Wait},
                      ReplyCase{"Erased", "E\r", Outcome::Advance},
                      ReplyCase{"Go", "G\r", Outcome::Advance},
                      ReplyCase{"Address", "A\r", Outcome::Advance},
                      ReplyCase{"SReply", "S\r", Outcome::Wait},
                      ReplyCase{"DspBeforeVer", "DSP VER 1\r", Outcome::Advance},
                      ReplyCase{"Empty", "", Outcome::Wait},
                      ReplyCase{"Garbage", "\x01\x02junk\r", Outcome::Wait}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(EngineFixture, EchoDigitsInEitherCase) {
  for (const char* reply : {":3A\r", ":3a\r", ": 3A\r", ":3A7\r"}) {
    BeginStreaming(RunMode::Program, kTwoRecords);
    run().ModelMatched = true;
    engine.ProcessLine();
    run().ExpectedEcho = 0x3A;
    engine.ParseRadioReply(reply);
    EXPECT_EQ(run().LastEcho, 0x3A) << reply;
    EXPECT_EQ(run().ChecksumRetries, 0) << reply;
    radio.sent.clear();
    std::fclose(run().RufFile);
    run().RufFile = nullptr;
  }
}

TEST_F(EngineFixture, ReceivedTraceAndUnderstoodNote) {
  BeginStreaming(RunMode::Program, kTwoRecords);
  engine.ParseRadioReply("");
  engine.ParseRadioReply("VER 1234\r");
  const auto lines = CommsLinesUnstamped();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[1], " R> \r");
  EXPECT_EQ(lines[2], "[[serial response parser  I didn't understand the response ]]");
  EXPECT_EQ(lines[3], " R> 56 45 52 20 31 32 33 34 0D \r");
}

struct VersionCase {
  const char* name;
  int previousModel;
  std::string reply;
  int dspVersion;
  int radioModel;
  std::string modelPane;  // empty: the model is not one the updater knows
};

class VersionReplyTest : public EngineFixture, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionReplyTest, ReadsVersionAndModel) {
  const VersionCase& c = GetParam();
  BeginStreaming(RunMode::Program, kTwoRecords);
  run().RadioModel = c.previousModel;
  run().DspVersion = 77;
  run().FileModel = 99999;  // mismatch whatever the model: the row shows in pane 1
  engine.ParseRadioReply(c.reply);
  EXPECT_EQ(run().DspVersion, c.dspVersion);
  EXPECT_EQ(run().RadioModel, c.radioModel);
  EXPECT_EQ(host.statusPanes[kModelPane], c.modelPane);
  if (c.modelPane.empty()) {
    EXPECT_EQ(host.statusPanes[kModePane], "DSP VERSION " + std::to_string(c.dspVersion / 1000) + "." +
                                               std::to_string(c.dspVersion % 1000 + 1000).substr(1));
    EXPECT_TRUE(host.messageBoxes.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, VersionReplyTest,
    ::testing::Values(VersionCase{"ShortFormDefaultModel", 0, "VER 1234\r", 1234, 0, "Tarsel 710"},
                      VersionCase{"ShortFormReusesEarlierModel", 720, "VER 1234\r", 1234, 720, "Brennik 720"},
                      VersionCase{"ModelZeroIsDefault", 0, "VER 2101 0\r", 2101, 0, "Tarsel 710"},
                      VersionCase{"Model710IsUnlisted", 0, "VER 2101 710\r", 2101, 710, ""},
                      VersionCase{"UnknownModel", 0, "VER 2101 999\r", 2101, 999, ""},
                      VersionCase{"NoNumberKeepsDsp", 0, "VER\r", 77, 0, "Tarsel 710"},
                      VersionCase{"Model730", 0, "VER 2101 730\r", 2101, 730, "Model 730"}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace flash::testing
