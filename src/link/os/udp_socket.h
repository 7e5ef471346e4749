#pragma once
// A thin IPv4 datagram socket on BSD sockets: open and bind, connect to one
// peer, send, receive without blocking, close. Every call reports the OS's
// error number (errno), 0 meaning success; nothing here throws.

#include <cstddef>
#include <cstdint>
#include <string>

namespace flash {

class UdpSocket {
 public:
  UdpSocket() = default;
  ~UdpSocket();
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  // Creates the socket and binds it to `port` on every local IPv4 address
  // (port 0: any free port). An open socket is closed first. A port outside
  // 0..65535 fails with EINVAL.
  int Open(int port);

  // Fixes the peer of Send and limits Receive to datagrams from it. `host` is
  // a numbers-and-dots IPv4 address or else a host name, whose first IPv4
  // address is used; a name that does not resolve fails with EINVAL. On any
  // failure the socket is left without a peer, so nothing reaches an earlier one.
  int Connect(const std::string& host, int port);

  // Sends one datagram to the connected peer.
  int Send(const std::uint8_t* data, std::size_t length);

  // Takes one waiting datagram without blocking: its length (at most
  // `capacity`; the rest of a longer datagram is dropped) or -1 with the error
  // in *error (EAGAIN when none waits).
  long Receive(std::uint8_t* buffer, std::size_t capacity, int* error);

  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  bool IsConnected() const { return connected_; }
  // The descriptor, for read notifications; -1 while closed.
  int Handle() const { return fd_; }
  // The local port the socket is bound to; -1 while closed.
  int LocalPort() const;

 private:
  int fd_ = -1;
  bool connected_ = false;
};

}  // namespace flash
