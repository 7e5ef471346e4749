#include "link/udp/udp_link.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <climits>
#include <string>

#include "link/os/poll_event_loop.h"
#include "udp_test_support.h"

namespace flash {
namespace {

using udp_test::Bytes;
using udp_test::FreePort;
using udp_test::Peer;
using namespace std::chrono_literals;

TEST(UdpDatagram, PasscodeLow16BitsGoFirstHighByteFirst) {
  PollEventLoop loop;
  udp_test::RecordingWindow window;
  CRadioSocket socket(loop, window);
  Peer radio;
  ASSERT_TRUE(socket.Create(0));
  ASSERT_TRUE(socket.Connect("127.0.0.1", radio.Port()));

  const Bytes packet{'?', 'V', '\r', 0x00, 0xFF};
  struct Case {
    int passcode;
    std::uint8_t high;
    std::uint8_t low;
  };
  for (const Case& c : {Case{0x1234, 0x12, 0x34}, Case{0x7A1234, 0x12, 0x34}, Case{65536, 0x00, 0x00},
                        Case{-1, 0xFF, 0xFF}, Case{-2, 0xFF, 0xFE}, Case{-65536, 0x00, 0x00},
                        Case{INT_MIN, 0x00, 0x00}, Case{INT_MAX, 0xFF, 0xFF}}) {
    SCOPED_TRACE(c.passcode);
    const Bytes datagram = BuildDatagram(c.passcode, packet.data(), packet.size());
    ASSERT_TRUE(socket.Send(datagram.data(), datagram.size()));
    EXPECT_EQ(radio.Receive(), (Bytes{c.high, c.low, '?', 'V', '\r', 0x00, 0xFF}));
  }
  EXPECT_EQ(BuildDatagram(0x0102, nullptr, 0), (Bytes{0x01, 0x02}));
}

// The run-start and run-end handling on a real socket. A socket bound to port
// P on every address and connected to 127.0.0.1:P receives its own datagrams,
// which shows both of its endpoints at once.
class UdpLink : public ::testing::Test {
 protected:
  UdpLink() {
    socket.SetReceiveHandler(
        [this](const std::uint8_t* data, std::uint8_t count) { received.emplace_back(data, data + count); });
  }

  bool Open(const std::string& address, int port) {
    return OpenEthernetLink(state, socket, address, port, logs, window);
  }

  // Sends through the socket and waits until a datagram comes back.
  bool Echoes(const Bytes& data) {
    received.clear();
    if (!socket.Send(data.data(), data.size())) return false;
    return loop.RunUntil([&] { return !received.empty(); }, 5s) && received.front() == data;
  }

