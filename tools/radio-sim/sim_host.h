#pragma once
// Runs a SimulatedRadio on a real transport with the real (monotonic) clock:
// feeds it what arrives, carries out its reply actions in order (pauses,
// writes, hang-up), paces a serial line at its baud rate, cuts incomplete
// packets when the line goes quiet, and notices the exit conditions.
//
// Line-time emulation: at N baud a byte takes 10/N s in each direction. Bytes
// read from the pseudo-terminal reach the radio one line time after another,
// and reply bytes leave the same way; every byte has a deadline on the
// monotonic clock, counted from the moment the line last became busy, so the
// pace does not drift.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include <netinet/in.h>

#include "radio-sim/pty_transport.h"
#include "radio-sim/simulated_radio.h"
#include "radio-sim/udp_transport.h"

namespace flash::radio_sim {

struct HostConfig {
  unsigned baud = 0;  // 0: bytes move at once
  std::chrono::milliseconds resyncTime{200};
  std::optional<std::chrono::milliseconds> exitAfterIdle;
};

class SimHost {
 public:
  using Clock = std::chrono::steady_clock;

  SimHost(SimulatedRadio& radio, HostConfig config);

  // One transport per host.
  void ServeSerial(PtyTransport& pty);
  void ServeUdp(UdpTransport& udp);
  // A descriptor whose readability asks the host to stop (a signalfd).
  void WatchStop(int fd) { stopFd_ = fd; }

  // Handles traffic until an exit condition holds.
  void Run();
  // Handles traffic until done() holds, an exit condition holds or the time is
  // up; returns done().
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

  // An exit condition holds: stop requested, packet limit reached with the
  // replies out, or idle time passed.
  bool Finished() const;
  // Nothing received waits for the radio and no reply waits to go out.
  bool Quiet() const { return inbound_.empty() && outbound_.empty(); }
  bool HungUp() const { return hungUp_; }

 private:
  struct InChunk {
    Clock::time_point start;
    std::vector<std::uint8_t> bytes;
    std::size_t delivered = 0;
  };
  struct OutItem {
    Action::Kind kind = Action::Kind::Write;
    Clock::time_point start;
    std::vector<std::uint8_t> bytes;
    std::size_t sent = 0;
    sockaddr_in to{};
  };

  void Step(Clock::time_point limit);
  void ReadTransport(Clock::time_point now);
  void DeliverInbound(Clock::time_point now);
  void Resync(Clock::time_point now);
  void DrainOutbound(Clock::time_point now);
  void CheckIdle(Clock::time_point now);
  void Enqueue(const std::vector<Action>& actions, Clock::time_point now, const sockaddr_in& to);
  void HangUpLine();
  Clock::time_point NextDeadline(Clock::time_point now) const;

  // Line time of n bytes; zero without a baud rate (and always on UDP).
  Clock::duration LineTime(std::size_t bytes) const;
  // How many of the bytes that started at `start` are through the line by `now`.
  std::size_t BytesDue(Clock::time_point start, std::size_t total, Clock::time_point now) const;

  SimulatedRadio& radio_;
  HostConfig config_;
  PtyTransport* pty_ = nullptr;
  UdpTransport* udp_ = nullptr;
  int stopFd_ = -1;

  std::deque<InChunk> inbound_;
  std::deque<OutItem> outbound_;
  Clock::time_point inCursor_;
  Clock::time_point outCursor_;
  Clock::time_point lastDelivery_;
  Clock::time_point lastActivity_;
  bool writeBlocked_ = false;
  bool progress_ = false;  // this step delivered, wrote or hung up
  bool stopRequested_ = false;
  bool idleExpired_ = false;
  bool hungUp_ = false;
};

}  // namespace flash::radio_sim
