#include "link/udp/radio_socket.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <numeric>

#include "link/os/poll_event_loop.h"
#include "udp_test_support.h"

namespace flash {
namespace {

using udp_test::Bytes;
using udp_test::Peer;
using namespace std::chrono_literals;

// A created socket connected to a loopback peer; replies are recorded as the
// handler saw them, with a check of the zero byte that follows them.
class UdpRadioSocket : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(peer.Bound());
    socket.SetReceiveHandler([this](const std::uint8_t* data, std::uint8_t count) {
      received.emplace_back(data, data + count);
      terminated.push_back(data[count] == 0);
    });
    ASSERT_TRUE(socket.Create(0));
    ASSERT_TRUE(socket.Connect("127.0.0.1", peer.Port()));
  }

  bool RunUntilReceived(std::size_t count) {
    return loop.RunUntil([&] { return received.size() >= count; }, 5s);
  }

  PollEventLoop loop;
  udp_test::RecordingWindow window;
  CRadioSocket socket{loop, window};
  Peer peer;
  std::vector<Bytes> received;
  std::vector<bool> terminated;
};

TEST_F(UdpRadioSocket, ExchangesDatagramsWithTheConnectedPeer) {
  const Bytes packet{0x12, 0x34, '?', 'V', '\r'};
  ASSERT_TRUE(socket.Send(packet.data(), packet.size()));
  int sourcePort = 0;
  EXPECT_EQ(peer.Receive(&sourcePort), packet);
  EXPECT_EQ(sourcePort, socket.LocalPort());

  const Bytes reply{'V', '1', '2', '\r', 0x00, 0xFF};
  ASSERT_TRUE(peer.SendTo(socket.LocalPort(), reply));
  ASSERT_TRUE(RunUntilReceived(1));
  EXPECT_EQ(received, std::vector<Bytes>{reply});
  EXPECT_TRUE(window.messageBoxes.empty());
}

TEST_F(UdpRadioSocket, ResolvesHostNamesAndDottedAddresses) {
  for (const char* host : {"localhost", "127.0.0.1", "127.1"}) {
    SCOPED_TRACE(host);
    ASSERT_TRUE(socket.Connect(host, peer.Port()));
    const Bytes packet{1, 2, 3};
    ASSERT_TRUE(socket.Send(packet.data(), packet.size()));
    EXPECT_EQ(peer.Receive(), packet);
  }
}

TEST_F(UdpRadioSocket, DeliversOnlyDatagramsFromThePeer) {
  Peer otherAddress("127.0.0.2", peer.Port());
  Peer otherPort;
  ASSERT_TRUE(otherAddress.Bound());
  ASSERT_TRUE(otherPort.Bound());
  ASSERT_TRUE(otherAddress.SendTo(socket.LocalPort(), {'A', '\r'}));
  ASSERT_TRUE(otherPort.SendTo(socket.LocalPort(), {'B', '\r'}));
  ASSERT_TRUE(peer.SendTo(socket.LocalPort(), {'C', '\r'}));

  ASSERT_TRUE(RunUntilReceived(1));
  loop.RunOnce(0ms);
  EXPECT_EQ(received, (std::vector<Bytes>{{'C', '\r'}}));
}

TEST_F(UdpRadioSocket, EmptyDatagramsAreSkippedAndLongOnesCutTo255Bytes) {
  auto counting = [](std::size_t length) {
    Bytes data(length);
    std::iota(data.begin(), data.end(), std::uint8_t{1});
    return data;
  };
  const Bytes full = counting(255);
  const Bytes oneOver = counting(256);
  const Bytes overCapacity = counting(5000);
  const Bytes empty;
  const Bytes marker{'Z', '\r'};
  for (const Bytes* datagram : {&full, &empty, &oneOver, &overCapacity, &marker}) {
    ASSERT_TRUE(peer.SendTo(socket.LocalPort(), *datagram));
  }

  ASSERT_TRUE(RunUntilReceived(4));
  const Bytes first255(oneOver.begin(), oneOver.begin() + 255);
  EXPECT_EQ(received, (std::vector<Bytes>{full, first255, first255, marker}));
  EXPECT_EQ(terminated, (std::vector<bool>{true, true, true, true}));
}

