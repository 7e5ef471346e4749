#pragma once
// The radio's Ethernet side: a UDP socket bound to the configured address.
// Replies go from that socket to whoever sent the packet.

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace flash::radio_sim {

class UdpTransport {
 public:
  struct Datagram {
    std::vector<std::uint8_t> bytes;
    sockaddr_in from{};
  };

  UdpTransport() = default;
  ~UdpTransport();
  UdpTransport(const UdpTransport&) = delete;
  UdpTransport& operator=(const UdpTransport&) = delete;

  // Port 0 binds a free port; Port() tells which.
  bool Bind(const std::string& address, std::uint16_t port, std::string& error);
  std::uint16_t Port() const { return port_; }
  // -1 once closed.
  int Descriptor() const { return fd_; }

  // Non-blocking: the next waiting datagram.
  std::optional<Datagram> Receive();
  bool SendTo(std::span<const std::uint8_t> bytes, const sockaddr_in& to);
  void Close();

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
  std::vector<std::uint8_t> receiveBuffer_;  // one for every datagram, not one each
};

}  // namespace flash::radio_sim
