// Whole runs of the engine over the real links: a pseudo-terminal and UDP to
// a radio in another network namespace, with the simulated radio's core on
// the far side answering at once.

#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

#include "../serial/pty_pair.h"
#include "link_fixture.h"
#include "peer_namespace.h"
#include "radio-sim/simulated_radio.h"
#include "ruf_samples.h"

namespace flash::testing {
namespace {

enum class Transport { Serial, Udp };

constexpr int kHangUpTimer = 9001;

class LinkRunTest : public LinkFixture, public ::testing::WithParamInterface<Transport> {
 protected:
  void StartRadio(radio_sim::RadioConfig config) {
    config.passcode = 0x2468;
    radio = std::make_unique<radio_sim::SimulatedRadio>(config);
    if (GetParam() == Transport::Serial) {
      pty = std::make_unique<PtyPair>();
      settings.SerialActive = 1;
      settings.EthernetActive = 0;
      settings.ComPort = pty->SlavePath();
      loop.WatchReadable(pty->MasterFd(), [this] {
        std::uint8_t buffer[512];
        const auto n = ::read(pty->MasterFd(), buffer, sizeof buffer);
        if (n <= 0) return;
        Perform(radio->OnSerialBytes({buffer, static_cast<std::size_t>(n)}), nullptr);
      });
      return;
    }
    peerNamespace = std::make_unique<PeerNamespace>();
    if (!peerNamespace->Available()) GTEST_SKIP() << peerNamespace->Why();
    const int port = 40000 + static_cast<int>(::getpid() % 20000);
    udpFd = peerNamespace->BindUdpSocket(port);
    ASSERT_GE(udpFd, 0);
    settings.SerialActive = 0;
    settings.EthernetActive = 1;
    settings.IpAddress = peerNamespace->PeerAddress();
    settings.UdpPort = port;
    settings.Passcode = 0x2468;
    loop.WatchReadable(udpFd, [this] {
      std::uint8_t buffer[2048];
      sockaddr_in from{};
      socklen_t length = sizeof from;
      const auto n = ::recvfrom(udpFd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
      if (n < 0) return;
      Perform(radio->OnDatagram({buffer, static_cast<std::size_t>(n)}), &from);
    });
  }

  // The radio answers at once: pauses are left out, writes go out as they are.
  void Perform(const std::vector<radio_sim::Action>& actions, const sockaddr_in* to) {
    for (const auto& action : actions) {
      if (action.kind == radio_sim::Action::Kind::HangUp && to == nullptr) {
        // Hang up once the updater has had time to read the last reply.
        loop.UnwatchReadable(pty->MasterFd());
        loop.SetTimer(kHangUpTimer, 100, [this](int id) {
          loop.KillTimer(id);
          pty->CloseMaster();
        });
        return;
      }
      if (action.kind != radio_sim::Action::Kind::Write) continue;
      if (to == nullptr) {
        pty->Send(std::string(action.bytes.begin(), action.bytes.end()));
      } else {
        ::sendto(udpFd, action.bytes.data(), action.bytes.size(), 0, reinterpret_cast<const sockaddr*>(to), sizeof *to);
      }
    }
  }

  void RunFile(int command, const std::string& content, const std::string& name = "730_test.ruf") {
    window.fileToChoose = dir.Write(name, content);
    window.dialogs.clear();
    engine.OnCommand(command);
    ASSERT_TRUE(RunUntil([&] { return engine.Run().State == RunState::Idle; }, 10000));
  }

  ~LinkRunTest() override {
    if (pty && pty->MasterFd() >= 0) loop.UnwatchReadable(pty->MasterFd());
    if (udpFd >= 0) {
      loop.UnwatchReadable(udpFd);
      ::close(udpFd);
    }
  }

  std::unique_ptr<radio_sim::SimulatedRadio> radio;
  std::unique_ptr<PtyPair> pty;
  std::unique_ptr<PeerNamespace> peerNamespace;
  int udpFd = -1;
};

TEST_P(LinkRunTest, ProgramThenVerifyIntelHex) {
  StartRadio({});
  RunFile(ID_UPDATE_RADIO, kIntelHexFile);
  EXPECT_EQ(window.dialogs, std::vector<int>{IDD_UPDATE_SUCCESS});
  EXPECT_TRUE(radio->Flash().Matches(0x10100, kIntelHexData));
  EXPECT_EQ(window.statusPanes[1], "Model 730");
  RunFile(ID_VERIFY_PROGRAM, kIntelHexFile);
  EXPECT_EQ(window.dialogs, std::vector<int>{IDD_VERIFY_SUCCESS});
  EXPECT_TRUE(window.messageBoxes.empty());
}

TEST_P(LinkRunTest, ProgramSRecords) {
  StartRadio({});
  RunFile(ID_UPDATE_RADIO, kSRecordFile);
  EXPECT_EQ(window.dialogs, std::vector<int>{IDD_UPDATE_SUCCESS});
  EXPECT_TRUE(radio->Flash().Matches(0, std::vector<std::uint8_t>{0xAA, 0xBB, 0xCC, 0xDD, 0x11, 0x22, 0x33, 0x44}));
}

TEST_P(LinkRunTest, FourBadEchoesFailTheRun) {
  radio_sim::RadioConfig config;
  config.faults.badEcho.push_back({4, 4});  // ?V, ZZ, 'A', then the first record four times
  StartRadio(config);
  RunFile(ID_UPDATE_RADIO, kIntelHexFile);
  EXPECT_EQ(window.dialogs, std::vector<int>{IDD_UPDATE_FAILED});
  EXPECT_EQ(engine.Run().ChecksumErrors, 1);
}

TEST_P(LinkRunTest, ModelMismatchSendsOnlyTheQuery) {
  radio_sim::RadioConfig config;
  config.modelCode = 720;
  StartRadio(config);
  window.fileToChoose = dir.Write("730_test.ruf", kIntelHexFile);
  engine.OnCommand(ID_UPDATE_RADIO);
  ASSERT_TRUE(RunUntil([&] { return !window.messageBoxes.empty(); }));
  RunUntil([] { return false; }, 200);
  EXPECT_EQ(window.messageBoxes, std::vector<std::string>{"The selected RUF file is not compatible with the Brennik"});
  EXPECT_EQ(radio->PacketCount(), 1u);
}

TEST_P(LinkRunTest, SerialLineHungUpMidRunIsACommunicationFailure) {
  if (GetParam() == Transport::Udp) GTEST_SKIP() << "a serial line only";
  radio_sim::RadioConfig config;
  config.faults.hangupAfter = 4;  // after the first record's echo
  StartRadio(config);
  RunFile(ID_UPDATE_RADIO, kIntelHexFile);
  EXPECT_EQ(window.dialogs, std::vector<int>{IDD_COMM_ERROR});
  EXPECT_NE(logs.LogText().find("has gone away"), std::string::npos);
  EXPECT_EQ(engine.Run().Busy, 0);
}

INSTANTIATE_TEST_SUITE_P(OverEachLink, LinkRunTest, ::testing::Values(Transport::Serial, Transport::Udp),
                         [](const auto& param) { return param.param == Transport::Serial ? "Serial" : "Udp"; });

}  // namespace
}  // namespace flash::testing
