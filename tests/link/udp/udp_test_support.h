#pragma once
// Helpers of the UDP link tests: a window that records what it is asked to
// show, a fixed clock, and a plain BSD socket as the radio's end.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "services/clock.h"
#include "services/window_services.h"
#include "test_host.h"

namespace flash::udp_test {

using Bytes = std::vector<std::uint8_t>;

// Records the log pane and the message boxes; its clock stands still.
using RecordingWindow = ::flash::testing::TestHost;
using FixedClock = ::flash::testing::TestHost;

// A datagram socket bound to one loopback address.
class Peer {
 public:
  explicit Peer(const char* address = "127.0.0.1", int port = 0) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local = Address(address, port);
    bound_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
  }
  ~Peer() {
    if (fd_ >= 0) ::close(fd_);
  }
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  bool Bound() const { return bound_; }
  int Port() const {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length);
    return ntohs(local.sin_port);
  }

  bool SendTo(int port, const Bytes& data, const char* address = "127.0.0.1") const {
    sockaddr_in to = Address(address, port);
    return ::sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) ==
           static_cast<ssize_t>(data.size());
  }

  // The next datagram and its source port, or nothing within a generous limit.
  std::optional<Bytes> Receive(int* sourcePort = nullptr) const {
    pollfd ready{fd_, POLLIN, 0};
    if (::poll(&ready, 1, 5000) != 1) return std::nullopt;
    Bytes data(70000);
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t count =
        ::recvfrom(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (count < 0) return std::nullopt;
    data.resize(static_cast<std::size_t>(count));
    if (sourcePort != nullptr) *sourcePort = ntohs(from.sin_port);
    return data;
  }

 private:
  static sockaddr_in Address(const char* address, int port) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, address, &result.sin_addr);
    return result;
  }

  int fd_ = -1;
  bool bound_ = false;
};

// A UDP port that was free on every local address a moment ago.
inline int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
  socklen_t length = sizeof local;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
  ::close(fd);
  return ntohs(local.sin_port);
}

}  // namespace flash::udp_test
