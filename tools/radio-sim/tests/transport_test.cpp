// The simulator on real transports: loopback UDP and a pseudo-terminal.

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "packets.h"
#include "radio-sim/pty_transport.h"
#include "radio-sim/sim_host.h"
#include "radio-sim/udp_transport.h"
#include "temp_dir.h"

namespace flash::radio_sim {
namespace {

using std::chrono::milliseconds;
using test::Bytes;
using test::Text;

constexpr milliseconds kGuard{5000};  // only bounds a broken test; nothing is timed

// What is waiting on the descriptor, reading until `count` bytes came or nothing more does.
std::string ReadUpTo(int fd, std::size_t count) {
  std::string got;
  while (got.size() < count) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(kGuard.count())) <= 0 || (p.revents & POLLIN) == 0) break;
    char buffer[256];
    const ssize_t n = read(fd, buffer, std::min(sizeof buffer, count - got.size()));
    if (n <= 0) break;
    got.append(buffer, static_cast<std::size_t>(n));
  }
  return got;
}

void WriteAll(int fd, const Bytes& bytes) {
  ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

TEST(RadioSimUdp, AnswersOnlyDatagramsWithThePasscode) {
  RadioConfig config;
  config.passcode = 0xBEEF;
  SimulatedRadio radio(config);
  UdpTransport udp;
  std::string error;
  ASSERT_TRUE(udp.Bind("127.0.0.1", 0, error)) << error;
  SimHost host(radio, {});
  host.ServeUdp(udp);

  const int client = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(client, 0);
  sockaddr_in sim{};
  sim.sin_family = AF_INET;
  sim.sin_port = htons(udp.Port());
  sim.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(client, reinterpret_cast<const sockaddr*>(&sim), sizeof sim), 0);

  WriteAll(client, Bytes{0xBE, 0xEE, '?', 'V', '\r'});
  WriteAll(client, Bytes{0xBE, 0xEF, '?', 'V', '\r'});
  ASSERT_TRUE(host.RunUntil(
      [&] { return radio.PacketCount() == 1 && radio.GetTranscript().Rejected() == 1 && host.Quiet(); }, kGuard));

  // One reply, without a prefix, from the simulator's port (the socket is connected to it).
  pollfd p{client, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, static_cast<int>(kGuard.count())), 1);
  char reply[64];
  const ssize_t n = recv(client, reply, sizeof reply, 0);
  ASSERT_GT(n, 0);
  EXPECT_EQ(std::string(reply, static_cast<std::size_t>(n)), "VER 2101 730\r");
  char extra[8];
  EXPECT_LT(recv(client, extra, sizeof extra, MSG_DONTWAIT), 0);
  close(client);
}

class RadioSimPty : public ::testing::Test {
 protected:
  void Start(RadioConfig config, HostConfig hostConfig = {}) {
    radio_.emplace(std::move(config));
    std::string error;
    ASSERT_TRUE(pty_.Open((dir_ / "radio").string(), error)) << error;
    host_.emplace(*radio_, hostConfig);
    host_->ServeSerial(pty_);
    client_ = open((dir_ / "radio").c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(client_, 0);
  }
  void TearDown() override {
    if (client_ >= 0) close(client_);
  }
  bool RunUntilAnswered(std::uint64_t packets) {
    return host_->RunUntil([&] { return radio_->PacketCount() >= packets && host_->Quiet(); }, kGuard);
  }

  test::TempDir dir_;
  PtyTransport pty_;
  std::optional<SimulatedRadio> radio_;
  std::optional<SimHost> host_;
  int client_ = -1;
};

TEST_F(RadioSimPty, RoundTripThroughTheLinkedPort) {
  // A long resync time, so a slow machine cannot cut the split packet below.
  HostConfig hostConfig;
  hostConfig.resyncTime = milliseconds(60000);
  Start({}, hostConfig);
  EXPECT_EQ(std::filesystem::read_symlink(dir_ / "radio"), pty_.SlavePath());

  WriteAll(client_, Text("?V\r"));
  ASSERT_TRUE(RunUntilAnswered(1));
  EXPECT_EQ(ReadUpTo(client_, 13), "VER 2101 730\r");

  // A record with 0x0D inside, written in two pieces.
  const Bytes record = test::DataPacket('B', 0x0D00, {0x0D, 0x0D, 0x0D});
  WriteAll(client_, Bytes(record.begin(), record.begin() + 4));
  ASSERT_TRUE(host_->RunUntil([&] { return radio_->HasPartialPacket(); }, kGuard));
  WriteAll(client_, Bytes(record.begin() + 4, record.end()));
  ASSERT_TRUE(RunUntilAnswered(2));
  char echo[8];
  std::snprintf(echo, sizeof echo, ":%02X\r", static_cast<unsigned>(test::DataChecksum(record)));
  EXPECT_EQ(ReadUpTo(client_, 4), echo);
  EXPECT_TRUE(radio_->Flash().Matches(0x0D00, Bytes{0x0D, 0x0D, 0x0D}));
}

TEST_F(RadioSimPty, PacedLineStillDeliversEveryByte) {
  HostConfig hostConfig;
  hostConfig.baud = 9600;
  Start({}, hostConfig);
  const Bytes record = test::DataPacket('B', 0x0000, Bytes(32, 0x5A));
  WriteAll(client_, record);
  ASSERT_TRUE(RunUntilAnswered(1));
  char echo[8];
  std::snprintf(echo, sizeof echo, ":%02X\r", static_cast<unsigned>(test::DataChecksum(record)));
  EXPECT_EQ(ReadUpTo(client_, 4), echo);
}

TEST_F(RadioSimPty, HangUpRemovesThePortAndTheLink) {
  RadioConfig config;
  config.faults.hangupAfter = 1;
  Start(config);
  WriteAll(client_, Text("?V\r"));
  // The line stays up until the reply has been read.
  ASSERT_TRUE(host_->RunUntil([&] { return pty_.Unread() > 0; }, kGuard));
  EXPECT_FALSE(host_->HungUp());
  EXPECT_EQ(ReadUpTo(client_, 13), "VER 2101 730\r");
  ASSERT_TRUE(host_->RunUntil([&] { return host_->HungUp(); }, kGuard));

  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir_ / "radio")));
  EXPECT_EQ(pty_.Descriptor(), -1);
  pollfd p{client_, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, static_cast<int>(kGuard.count())), 1);
  EXPECT_NE(p.revents & (POLLHUP | POLLERR), 0);
}

}  // namespace
}  // namespace flash::radio_sim
