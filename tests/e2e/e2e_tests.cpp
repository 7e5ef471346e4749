// End-to-end: the command-line updater against the simulated radio, as two
// programs, over a real pseudo-terminal and real UDP. Every run ends with the
// radio's flash compared with the image the file was made from.
// Tests named ...WaitsForTimeOut wait for a real reply time-out (5 or 10 s).

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "peer_namespace.h"
#include "process.h"
#include "temp_dir.h"

namespace flash::testing {
namespace {

const std::string kCli = FLASH_CLI_PATH;
const std::string kSim = RADIO_SIM_PATH;
const std::string kFixtures = FIXTURES_DIR;

struct CliResult {
  int exitCode;
  std::string out;
  std::string err;
};

class EndToEnd : public ::testing::Test {
 protected:
  std::string Fixture(const std::string& name) const { return kFixtures + "/" + name; }
  std::string Port() const { return dir.File("radio"); }

  void StartSerialRadio(std::vector<std::string> options = {}) {
    std::vector<std::string> command{kSim, "--link", Port(), "--dump-bin", dir.File("flash.bin"),
                                     "--transcript", dir.File("transcript.txt")};
    command.insert(command.end(), options.begin(), options.end());
    radio = std::make_unique<ChildProcess>(command, dir.Path().string(), dir.File("sim.out"), dir.File("sim.err"));
    ASSERT_TRUE(radio->Started());
    for (int i = 0; i < 500 && !std::filesystem::exists(Port()); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(std::filesystem::exists(Port())) << ReadFileBytes(dir.File("sim.err"));
  }

  // The radio in a network namespace of its own, at PeerAddress():udpPort.
  void StartUdpRadio(int passcode, std::vector<std::string> options = {}) {
    peer = std::make_unique<PeerNamespace>();
    if (!peer->Available()) GTEST_SKIP() << peer->Why();
    udpPort = 30000 + static_cast<int>(::getpid() % 20000);
    std::vector<std::string> command{"/usr/sbin/ip", "netns", "exec", peer->Name(), kSim,
                                     "--udp", peer->PeerAddress() + ":" + std::to_string(udpPort),
                                     "--passcode", std::to_string(passcode),
                                     "--dump-bin", dir.File("flash.bin"), "--transcript", dir.File("transcript.txt")};
    command.insert(command.end(), options.begin(), options.end());
    radio = std::make_unique<ChildProcess>(command, dir.Path().string(), dir.File("sim.out"), dir.File("sim.err"));
    for (int i = 0; i < 500 && ReadFileBytes(dir.File("sim.out")).find("radio-sim: udp") == std::string::npos; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_NE(ReadFileBytes(dir.File("sim.out")).find("radio-sim: udp"), std::string::npos)
        << ReadFileBytes(dir.File("sim.err"));
  }
  std::vector<std::string> UdpOptions(int passcode) const {
    return {"--udp", peer->PeerAddress() + ":" + std::to_string(udpPort), "--passcode", std::to_string(passcode)};
  }

  CliResult RunCli(std::vector<std::string> arguments) {
    std::vector<std::string> command{kCli};
    command.insert(command.end(), arguments.begin(), arguments.end());
    const std::string out = dir.File("cli" + std::to_string(++runs) + ".out");
    const std::string err = dir.File("cli" + std::to_string(runs) + ".err");
    ChildProcess cli(command, dir.Path().string(), out, err);
    const int code = cli.Wait(std::chrono::milliseconds(120000));
    return {code, ReadFileBytes(out), ReadFileBytes(err)};
  }
  CliResult Update(const std::string& file, std::vector<std::string> link) {
    link.insert(link.begin(), {"update", Fixture(file), "--check-errors"});
    return RunCli(link);
  }
  CliResult Verify(const std::string& file, std::vector<std::string> link) {
    link.insert(link.begin(), {"verify", Fixture(file), "--check-errors"});
    return RunCli(link);
  }
  std::vector<std::string> SerialOptions() const { return {"--port", Port()}; }

  // Ends the radio, which writes its flash and transcript.
  void StopRadio() {
    ASSERT_EQ(radio->Stop(), 0) << ReadFileBytes(dir.File("sim.err"));
    flash = ReadFileBytes(dir.File("flash.bin"));
    transcript = ReadFileBytes(dir.File("transcript.txt"));
  }
  bool FlashIsTheFirmware() const { return flash == ReadFileBytes(Fixture("expected_flash.bin")); }

  TempDir dir;
  std::unique_ptr<PeerNamespace> peer;
  std::unique_ptr<ChildProcess> radio;
  int udpPort = 0;
  int runs = 0;
  std::string flash;
  std::string transcript;
};

constexpr int kSuccess = 0;
constexpr int kRunFailed = 1;
constexpr int kCommunicationFailed = 2;
constexpr int kModelMismatch = 3;
constexpr int kLinkUnusable = 5;
constexpr int kNotJudged = 6;

TEST_F(EndToEnd, ProgramThenVerifyIntelHex) {
  StartSerialRadio();
  const auto update = Update("730_intel.ruf", SerialOptions());
  EXPECT_EQ(update.exitCode, kSuccess) << update.out << update.err;
  EXPECT_NE(update.out.find("Flash Update Successfuly Completed !"), std::string::npos);
  const auto verify = Verify("730_intel.ruf", SerialOptions());
  EXPECT_EQ(verify.exitCode, kSuccess) << verify.out << verify.err;
  EXPECT_NE(verify.out.find("File and Firmware Sucessfully Verified"), std::string::npos);
  StopRadio();
  EXPECT_TRUE(FlashIsTheFirmware());
  EXPECT_TRUE(std::filesystem::exists(dir.File("comms.txt")));
}

TEST_F(EndToEnd, ProgramThenVerifySRecords) {
  StartSerialRadio();
  EXPECT_EQ(Update("730_srec.ruf", SerialOptions()).exitCode, kSuccess);
  EXPECT_EQ(Verify("730_srec.ruf", SerialOptions()).exitCode, kSuccess);
  StopRadio();
  EXPECT_TRUE(FlashIsTheFirmware());
}

TEST_F(EndToEnd, VerifyFindsAFlashThatDiffers) {
  StartSerialRadio({"--load-bin", Fixture("differing_flash.bin")});
  const auto verify = Verify("730_intel.ruf", SerialOptions());
  EXPECT_EQ(verify.exitCode, kRunFailed) << verify.out << verify.err;
  EXPECT_NE(verify.out.find("does not match the contents of the radio's Flash Memory"), std::string::npos);
  StopRadio();
  EXPECT_EQ(flash, ReadFileBytes(Fixture("differing_flash.bin")));  // a verify writes nothing
}

struct RecoveryCase {
  const char* name;
  std::vector<std::string> fault;
  int exitCode;
  std::optional<bool> flashComplete;  // nothing: the flash is not what the case is about
};

class EndToEndFaults : public EndToEnd, public ::testing::WithParamInterface<RecoveryCase> {};

TEST_P(EndToEndFaults, RunEndsAsTheFaultAllows) {
  const RecoveryCase& c = GetParam();
  StartSerialRadio(c.fault);
  const auto update = Update("730_intel.ruf", SerialOptions());
  EXPECT_EQ(update.exitCode, c.exitCode) << update.out << update.err;
  StopRadio();
  if (c.flashComplete) {
    EXPECT_EQ(FlashIsTheFirmware(), *c.flashComplete);
  }
  if (c.exitCode != kSuccess) {
    EXPECT_EQ(update.out.find("Successfuly"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Serial, EndToEndFaults,
    ::testing::Values(RecoveryCase{"WrongEchoRecovered", {"--bad-echo", "10:1"}, kSuccess, true},
                      RecoveryCase{"FourWrongEchoesFail", {"--bad-echo", "10:4"}, kRunFailed, std::nullopt},
                      RecoveryCase{"ReplySplitAcrossTwoWrites", {"--split", "10:30"}, kSuccess, true},
                      RecoveryCase{"ReplySentTwice", {"--twice", "10"}, kSuccess, true},
                      RecoveryCase{"DroppedReplyRepeatedWaitsForTimeOut", {"--drop", "10"}, kSuccess, true},
                      RecoveryCase{"GarbageBeforeReplyWaitsForTimeOut", {"--garbage", "10"}, kSuccess, true},
                      RecoveryCase{"LineHungUpMidRunWaitsForTimeOut", {"--hangup", "20"}, kCommunicationFailed, false}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(EndToEnd, ModelMismatchSendsNothingButTheQuery) {
  StartSerialRadio({"--model", "720"});
  const auto update = Update("730_intel.ruf", SerialOptions());
  EXPECT_EQ(update.exitCode, kModelMismatch) << update.out << update.err;
  EXPECT_NE((update.out + update.err).find("The selected RUF file is not compatible with the Brennik"), std::string::npos);
  StopRadio();
  EXPECT_NE(transcript.find("packets 1"), std::string::npos) << transcript;
  EXPECT_EQ(flash, std::string(flash.size(), '\xFF'));  // not a byte written
}

TEST_F(EndToEnd, PortThatCannotBeOpened) {
  const auto update = Update("730_intel.ruf", {"--port", dir.File("no-such-port")});
  EXPECT_EQ(update.exitCode, kLinkUnusable) << update.out << update.err;
  EXPECT_NE((update.out + update.err).find(dir.File("no-such-port")), std::string::npos);
  EXPECT_EQ(update.out.find("Communication with the radio has failed"), std::string::npos);
}

TEST_F(EndToEnd, FreshInstallationNeverClaimsSuccess) {
  StartSerialRadio();
  const auto update = RunCli({"update", Fixture("730_intel.ruf"), "--port", Port()});
  EXPECT_EQ(update.exitCode, kNotJudged) << update.out << update.err;
  EXPECT_EQ(update.out.find("Successfuly"), std::string::npos);
  EXPECT_NE(update.out.find("There is no way to determine if Flash Updating was successful"), std::string::npos);
  StopRadio();
  EXPECT_TRUE(FlashIsTheFirmware());  // the radio did take it; the updater just cannot tell
}

TEST_F(EndToEnd, ProgramThenVerifyOverUdp) {
  StartUdpRadio(4660);
  const auto update = Update("730_intel.ruf", UdpOptions(4660));
  EXPECT_EQ(update.exitCode, kSuccess) << update.out << update.err;
  EXPECT_EQ(Verify("730_intel.ruf", UdpOptions(4660)).exitCode, kSuccess);
  StopRadio();
  EXPECT_TRUE(FlashIsTheFirmware());
}

TEST_F(EndToEnd, WrongPasscodeMeetsASilentRadioWaitsForTimeOut) {
  StartUdpRadio(4661);
  const auto update = Update("730_intel.ruf", UdpOptions(4660));
  EXPECT_EQ(update.exitCode, kCommunicationFailed) << update.out << update.err;
  StopRadio();
  EXPECT_NE(transcript.find("rejected"), std::string::npos);
}

}  // namespace
}  // namespace flash::testing
