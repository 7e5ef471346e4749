#pragma once
// Where the engine meets the two links. Every packet leaves through Transmit:
// unchanged to the serial port, and behind the passcode's low 16 bits (high
// byte first) as one datagram to the UDP socket, each when its interface flag
// is set. Every reply comes back through the reply handler: one serial read
// after the carriage-return event, or one datagram.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/radio_link.h"
#include "logs/logs.h"
#include "services/event_loop.h"
#include "services/window_services.h"
#include "settings/settings.h"

namespace flash {

class CRadioPort;
class CRadioSocket;
struct UdpLinkState;

class RadioLinks final : public RadioLink {
 public:
  // A reply chunk for the parser (count at most 255), and the notice that data
  // arrived from the radio at all (which stops the version timer).
  using ReplyHandler = std::function<void(const std::uint8_t* data, std::uint8_t count)>;
  using DataArrivedHandler = std::function<void()>;

  RadioLinks(const CommSettings& settings, EventLoop& loop, Logs& logs, WindowServices& window);
  ~RadioLinks() override;
  RadioLinks(const RadioLinks&) = delete;
  RadioLinks& operator=(const RadioLinks&) = delete;

  void SetReplyHandlers(ReplyHandler onReply, DataArrivedHandler onDataArrived);
  // Called, with the reason in words, when a write finds the serial device
  // gone (hung up, unplugged).
  void SetLinkLostHandler(std::function<void(const std::string& reason)> onLinkLost);

  // RadioLink
  bool OpenForRun() override;
  void Transmit(const std::uint8_t* data, std::size_t length) override;
  void PurgeSerial() override;
  void CloseForRun() override;

  // The handler of the serial driver's notification: event bits in the low
  // word of wParam, line-error flags in the high word. Returns 0.
  int OnSerialEvent(std::uintptr_t wParam, std::intptr_t lParam);

  // The link objects, for tests and diagnostics.
  CRadioPort& SerialPort();
  CRadioSocket& Socket();
  const UdpLinkState& UdpState() const;

 private:
  struct Parts;
  const CommSettings& settings_;
  EventLoop& loop_;
  Logs& logs_;
  WindowServices& window_;
  std::unique_ptr<Parts> parts_;
};

}  // namespace flash
