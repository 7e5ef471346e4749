// The link benchmark: how long a reply takes from the wire to the engine's
// reply handler on the window thread. Over the serial link, from the moment a
// reply's last byte is in the pseudo-terminal to the handler (the watcher's
// wake-up, its post and the window thread's read); over UDP on loopback, the
// whole round trip from SendToRadio through an echoing peer back to the handler.

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "bench_rig.h"
#include "engine/flash_engine.h"
#include "link/framing/radio_links.h"
#include "link/os/poll_event_loop.h"
#include "link/os/system_clock.h"
#include "link/udp/radio_socket.h"
#include "link/udp/udp_link.h"
#include "logs/logs.h"
#include "settings/settings.h"

namespace flash::bench {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int kSamples = 10000;
constexpr int kWarmUp = 200;
constexpr auto kReplyLimit = std::chrono::milliseconds(2000);
constexpr std::string_view kReply = "READY\r";
constexpr std::string_view kPacket = "XX\r";  // the acknowledge the radio answers with READY

double MicrosecondsBetween(SteadyClock::time_point from, SteadyClock::time_point to) {
  return std::chrono::duration<double, std::micro>(to - from).count();
}

// Median (mean of the middle two for an even count), the nearest-rank 99th
// percentile and the largest sample, as counters in microseconds.
void ReportLatencies(benchmark::State& state, std::vector<double> samples) {
  if (samples.empty()) return;
  std::sort(samples.begin(), samples.end());
  const std::size_t n = samples.size();
  const double median = n % 2 == 1 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
  const auto p99Rank = static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(n)));
  state.counters["median_us"] = median;
  state.counters["p99_us"] = samples[std::max<std::size_t>(p99Rank, 1) - 1];
  state.counters["max_us"] = samples.back();
  state.counters["samples"] = static_cast<double>(n);
}

// The engine and both links as the program wires them, on a poll loop as the
// window thread. The reply handler notes when it is entered, then hands the
// chunk to the parser as the program's handler does (the engine is idle, so
// the parser only notes that no run is under way).
class LinkRig {
 public:
  LinkRig() {
    links.SetReplyHandlers(
        [this](const std::uint8_t* data, std::uint8_t count) {
          const auto entered = SteadyClock::now();
          if (count == 0) {
            ++emptyChunks;  // a notification that found the port already read
          } else {
            handlerEntered = entered;
            ++replies;
            if (std::string_view(reinterpret_cast<const char*>(data), count) != kReply) ++wrongReplies;
          }
          engine.ParseRadioReply(data, count);
        },
        [this] { engine.StopVersionTimer(); });
  }

  // Runs the window thread until the next non-empty reply has reached the handler.
  bool AwaitReply(std::uint64_t repliesBefore) {
    return loop.RunUntil([&] { return replies != repliesBefore; }, kReplyLimit);
  }

  void ReportCounts(benchmark::State& state) const {
    state.counters["empty_chunks"] = static_cast<double>(emptyChunks);
    state.counters["wrong_replies"] = static_cast<double>(wrongReplies);
  }

  ScratchDir dir;
  PollEventLoop loop;
  BenchHost window;
  SystemClock clock;
  Logs logs{window, clock, dir.File("comms.txt")};
  CommSettings settings;
  RadioLinks links{settings, loop, logs, window};
  FlashEngine engine{window, clock, logs, links};

  SteadyClock::time_point handlerEntered{};
  std::uint64_t replies = 0;
  std::uint64_t emptyChunks = 0;
  std::uint64_t wrongReplies = 0;
};

// A pseudo-terminal: the benchmark writes the radio's replies to the master,
// the link opens the slave by its path.
class Pty {
 public:
  Pty() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0) {
      return;
    }
    slavePath_ = name;
  }
  ~Pty() {
    if (master_ >= 0) ::close(master_);
  }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  bool Ok() const { return !slavePath_.empty(); }
  const std::string& SlavePath() const { return slavePath_; }

  bool Send(std::string_view bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const auto n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

 private:
  int master_ = -1;
  std::string slavePath_;
};

// The radio's side of the UDP link on loopback: it answers every datagram with
// READY, either from a thread of its own (blocking receive, then send) or from
// the window thread's poll loop.
class EchoPeer {
 public:
  EchoPeer() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return;
    address_.sin_family = AF_INET;
    address_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address_;
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address_), sizeof address_) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address_), &length) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~EchoPeer() {
    StopThread();
    if (fd_ >= 0) ::close(fd_);
  }
  EchoPeer(const EchoPeer&) = delete;
  EchoPeer& operator=(const EchoPeer&) = delete;

  bool Ok() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  int Port() const { return ntohs(address_.sin_port); }

  // Takes one datagram (blocking when none waits) and answers it; false for
  // the empty datagram that asks the thread to end.
  bool EchoOnce(std::string_view expected) {
    std::uint8_t buffer[2048];
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const auto n = ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (n < 0) return errno == EINTR && !stopping_.load();
    if (n == 0 || stopping_.load()) return false;
    if (std::string_view(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(n)) != expected) {
      badDatagrams_.fetch_add(1);
    }
    ::sendto(fd_, kReply.data(), kReply.size(), 0, reinterpret_cast<const sockaddr*>(&from), length);
    return true;
  }

  void StartThread(std::string expected) {
    thread_ = std::thread([this, expected = std::move(expected)] {
      while (!stopping_.load() && EchoOnce(expected)) {
      }
    });
  }
  void StopThread() {
    if (!thread_.joinable()) return;
    stopping_.store(true);
    // Wakes the blocking receive: the socket sends itself an empty datagram.
    ::sendto(fd_, "", 0, 0, reinterpret_cast<const sockaddr*>(&address_), sizeof address_);
    thread_.join();
  }

  std::uint64_t BadDatagrams() const { return badDatagrams_.load(); }

 private:
  int fd_ = -1;
  sockaddr_in address_{};
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  std::atomic<std::uint64_t> badDatagrams_{0};
};

