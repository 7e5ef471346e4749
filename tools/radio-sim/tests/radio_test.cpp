// The radio's answers and what they do to its flash memory.

#include <gtest/gtest.h>

#include "packets.h"
#include "radio-sim/simulated_radio.h"

namespace flash::radio_sim {
namespace {

using test::Bytes;
using test::Text;

// Everything the actions write, joined.
std::string Written(const std::vector<Action>& actions) {
  std::string out;
  for (const Action& a : actions) {
    if (a.kind == Action::Kind::Write) out.append(a.bytes.begin(), a.bytes.end());
  }
  return out;
}

std::string EchoText(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, ":%02X\r", value & 0xFFU);
  return text;
}

class RadioSimRadio : public ::testing::Test {
 protected:
  std::string Send(const Bytes& packet) { return Written(radio().OnSerialBytes(packet)); }
  SimulatedRadio& radio() {
    if (!radio_) radio_.emplace(config_);
    return *radio_;
  }
  std::string LastNotes() {
    const auto& entries = radio().GetTranscript().Entries();
    std::string notes;
    for (const std::string& n : entries.back().notes) notes += n + ";";
    return notes;
  }

  RadioConfig config_;
  std::optional<SimulatedRadio> radio_;
};

TEST_F(RadioSimRadio, AnswersEachCommand) {
  const std::vector<std::pair<Bytes, std::string>> table = {
      {Text("?V\r"), "VER 2101 730\r"},
      {Text("XX\r"), "READY\r"},
      {Text("ZZ\r"), "READY\r"},
      {test::GoPacket(1, 2, 3, 4), "G\r"},
      {test::ErasePacket(1, 2, 3), "E\r"},
      {test::SegmentPacket(0x1000), "A\r"},
      {Text("UNLOCKBOOT\r"), ""},
      {Text("BAUD 9600\r"), ""},
      {Bytes{0x01, 0x7F, 0x0D}, "Z\r"},
  };
  for (const auto& [packet, reply] : table) EXPECT_EQ(Send(packet), reply);
}

TEST_F(RadioSimRadio, VersionReplyKeepsItsFieldOffsets) {
  config_.dspVersion = 12;
  config_.modelCode = 640;
  EXPECT_EQ(Send(Text("?V\r")), "VER 0012 640\r");  // DSP at offset 4, model at offset 9

  RadioConfig shortConfig;
  shortConfig.shortVersion = true;
  SimulatedRadio shortForm(shortConfig);
  EXPECT_EQ(Written(shortForm.OnSerialBytes(Text("?V\r"))), "VER 2101\r");
}

TEST_F(RadioSimRadio, DataRecordIsWrittenAndEchoedWithItsChecksum) {
  // :10010000214601360121470136007EFE09D2190140 in program mode.
  const Bytes data = {0x21, 0x46, 0x01, 0x36, 0x01, 0x21, 0x47, 0x01,
                      0x36, 0x00, 0x7E, 0xFE, 0x09, 0xD2, 0x19, 0x01};
  const Bytes packet = test::DataPacket('B', 0x0100, data);
  ASSERT_EQ(test::DataChecksum(packet), 0x40);
  EXPECT_EQ(Send(packet), ":40\r");
  EXPECT_TRUE(radio().Flash().Matches(0x0100, data));
}

TEST_F(RadioSimRadio, DamagedRecordGetsTheEchoOfWhatArrivedAndIsNotWritten) {
  Bytes packet = test::DataPacket('B', 0x0000, {0x11, 0x22, 0x33});
  const unsigned sent = test::DataChecksum(packet);
  packet[6] ^= 0x04;  // one data bit flipped on the line
  EXPECT_EQ(Send(packet), EchoText(sent - 0x04));
  EXPECT_EQ(radio().Flash().Bytes()[1], 0xFF);
}

TEST_F(RadioSimRadio, SegmentMovesLaterRecords) {
  EXPECT_EQ(Send(test::SegmentPacket(0x1000)), "A\r");
  Send(test::DataPacket('B', 0x0010, {0xAB}));
  EXPECT_EQ(radio().Flash().Bytes()[0x10010], 0xAB);

  Send(test::SegmentPacket(0x0000));
  Send(test::DataPacket('B', 0x0010, {0xCD}));
  EXPECT_EQ(radio().Flash().Bytes()[0x10], 0xCD);
}

TEST_F(RadioSimRadio, DamagedSegmentIsRefusedAndKeepsTheOldSegment) {
  Send(test::SegmentPacket(0x2000));
  Bytes damaged = test::SegmentPacket(0x3000);
  damaged[5] = 0x31;
  EXPECT_EQ(Send(damaged), "Z\r");
  EXPECT_EQ(radio().Segment(), 0x2000U);
}

TEST_F(RadioSimRadio, WriteOutsideTheFlashIsAWrongEchoAndWritesNothing) {
  config_.flashSize = 0x100;
  const Bytes straddling = test::DataPacket('B', 0x00FE, {1, 2, 3});
  EXPECT_EQ(Send(straddling), EchoText(test::DataChecksum(straddling) + 1U));
  EXPECT_EQ(LastNotes(), "outside the flash;");
  EXPECT_EQ(radio().Flash().Bytes()[0xFE], 0xFF);

  Send(test::SegmentPacket(0x0010));  // 0x100 and up
  const Bytes beyond = test::DataPacket('B', 0x0000, {1});
  EXPECT_EQ(Send(beyond), EchoText(test::DataChecksum(beyond) + 1U));
}

TEST_F(RadioSimRadio, VerifyComparesWithTheFlash) {
  Send(test::DataPacket('B', 0x0040, {1, 2, 3}));
  const Bytes same = test::DataPacket('V', 0x0040, {1, 2, 3});
  const Bytes differs = test::DataPacket('V', 0x0040, {1, 2, 4});
  EXPECT_EQ(Send(same), EchoText(test::DataChecksum(same)));
  EXPECT_EQ(Send(differs), EchoText(test::DataChecksum(differs) + 1U));
  EXPECT_EQ(LastNotes(), "differs from the flash;");
  EXPECT_EQ(radio().Flash().Bytes()[0x42], 3);  // verify never writes
}

TEST_F(RadioSimRadio, TestingRecordIsEchoedButNotWritten) {
  const Bytes packet = test::DataPacket(0x99, 0x0000, {0x55});
  EXPECT_EQ(Send(packet), EchoText(test::DataChecksum(packet)));
  EXPECT_EQ(radio().Flash().Bytes()[0], 0xFF);
}

TEST_F(RadioSimRadio, SRecordUsesTheConfiguredAddressWidth) {
  for (int width : {2, 3, 4}) {
    RadioConfig config;
    config.srecAddressBytes = width;
    SimulatedRadio radio(config);
    const Bytes packet = test::SRecordPacket(0x1234, width, {0xDE, 0xAD});
    // Ones' complement of NN + address + data.
    EXPECT_EQ(Written(radio.OnSerialBytes(packet)), EchoText(packet[packet.size() - 2]));
    EXPECT_TRUE(radio.Flash().Matches(0x1234, Bytes{0xDE, 0xAD})) << width;
  }
}

TEST_F(RadioSimRadio, SRecordEdgeCases) {
  // A termination record (2-byte address, no data) is echoed and writes nothing.
  const Bytes termination = test::SRecordPacket(0x0000, 2, {});
  EXPECT_EQ(Send(termination), EchoText(termination[termination.size() - 2]));
  EXPECT_EQ(LastNotes(), "no data;");

  Bytes damaged = test::SRecordPacket(0x0010, 4, {0x01});
  const unsigned sent = damaged[damaged.size() - 2];
  damaged[6] = 0x03;
  EXPECT_EQ(Send(damaged), EchoText(sent - 2U));
  EXPECT_EQ(radio().Flash().Bytes()[0x10], 0xFF);

  const Bytes outside = test::SRecordPacket(0x00200000, 4, {0x01});
  EXPECT_EQ(Send(outside), EchoText(outside[outside.size() - 2] + 1U));
}

TEST_F(RadioSimRadio, EraseClearsTheFlashAfterTheEraseTime) {
  config_.eraseTime = std::chrono::milliseconds(750);
  Send(test::DataPacket('B', 0, {0}));
  const std::vector<Action> actions = radio().OnSerialBytes(test::ErasePacket(0, 0, 0));
  ASSERT_EQ(actions.size(), 2U);
  EXPECT_EQ(actions[0], (Action{Action::Kind::Pause, std::chrono::milliseconds(750), {}}));
  EXPECT_EQ(Written(actions), "E\r");
  EXPECT_EQ(radio().Flash().Bytes()[0], 0xFF);
}

TEST_F(RadioSimRadio, DatagramsNeedThePasscodePrefix) {
  config_.passcode = 0x1234;
  EXPECT_EQ(Written(radio().OnDatagram(Bytes{0x12, 0x34, '?', 'V', '\r'})), "VER 2101 730\r");
  EXPECT_TRUE(radio().OnDatagram(Bytes{0x12, 0x35, '?', 'V', '\r'}).empty());
  EXPECT_TRUE(radio().OnDatagram(Bytes{0x12}).empty());
  const Transcript& transcript = radio().GetTranscript();
  EXPECT_EQ(transcript.Packets(), 1U);
  EXPECT_EQ(transcript.Rejected(), 2U);
}

TEST_F(RadioSimRadio, PacketLimitIgnoresWhatFollows) {
  config_.maxPackets = 2;
  EXPECT_EQ(Send(Text("?V\r?V\r?V\r")), "VER 2101 730\rVER 2101 730\r");
  EXPECT_TRUE(radio().LimitReached());
  EXPECT_EQ(radio().PacketCount(), 2U);
}

}  // namespace
}  // namespace flash::radio_sim
