#include "radio-sim/sim_host.h"

#include <poll.h>
#include <time.h>

#include <algorithm>
#include <array>

namespace flash::radio_sim {

namespace {
constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
constexpr std::int64_t kBitsPerByte = 10;  // start bit, 8 data bits, stop bit
// Closing the line throws away what the updater has not read yet, so a hang-up
// waits for the last reply to be read: at least kHangUpSettle (the kernel moves
// written bytes to the port's side a little later), at most kHangUpGrace,
// looking every kHangUpPoll.
constexpr std::chrono::milliseconds kHangUpSettle{200};
constexpr std::chrono::milliseconds kHangUpGrace{1000};
constexpr std::chrono::milliseconds kHangUpPoll{2};
}  // namespace

SimHost::SimHost(SimulatedRadio& radio, HostConfig config) : radio_(radio), config_(config) {
  const auto now = Clock::now();
  inCursor_ = outCursor_ = lastDelivery_ = lastActivity_ = now;
}

void SimHost::ServeSerial(PtyTransport& pty) { pty_ = &pty; }
void SimHost::ServeUdp(UdpTransport& udp) { udp_ = &udp; }

SimHost::Clock::duration SimHost::LineTime(std::size_t bytes) const {
  if (config_.baud == 0 || pty_ == nullptr) return Clock::duration::zero();
  const auto ns = static_cast<std::int64_t>(bytes) * kBitsPerByte * kNanosecondsPerSecond / config_.baud;
  return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(ns));
}

std::size_t SimHost::BytesDue(Clock::time_point start, std::size_t total, Clock::time_point now) const {
  if (now < start) return 0;
  if (config_.baud == 0 || pty_ == nullptr) return total;
  const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(now - start).count();
  const std::int64_t cap = (static_cast<std::int64_t>(total) + 1) * kBitsPerByte * kNanosecondsPerSecond;
  const std::int64_t due = std::min(elapsed, cap / config_.baud + 1) * config_.baud / (kBitsPerByte * kNanosecondsPerSecond);
  return std::min(total, static_cast<std::size_t>(due));
}

bool SimHost::Finished() const {
  return stopRequested_ || idleExpired_ || (radio_.LimitReached() && outbound_.empty());
}

void SimHost::Run() {
  while (!Finished()) Step(Clock::time_point::max());
}

bool SimHost::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = Clock::now() + limit;
  while (!done()) {
    if (Finished() || Clock::now() >= end) return done();
    Step(end);
  }
  return true;
}

void SimHost::Step(Clock::time_point limit) {
  auto now = Clock::now();
  progress_ = false;
  DeliverInbound(now);
  Resync(now);
  DrainOutbound(now);
  CheckIdle(now);
  if (Finished()) return;

  std::array<pollfd, 2> fds{};
  nfds_t count = 0;
  const int lineFd = pty_ != nullptr ? pty_->Descriptor() : (udp_ != nullptr ? udp_->Descriptor() : -1);
  if (lineFd >= 0) {
    const short writeEvent = writeBlocked_ ? POLLOUT : 0;
    fds[count++] = {lineFd, static_cast<short>(POLLIN | writeEvent), 0};
  }
  if (stopFd_ >= 0) fds[count++] = {stopFd_, POLLIN, 0};

  // After work done, only look at what is ready, so callers see its effect at once.
  const auto deadline = progress_ ? now : std::min(limit, NextDeadline(now));
  timespec timeout{};
  timespec* wait = nullptr;
  if (deadline != Clock::time_point::max()) {
    auto left = std::max(Clock::duration::zero(), deadline - now);
    if (config_.baud != 0 && pty_ != nullptr) {
      // A paced line wakes a little early and polls up to the deadline, so a
      // late wake-up does not delay the byte.
      constexpr auto kEarly = std::chrono::microseconds(100);
      left = left > kEarly ? left - kEarly : Clock::duration::zero();
    }
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    timeout.tv_sec = static_cast<time_t>(ns / kNanosecondsPerSecond);
    timeout.tv_nsec = static_cast<long>(ns % kNanosecondsPerSecond);
    wait = &timeout;
  }
  if (ppoll(fds.data(), count, wait, nullptr) <= 0) return;  // time-out, or EINTR

  now = Clock::now();
  for (nfds_t i = 0; i < count; ++i) {
    if (fds[i].fd == stopFd_ && (fds[i].revents & POLLIN) != 0) stopRequested_ = true;
    if (fds[i].fd == lineFd) {
      if ((fds[i].revents & POLLOUT) != 0) writeBlocked_ = false;
      if ((fds[i].revents & POLLIN) != 0) ReadTransport(now);
    }
  }
}

void SimHost::ReadTransport(Clock::time_point now) {
  if (pty_ != nullptr) {
    std::array<std::uint8_t, 4096> buffer{};
    const std::size_t n = pty_->Read(buffer);
    if (n == 0) return;
    lastActivity_ = now;
    InChunk chunk;
    chunk.start = std::max(inCursor_, now);
    chunk.bytes.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
    inCursor_ = chunk.start + LineTime(n);
    inbound_.push_back(std::move(chunk));
    return;
  }
  if (udp_ != nullptr) {
    while (auto datagram = udp_->Receive()) {
      lastActivity_ = now;
      progress_ = true;
      Enqueue(radio_.OnDatagram(datagram->bytes), now, datagram->from);
    }
  }
}

