// The bytes each link carries for a packet, and what one serial notification does.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

#include "link/serial/serial_wnd.h"
#include "link/udp/radio_socket.h"
#include "link_fixture.h"
#include "../serial/pty_pair.h"

namespace flash::testing {
namespace {

// A datagram peer on loopback with a port of its own.
class LoopbackPeer {
 public:
  LoopbackPeer() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~LoopbackPeer() { ::close(fd_); }
  int Port() const { return port_; }
  // The next datagram, or nothing within the wait.
  std::optional<std::string> Receive(int waitMs = 500) const {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, waitMs) <= 0) return std::nullopt;
    char buffer[2048];
    const auto n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n < 0) return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(n));
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

class FramingTest : public LinkFixture {
 protected:
  void OpenSerial() {
    settings.ComPort = pty.SlavePath();
    ASSERT_TRUE(links.OpenForRun());
  }
  void ConnectSocketToPeer() {
    ASSERT_TRUE(links.Socket().Create(0));
    ASSERT_TRUE(links.Socket().Connect("127.0.0.1", peer.Port()));
  }
  void Send(const std::string& packet) {
    engine.SendToRadio(reinterpret_cast<const std::uint8_t*>(packet.data()), packet.size());
  }

  PtyPair pty;
  LoopbackPeer peer;
};

struct FlagCase {
  const char* name;
  std::uint8_t serial;
  std::uint8_t ethernet;
  std::string packet;
  std::string onSerial;                    // what the radio's serial side gets
  std::optional<std::string> datagram;     // what the radio's UDP side gets
};

class FramingFlagsTest : public FramingTest, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(FramingFlagsTest, EachActiveLinkCarriesThePacket) {
  const FlagCase& c = GetParam();
  OpenSerial();
  ConnectSocketToPeer();
  settings.Passcode = 0x51234;  // only the low 16 bits travel
  settings.SerialActive = c.serial;
  settings.EthernetActive = c.ethernet;
  logs.OpenCommsLog();
  Send(c.packet);
  EXPECT_EQ(pty.Receive(std::chrono::milliseconds(c.onSerial.empty() ? 100 : 2000)), c.onSerial);
  EXPECT_EQ(peer.Receive(c.datagram ? 1000 : 100), c.datagram);
  // The trace is written whatever the links.
  const auto lines = ReadCrLfLines(logs.CommsLogPath());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].substr(13), " R< " + HexTextLower(reinterpret_cast<const unsigned char*>(c.packet.data()),
                                                        c.packet.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Flags, FramingFlagsTest,
    ::testing::Values(FlagCase{"SerialOnly", 1, 0, "?V\r", "?V\r", std::nullopt},
                      FlagCase{"EthernetOnly", 0, 1, "?V\r", "", std::string("\x12\x34?V\r")},
                      FlagCase{"Both", 1, 1, "?V\r", "?V\r", std::string("\x12\x34?V\r")},
                      FlagCase{"Neither", 0, 0, "?V\r", "", std::nullopt},
                      FlagCase{"EmptyPacket", 1, 1, "", "", std::string("\x12\x34")}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(FramingTest, ANotificationBecomesOneTracedChunk) {
  OpenSerial();
  logs.OpenCommsLog();
  pty.Send("VER 1234\r");
  ASSERT_TRUE(RunUntil([&] { return !replies.empty(); }));
  EXPECT_EQ(replies, std::vector<std::string>{"VER 1234\r"});
  EXPECT_EQ(dataArrived, 1);
  const auto lines = ReadCrLfLines(logs.CommsLogPath());
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[1].substr(13), "[[Serial Receive  56 45 52 20 31 32 33 34 0D ]]");
}

TEST_F(FramingTest, LineErrorAloneReadsNothing) {
  OpenSerial();
  pty.Send("A\r");
  ::usleep(50000);  // the bytes are in the port; the window thread has not looked yet
  EXPECT_EQ(links.OnSerialEvent(EV_ERR | (CE_FRAME << 16), 0), 0);
  EXPECT_TRUE(replies.empty());
  EXPECT_EQ(dataArrived, 0);
  // The watcher's own notification then finds the reply untouched.
  ASSERT_TRUE(RunUntil([&] { return !replies.empty(); }));
  EXPECT_EQ(replies[0], "A\r");
}

TEST_F(FramingTest, EventCharacterWithLineErrorIsStillRead) {
  OpenSerial();
  pty.Send("G\r");
  ::usleep(50000);
  EXPECT_EQ(links.OnSerialEvent(EV_RXFLAG | EV_ERR | (CE_OVERRUN << 16), 0), 0);
  EXPECT_EQ(replies, std::vector<std::string>{"G\r"});
  // The watcher's notification for the same byte finds the port already read: a 0-byte chunk.
  ASSERT_TRUE(RunUntil([&] { return replies.size() == 2; }));
  EXPECT_EQ(replies[1], "");
}

TEST_F(FramingTest, OneReadTakesAtMost128BytesAndPurgesTheRest) {
  OpenSerial();
  logs.OpenCommsLog();
  std::string reply(127, 'x');
  reply += '\r';
  pty.Send(reply + "tail\r");
  ::usleep(50000);
  links.OnSerialEvent(EV_RXFLAG, 0);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0], reply);
  const auto lines = ReadCrLfLines(logs.CommsLogPath());
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[1].size(), 13 + std::string("[[Serial Receive  ").size() + 128 * 3 + 2);
  // What came after the first 128 bytes was purged.
  RunUntil([] { return false; }, 200);
  for (std::size_t i = 1; i < replies.size(); ++i) EXPECT_EQ(replies[i], "");
}

}  // namespace
}  // namespace flash::testing