TEST_F(UdpRadioSocket, RefusedSendIsNotReportedAsReceiveError) {
  // A radio that is switched off: the send to a closed port comes back as a
  // pending "connection refused" on the socket.
  int closedPort = 0;
  {
    Peer gone;
    closedPort = gone.Port();
  }
  ASSERT_TRUE(socket.Connect("127.0.0.1", closedPort));
  const Bytes packet{'?', 'V', '\r'};
  socket.Send(packet.data(), packet.size());

  // The radio comes back on the same port and answers.
  Peer back("127.0.0.1", closedPort);
  ASSERT_TRUE(back.Bound());
  ASSERT_TRUE(back.SendTo(socket.LocalPort(), {'V', '\r'}));
  ASSERT_TRUE(RunUntilReceived(1));
  EXPECT_EQ(received, (std::vector<Bytes>{{'V', '\r'}}));
  EXPECT_TRUE(window.messageBoxes.empty());
}

TEST_F(UdpRadioSocket, HandlerMayCloseTheSocket) {
  int calls = 0;
  socket.SetReceiveHandler([&](const std::uint8_t*, std::uint8_t) {
    ++calls;
    socket.Close();
  });
  ASSERT_TRUE(peer.SendTo(socket.LocalPort(), {'1'}));
  ASSERT_TRUE(peer.SendTo(socket.LocalPort(), {'2'}));
  ASSERT_TRUE(loop.RunUntil([&] { return calls > 0; }, 5s));
  loop.RunOnce(0ms);
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(socket.IsOpen());
  EXPECT_TRUE(window.messageBoxes.empty());
}

TEST_F(UdpRadioSocket, NestedEventLoopInHandlerKeepsEachReplyIntact) {
  // A modal message box inside the reply handling runs the event loop, which
  // delivers the next reply before the first call has returned.
  std::vector<Bytes> seenAfterNesting;
  bool nested = false;
  socket.SetReceiveHandler([&](const std::uint8_t* data, std::uint8_t count) {
    received.emplace_back(data, data + count);
    if (!nested) {
      nested = true;
      ASSERT_TRUE(loop.RunUntil([&] { return received.size() >= 2; }, 5s));
      seenAfterNesting.emplace_back(data, data + count);
    }
  });
  ASSERT_TRUE(peer.SendTo(socket.LocalPort(), {'F', 'I', 'R', 'S', 'T'}));
  ASSERT_TRUE(peer.SendTo(socket.LocalPort(), {'2', 'N', 'D'}));
  ASSERT_TRUE(RunUntilReceived(2));
  EXPECT_EQ(received, (std::vector<Bytes>{{'F', 'I', 'R', 'S', 'T'}, {'2', 'N', 'D'}}));
  EXPECT_EQ(seenAfterNesting, (std::vector<Bytes>{{'F', 'I', 'R', 'S', 'T'}}));
}

TEST_F(UdpRadioSocket, UnresolvableHostLeavesNoPeer) {
  EXPECT_FALSE(socket.Connect("no-such-radio.invalid", peer.Port()));
  EXPECT_EQ(socket.LastError(), EINVAL);
  EXPECT_FALSE(socket.IsConnected());
  // Nothing may still go to the radio of the earlier connection.
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  EXPECT_NE(::getpeername(socket.Handle(), reinterpret_cast<sockaddr*>(&address), &length), 0);
  const Bytes packet{1};
  EXPECT_FALSE(socket.Send(packet.data(), packet.size()));

  // Without a peer the socket would take datagrams from anyone: they are dropped.
  Peer stranger;
  ASSERT_TRUE(stranger.SendTo(socket.LocalPort(), {'V', '\r'}));
  auto waiting = [&] {
    pollfd ready{socket.Handle(), POLLIN, 0};
    return ::poll(&ready, 1, 0) == 1;
  };
  ASSERT_TRUE(loop.RunUntil([&] { return !waiting(); }, 5s));
  EXPECT_TRUE(received.empty());
  EXPECT_TRUE(window.messageBoxes.empty());
}

}  // namespace
}  // namespace flash
