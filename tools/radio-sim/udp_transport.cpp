#include "radio-sim/udp_transport.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace flash::radio_sim {

namespace {
constexpr std::size_t kMaxDatagram = 65536;
}

UdpTransport::~UdpTransport() { Close(); }

bool UdpTransport::Bind(const std::string& address, std::uint16_t port, std::string& error) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  if (inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1) {
    error = "not an IPv4 address: " + address;
    return false;
  }
  fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd_ < 0) {
    error = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  socklen_t length = sizeof local;
  if (bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
    error = "bind " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
    Close();
    return false;
  }
  port_ = ntohs(local.sin_port);
  return true;
}

std::optional<UdpTransport::Datagram> UdpTransport::Receive() {
  if (fd_ < 0) return std::nullopt;
  Datagram datagram;
  receiveBuffer_.resize(kMaxDatagram);
  for (;;) {
    socklen_t length = sizeof datagram.from;
    const ssize_t n = recvfrom(fd_, receiveBuffer_.data(), receiveBuffer_.size(), 0,
                               reinterpret_cast<sockaddr*>(&datagram.from), &length);
    if (n >= 0) {
      datagram.bytes.assign(receiveBuffer_.begin(), receiveBuffer_.begin() + n);
      return datagram;
    }
    if (errno == EINTR) continue;
    // ECONNREFUSED and the like are leftovers of earlier sends; nothing is waiting.
    return std::nullopt;
  }
}

bool UdpTransport::SendTo(std::span<const std::uint8_t> bytes, const sockaddr_in& to) {
  if (fd_ < 0) return false;
  return sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                sizeof to) == static_cast<ssize_t>(bytes.size());
}

void UdpTransport::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

}  // namespace flash::radio_sim