// From the reply's last byte written to the pseudo-terminal's master to the
// reply handler on the window thread: the watcher wakes, posts its
// notification, and OnSerialEvent reads the port and calls the handler.
void BM_SerialNotifyLatency(benchmark::State& state) {
  Pty pty;
  if (!pty.Ok()) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  LinkRig rig;
  rig.settings.SerialActive = 1;
  rig.settings.EthernetActive = 0;
  rig.settings.ComPort = pty.SlavePath();
  if (!rig.links.OpenForRun()) {
    state.SkipWithError("the serial link did not open on the pseudo-terminal");
    return;
  }

  for (int i = 0; i < kWarmUp; ++i) {
    const auto before = rig.replies;
    if (!pty.Send(kReply) || !rig.AwaitReply(before)) {
      state.SkipWithError("no reply during the warm-up");
      return;
    }
  }

  std::vector<double> samples;
  samples.reserve(kSamples);
  for (auto _ : state) {
    const auto before = rig.replies;
    if (!pty.Send(kReply)) {
      state.SkipWithError("writing to the pseudo-terminal failed");
      break;
    }
    const auto written = SteadyClock::now();
    if (!rig.AwaitReply(before)) {
      state.SkipWithError("a reply did not reach the handler");
      break;
    }
    const double us = MicrosecondsBetween(written, rig.handlerEntered);
    state.SetIterationTime(us / 1e6);
    samples.push_back(us);
  }
  ReportLatencies(state, std::move(samples));
  rig.ReportCounts(state);
}
BENCHMARK(BM_SerialNotifyLatency)->Iterations(kSamples)->UseManualTime()->Unit(benchmark::kMicrosecond);

// From SendToRadio of "XX\r" over the UDP link to the reply handler entered
// with the peer's "READY\r". The link's socket is created on a free port and
// connected to the peer on 127.0.0.1 directly, so that both can share the
// loopback address (OpenForRun would bind the peer's own port number). The
// peer answers from its own thread (range 1) or from the window thread's loop (range 0).
void BM_UdpRoundTrip(benchmark::State& state) {
  const bool peerThread = state.range(0) == 1;
  EchoPeer peer;
  if (!peer.Ok()) {
    state.SkipWithError("no loopback socket for the peer");
    return;
  }
  LinkRig rig;
  rig.settings.SerialActive = 0;
  rig.settings.EthernetActive = 1;
  rig.settings.Passcode = 0x2468;
  CRadioSocket& socket = rig.links.Socket();
  if (!socket.Create(0) || !socket.Connect("127.0.0.1", peer.Port())) {
    state.SkipWithError("the link's socket could not be created and connected");
    return;
  }
  const auto* packet = reinterpret_cast<const std::uint8_t*>(kPacket.data());
  const auto datagram = BuildDatagram(rig.settings.Passcode, packet, kPacket.size());
  const std::string expected(datagram.begin(), datagram.end());
  if (peerThread) {
    peer.StartThread(expected);
  } else {
    rig.loop.WatchReadable(peer.Fd(), [&peer, &expected] { peer.EchoOnce(expected); });
  }

  const auto roundTrip = [&]() -> bool {
    const auto before = rig.replies;
    rig.engine.SendToRadio(packet, kPacket.size());
    return rig.AwaitReply(before);
  };
  bool ok = true;
  for (int i = 0; i < kWarmUp && ok; ++i) ok = roundTrip();

  std::vector<double> samples;
  samples.reserve(kSamples);
  if (!ok) state.SkipWithError("no reply during the warm-up");
  for (auto _ : state) {
    const auto sent = SteadyClock::now();
    if (!roundTrip()) {
      state.SkipWithError("a reply did not reach the handler");
      break;
    }
    const double us = MicrosecondsBetween(sent, rig.handlerEntered);
    state.SetIterationTime(us / 1e6);
    samples.push_back(us);
  }
  if (peerThread) {
    peer.StopThread();
  } else {
    rig.loop.UnwatchReadable(peer.Fd());
  }
  socket.Close();
  ReportLatencies(state, std::move(samples));
  rig.ReportCounts(state);
  state.counters["bad_datagrams"] = static_cast<double>(peer.BadDatagrams());
}
BENCHMARK(BM_UdpRoundTrip)
    ->ArgName("peer_thread")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(kSamples)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace flash::bench

BENCHMARK_MAIN();