void SimHost::DeliverInbound(Clock::time_point now) {
  while (!inbound_.empty()) {
    InChunk& chunk = inbound_.front();
    const std::size_t due = BytesDue(chunk.start, chunk.bytes.size(), now);
    if (due > chunk.delivered) {
      const auto bytes = std::span<const std::uint8_t>(chunk.bytes).subspan(chunk.delivered, due - chunk.delivered);
      chunk.delivered = due;
      lastDelivery_ = now;
      progress_ = true;
      // The bytes reached the radio when their line time ended, not when this
      // (possibly late) wake-up noticed: the reply's line time counts from then.
      const auto arrived = std::min(now, chunk.start + LineTime(due));
      Enqueue(radio_.OnSerialBytes(bytes), arrived, {});
    }
    if (chunk.delivered < chunk.bytes.size()) return;
    inbound_.pop_front();
  }
}

void SimHost::Resync(Clock::time_point now) {
  if (pty_ == nullptr || !inbound_.empty() || !radio_.HasPartialPacket()) return;
  if (now - lastDelivery_ < config_.resyncTime) return;
  lastDelivery_ = now;
  progress_ = true;
  Enqueue(radio_.OnSerialIdle(), now, {});
}

void SimHost::Enqueue(const std::vector<Action>& actions, Clock::time_point now, const sockaddr_in& to) {
  outCursor_ = std::max(outCursor_, now);
  for (const Action& action : actions) {
    switch (action.kind) {
      case Action::Kind::Pause:
        outCursor_ += action.pause;
        break;
      case Action::Kind::Write:
      case Action::Kind::HangUp: {
        OutItem item;
        item.kind = action.kind;
        item.start = outCursor_;
        item.bytes = action.bytes;
        item.to = to;
        outCursor_ += LineTime(item.bytes.size());
        outbound_.push_back(std::move(item));
        break;
      }
    }
  }
}

void SimHost::DrainOutbound(Clock::time_point now) {
  while (!outbound_.empty() && !writeBlocked_) {
    OutItem& item = outbound_.front();
    if (item.start > now) return;
    if (item.kind == Action::Kind::HangUp) {
      if (pty_ != nullptr && now < item.start + kHangUpGrace &&
          (now < item.start + kHangUpSettle || pty_->Unread() > 0)) {
        return;
      }
      HangUpLine();
      return;
    }
    if (pty_ != nullptr) {
      const std::size_t due = BytesDue(item.start, item.bytes.size(), now);
      if (due > item.sent) {
        const std::size_t wanted = due - item.sent;
        const std::size_t written = pty_->Write(std::span<const std::uint8_t>(item.bytes).subspan(item.sent, wanted));
        item.sent += written;
        lastActivity_ = now;
        progress_ = true;
        if (written < wanted) {
          writeBlocked_ = pty_->Descriptor() >= 0;
          if (!writeBlocked_) outbound_.clear();
          return;
        }
      }
      if (item.sent < item.bytes.size()) return;
    } else if (udp_ != nullptr) {
      udp_->SendTo(item.bytes, item.to);
      lastActivity_ = now;
      progress_ = true;
    }
    outbound_.pop_front();
  }
}

void SimHost::HangUpLine() {
  if (pty_ != nullptr) pty_->HangUp();
  if (udp_ != nullptr) udp_->Close();
  inbound_.clear();
  outbound_.clear();
  writeBlocked_ = false;
  hungUp_ = true;
  progress_ = true;
}

void SimHost::CheckIdle(Clock::time_point now) {
  if (!config_.exitAfterIdle || !Quiet()) return;
  if (now - lastActivity_ >= *config_.exitAfterIdle) idleExpired_ = true;
}

SimHost::Clock::time_point SimHost::NextDeadline(Clock::time_point now) const {
  auto next = Clock::time_point::max();
  if (!inbound_.empty()) {
    const InChunk& chunk = inbound_.front();
    next = std::min(next, chunk.start + LineTime(chunk.delivered + 1));
  }
  if (!outbound_.empty() && !writeBlocked_) {
    const OutItem& item = outbound_.front();
    if (item.kind == Action::Kind::Write) {
      next = std::min(next, item.start + LineTime(item.sent + 1));
    } else {
      next = std::min(next, item.start <= now ? now + kHangUpPoll : item.start);
    }
  }
  if (pty_ != nullptr && inbound_.empty() && radio_.HasPartialPacket()) {
    next = std::min(next, lastDelivery_ + config_.resyncTime);
  }
  if (config_.exitAfterIdle && Quiet()) next = std::min(next, lastActivity_ + *config_.exitAfterIdle);
  return std::max(next, now);
}

}  // namespace flash::radio_sim
