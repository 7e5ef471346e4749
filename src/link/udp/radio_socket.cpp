#include "link/udp/radio_socket.h"

#include <algorithm>
#include <cerrno>

namespace flash {

namespace {

// One notification takes at most this many datagrams, so a flood cannot keep
// the window thread from its other work; the rest raise the next notification.
constexpr int kMaxDatagramsPerNotification = 64;

// The ICMP reports that a connected datagram socket returns from a receive
// after an earlier send found no one at the peer (a radio switched off, a
// wrong address). They say nothing about the receive itself: the reply
// time-outs already cover a silent radio, so no message box is shown.
bool IsPeerUnreachableReport(int error) {
  return error == ECONNREFUSED || error == EHOSTUNREACH || error == ENETUNREACH || error == EHOSTDOWN;
}

}  // namespace

CRadioSocket::CRadioSocket(EventLoop& loop, WindowServices& window) : loop_(loop), window_(window) {}

CRadioSocket::~CRadioSocket() { Close(); }

bool CRadioSocket::Create(int port) {
  Close();
  lastError_ = socket_.Open(port);
  if (lastError_ != 0) return false;
  ++generation_;
  loop_.WatchReadable(socket_.Handle(), [this] { OnReceive(); });
  return true;
}

bool CRadioSocket::Connect(const std::string& address, int port) {
  lastError_ = socket_.Connect(address, port);
  return lastError_ == 0;
}

bool CRadioSocket::Send(const std::uint8_t* data, std::size_t length) {
  lastError_ = socket_.Send(data, length);
  return lastError_ == 0;
}

void CRadioSocket::Close() {
  if (!socket_.IsOpen()) return;
  loop_.UnwatchReadable(socket_.Handle());
  socket_.Close();
}

void CRadioSocket::OnReceive() {
  if (!socket_.IsOpen()) return;  // a late notification of a closed socket
  const unsigned generation = generation_;
  for (int taken = 0; taken < kMaxDatagramsPerNotification; ++taken) {
    // Local, not a member: the handler may show a modal box whose event loop
    // delivers the next notification before this one has finished.
    std::uint8_t buffer[kReceiveCapacity + 1];
    int error = 0;
    const long count = socket_.Receive(buffer, kReceiveCapacity, &error);
    if (count < 0) {
      if (error == EAGAIN || error == EWOULDBLOCK) return;
      if (IsPeerUnreachableReport(error)) continue;
      window_.MessageBox("Windows Socket Error occurred");
      return;
    }
    if (count == 0 || !socket_.IsConnected() || !onReceive_) continue;
    const auto handed = std::min(static_cast<std::size_t>(count), kMaxReplyCount);
    buffer[handed] = 0;
    const ReceiveHandler handler = onReceive_;  // the handler may replace itself
    handler(buffer, static_cast<std::uint8_t>(handed));
    // The handler may have ended the run and closed (or re-created) the socket.
    if (generation != generation_ || !socket_.IsOpen()) return;
  }
}

}  // namespace flash
