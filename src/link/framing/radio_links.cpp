#include "link/framing/radio_links.h"

#include <array>
#include <cerrno>

#include "link/serial/open_serial_link.h"
#include "link/serial/serial_wnd.h"
#include "link/serial/window_message.h"
#include "link/udp/radio_socket.h"
#include "link/udp/udp_link.h"

namespace flash {

// The serial driver posts its notifications to this window.
class SerialEventWindow final : public MessageWindow {
 public:
  explicit SerialEventWindow(RadioLinks& links) : links_(links) {}
  void OnWindowMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override {
    if (message == DefaultComMessage()) links_.OnSerialEvent(wParam, lParam);
  }

 private:
  RadioLinks& links_;
};

struct RadioLinks::Parts {
  Parts(RadioLinks& links, EventLoop& loop, WindowServices& window) : serialWindow(links), socket(loop, window) {}
  CRadioPort port;
  SerialEventWindow serialWindow;
  CRadioSocket socket;
  UdpLinkState udpState;
  ReplyHandler onReply;
  DataArrivedHandler onDataArrived;
  std::function<void(const std::string&)> onLinkLost;
};

RadioLinks::RadioLinks(const CommSettings& settings, EventLoop& loop, Logs& logs, WindowServices& window)
    : settings_(settings), loop_(loop), logs_(logs), window_(window),
      parts_(std::make_unique<Parts>(*this, loop, window)) {
  parts_->socket.SetReceiveHandler([this](const std::uint8_t* data, std::uint8_t count) {
    // A datagram from the radio counts as an answer, as serial data does.
    if (parts_->onDataArrived) parts_->onDataArrived();
    if (parts_->onReply) parts_->onReply(data, count);
  });
}

RadioLinks::~RadioLinks() {
  // The watcher posts through the loop: stop it while both still exist.
  parts_->port.ClosePort();
  parts_->socket.Close();
}

void RadioLinks::SetLinkLostHandler(std::function<void(const std::string&)> onLinkLost) {
  parts_->onLinkLost = std::move(onLinkLost);
}

void RadioLinks::SetReplyHandlers(ReplyHandler onReply, DataArrivedHandler onDataArrived) {
  parts_->onReply = std::move(onReply);
  parts_->onDataArrived = std::move(onDataArrived);
}

bool RadioLinks::OpenForRun() {
  if (settings_.SerialActive != 0) {
    if (!OpenSerialLink(parts_->port, settings_.ComPort, loop_, parts_->serialWindow, logs_, window_)) return false;
  } else if (settings_.EthernetActive != 0) {
    OpenEthernetLink(parts_->udpState, parts_->socket, settings_.IpAddress, settings_.UdpPort, logs_, window_);
  }
  // Whichever link was opened, an Ethernet run needs its socket.
  return settings_.EthernetActive == 0 || parts_->udpState.socketCreated;
}

void RadioLinks::Transmit(const std::uint8_t* data, std::size_t length) {
  if (settings_.SerialActive != 0) {
    const auto result = parts_->port.WriteBytes(data, static_cast<std::uint32_t>(length), nullptr, nullptr, INFINITE);
    // A device that has gone away answers every write so; no repeat can reach the radio.
    const bool deviceGone = result == EIO || result == ENXIO || result == ENODEV;
    if (deviceGone && parts_->onLinkLost) {
      parts_->onLinkLost("The serial port " + settings_.ComPort + " has gone away (hung up or unplugged).");
    }
  }
  if (settings_.EthernetActive != 0) {
    const auto datagram = BuildDatagram(settings_.Passcode, data, length);
    parts_->socket.Send(datagram.data(), datagram.size());
  }
}

void RadioLinks::PurgeSerial() { parts_->port.PurgeBuffers(); }

void RadioLinks::CloseForRun() { CloseEthernetAfterRun(parts_->udpState, parts_->socket); }

int RadioLinks::OnSerialEvent(std::uintptr_t wParam, std::intptr_t /*lParam*/) {
  if ((wParam & 0xFFFF & EV_RXFLAG) == 0) return 0;  // line errors alone change nothing
  if (parts_->onDataArrived) parts_->onDataArrived();
  std::array<std::uint8_t, 128> bytes{};
  std::uint32_t count = 0;
  if (parts_->port.ReadBytes(bytes.data(), bytes.size(), &count, nullptr, INFINITE) != 0 && count > bytes.size()) {
    count = 0;
  }
  parts_->port.PurgeBuffers();
  logs_.TraceNote("Serial Receive ", HexTextUpper(bytes.data(), count));
  if (parts_->onReply) parts_->onReply(bytes.data(), static_cast<std::uint8_t>(count));
  return 0;
}

CRadioPort& RadioLinks::SerialPort() { return parts_->port; }
CRadioSocket& RadioLinks::Socket() { return parts_->socket; }
const UdpLinkState& RadioLinks::UdpState() const { return parts_->udpState; }

}  // namespace flash
