#pragma once
// The datagram socket that carries packets to the radio over Ethernet and
// hands every reply datagram to its owner, on the window thread.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "link/os/udp_socket.h"
#include "services/event_loop.h"
#include "services/window_services.h"

namespace flash {

class CRadioSocket {
 public:
  // Bytes taken from one datagram; a reply is handed on with at most 255 of them.
  static constexpr std::size_t kReceiveCapacity = 4096;
  static constexpr std::size_t kMaxReplyCount = 255;

  // Called on the window thread for every non-empty datagram from the peer:
  // its first min(length, 255) bytes, followed in memory by a zero byte.
  using ReceiveHandler = std::function<void(const std::uint8_t* data, std::uint8_t count)>;

  // loop: the window thread's loop, which delivers the read notifications;
  // window: shows the message box of a failed receive.
  CRadioSocket(EventLoop& loop, WindowServices& window);
  ~CRadioSocket();
  CRadioSocket(const CRadioSocket&) = delete;
  CRadioSocket& operator=(const CRadioSocket&) = delete;

  // Creates the socket bound to `port` on every local IPv4 address and starts
  // the read notifications; false on failure, with the OS's error in LastError().
  bool Create(int port);
  // Connects (again) to `address` (dotted IPv4 or host name) and `port`.
  // While the socket has no peer, datagrams that arrive are dropped.
  bool Connect(const std::string& address, int port);
  // Sends one datagram as it is.
  bool Send(const std::uint8_t* data, std::size_t length);
  // Stops the notifications and closes the socket; closing a closed one does nothing.
  void Close();

  bool IsOpen() const { return socket_.IsOpen(); }
  bool IsConnected() const { return socket_.IsConnected(); }
  int LastError() const { return lastError_; }
  int LocalPort() const { return socket_.LocalPort(); }
  int Handle() const { return socket_.Handle(); }

  void SetReceiveHandler(ReceiveHandler handler) { onReceive_ = std::move(handler); }

  // The read notification: takes every waiting datagram.
  void OnReceive();

 private:
  EventLoop& loop_;
  WindowServices& window_;
  UdpSocket socket_;
  ReceiveHandler onReceive_;
  int lastError_ = 0;
  // Counts the sockets created, so a notification stops when its socket was
  // closed or replaced by the handler.
  unsigned generation_ = 0;
};

}  // namespace flash