  PollEventLoop loop;
  udp_test::RecordingWindow window;
  udp_test::FixedClock clock;
  Logs logs{window, clock, "udp-link-test-comms.txt"};
  CRadioSocket socket{loop, window};
  UdpLinkState state;
  std::vector<Bytes> received;
};

TEST_F(UdpLink, FirstRunBindsAndConnectsToTheSamePort) {
  const int port = FreePort();
  ASSERT_TRUE(Open("127.0.0.1", port));
  EXPECT_EQ(logs.LogText(), "Using Ethernet Interface \r\n");
  EXPECT_TRUE(state.socketCreated);
  EXPECT_EQ(state.lastUdpPort, port);
  EXPECT_EQ(state.lastUdpAddress, "127.0.0.1");

  sockaddr_in local{};
  socklen_t length = sizeof local;
  ASSERT_EQ(::getsockname(socket.Handle(), reinterpret_cast<sockaddr*>(&local), &length), 0);
  EXPECT_EQ(ntohs(local.sin_port), port);
  EXPECT_TRUE(Echoes({0x12, 0x34, '?', 'V', '\r'}));
  EXPECT_TRUE(window.messageBoxes.empty());
}

TEST_F(UdpLink, NewSettingsReconnectTheSameSocketFromItsFirstPort) {
  // A run that stopped without being closed keeps its socket.
  const int firstPort = FreePort();
  ASSERT_TRUE(Open("127.0.0.1", firstPort));
  const int handle = socket.Handle();

  Peer radio;
  ASSERT_TRUE(Open("localhost", radio.Port()));
  EXPECT_EQ(socket.Handle(), handle);
  EXPECT_EQ(state.lastUdpPort, radio.Port());
  EXPECT_EQ(state.lastUdpAddress, "localhost");

  const Bytes packet{0, 1, 'X', '\r'};
  ASSERT_TRUE(socket.Send(packet.data(), packet.size()));
  int sourcePort = 0;
  EXPECT_EQ(radio.Receive(&sourcePort), packet);
  EXPECT_EQ(sourcePort, firstPort);
  ASSERT_TRUE(radio.SendTo(firstPort, {'Y', '\r'}));
  ASSERT_TRUE(loop.RunUntil([&] { return !received.empty(); }, 5s));
  EXPECT_EQ(received, (std::vector<Bytes>{{'Y', '\r'}}));

  // Unchanged settings go on with the socket as it is.
  ASSERT_TRUE(Open("localhost", radio.Port()));
  EXPECT_EQ(socket.Handle(), handle);
  ASSERT_TRUE(socket.Send(packet.data(), packet.size()));
  EXPECT_EQ(radio.Receive(), packet);
  EXPECT_EQ(logs.LogText(),
            "Using Ethernet Interface \r\nUsing Ethernet Interface \r\nUsing Ethernet Interface \r\n");
}

TEST_F(UdpLink, EveryCompletedRunGetsAFreshSocket) {
  const int port = FreePort();
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    ASSERT_TRUE(Open("127.0.0.1", port));
    EXPECT_TRUE(Echoes({'R', static_cast<std::uint8_t>('0' + run)}));

    CloseEthernetAfterRun(state, socket);
    EXPECT_FALSE(socket.IsOpen());
    EXPECT_FALSE(state.socketCreated);
    EXPECT_EQ(state.lastUdpPort, 1);
    EXPECT_EQ(state.lastUdpAddress, " ");
  }
  EXPECT_TRUE(window.messageBoxes.empty());
}

TEST_F(UdpLink, FailedCreationIsShownAndTriedAgainAtTheNextStart) {
  const int port = FreePort();
  {
    Peer otherProgram("0.0.0.0", port);
    ASSERT_TRUE(otherProgram.Bound());
    EXPECT_FALSE(Open("127.0.0.1", port));
    EXPECT_FALSE(state.socketCreated);
    EXPECT_FALSE(socket.IsOpen());
    EXPECT_EQ(state.lastUdpPort, port);
    EXPECT_EQ(state.lastUdpAddress, "127.0.0.1");
    ASSERT_EQ(window.messageBoxes.size(), 1u);
    EXPECT_EQ(window.messageBoxes[0], "Socket Create returned error code 98\n\nThe local UDP port " +
                                          std::to_string(port) +
                                          " is already in use by another program (Address already in use).");
  }
  // The other program has let the port go; the same settings now work.
  ASSERT_TRUE(Open("127.0.0.1", port));
  EXPECT_TRUE(state.socketCreated);
  EXPECT_TRUE(Echoes({'O', 'K'}));
  EXPECT_EQ(window.messageBoxes.size(), 1u);
}

TEST_F(UdpLink, PortOutsideTheRangeIsRefusedNotWrapped) {
  for (int port : {65536 + 7, -1}) {
    SCOPED_TRACE(port);
    window.messageBoxes.clear();
    EXPECT_FALSE(Open("127.0.0.1", port));
    EXPECT_FALSE(socket.IsOpen());
    ASSERT_EQ(window.messageBoxes.size(), 1u);
    EXPECT_EQ(window.messageBoxes[0],
              "Socket Create returned error code 22\n\nThe UDP port " + std::to_string(port) +
                  " is outside the range of port numbers, 1 to 65535 (Invalid argument).");
  }
}

TEST_F(UdpLink, UnresolvableHostStillStartsTheRunSilently) {
  const int port = FreePort();
  EXPECT_TRUE(Open("no-such-radio.invalid", port));
  EXPECT_TRUE(state.socketCreated);
  EXPECT_FALSE(socket.IsConnected());
  EXPECT_TRUE(window.messageBoxes.empty());
  const Bytes packet{1, 2};
  EXPECT_FALSE(socket.Send(packet.data(), packet.size()));
}

}  // namespace
}  // namespace flash
