// A bare UDP ping-pong with the traffic of a program run: the client sends a
// data packet of a 16-byte record (23 bytes) behind a 2-byte passcode, the
// server answers with the checksum echo ":XX\r". The server also answers the
// version query, the acknowledge and segment records, so the updater itself
// can run against it: a radio that costs nothing. Before every packet the
// client makes the same pause as the updater's line encoder. It sets the
// ceiling an update over UDP can reach between the same two kinds of process.
//
//   udp_pingpong serve ADDR:PORT [--passcode N] [--count N]
//   udp_pingpong client HOST:PORT [--passcode N] [--count N] [--no-pause] [--poll]
//
// The client binds PORT on every local address and connects to HOST:PORT, as
// the updater does. The server answers until it has answered --count packets
// (0, the default: until killed). The client prints one line of figures.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace flash::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kPacketLength = 23;  // 'B', LL, address, TT, 16 data bytes, checksum, CR
constexpr int kReplyWaitMs = 1000;

// The same loop as the line encoder's pause between packets.
void PauseBetweenPackets() {
  volatile int countdown = 50000;
  while (countdown > 0) {
    const int left = countdown;
    countdown = left - 1;
  }
}

struct Options {
  std::string mode;
  std::string host;
  std::uint16_t port = 0;
  unsigned passcode = 0;
  long count = 0;
  bool pause = true;
  bool usePoll = false;
};

[[noreturn]] void Usage(const char* why) {
  std::fprintf(stderr,
               "udp_pingpong: %s\n"
               "usage: udp_pingpong serve ADDR:PORT [--passcode N] [--count N]\n"
               "       udp_pingpong client HOST:PORT [--passcode N] [--count N] [--no-pause] [--poll]\n",
               why);
  std::exit(2);
}

long Number(const char* text) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 0);
  if (end == text || *end != '\0' || value < 0) Usage("bad number");
  return value;
}

Options Parse(int argc, char** argv) {
  if (argc < 3) Usage("mode and endpoint needed");
  Options options;
  options.mode = argv[1];
  if (options.mode != "serve" && options.mode != "client") Usage("mode is serve or client");
  const std::string endpoint = argv[2];
  const auto colon = endpoint.rfind(':');
  if (colon == std::string::npos) Usage("endpoint is HOST:PORT");
  options.host = endpoint.substr(0, colon);
  const long port = Number(endpoint.c_str() + colon + 1);
  if (port > 65535) Usage("port out of range");
  options.port = static_cast<std::uint16_t>(port);
  for (int i = 3; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--no-pause") {
      options.pause = false;
    } else if (arg == "--poll") {
      options.usePoll = true;
    } else if ((arg == "--passcode" || arg == "--count") && i + 1 < argc) {
      const long value = Number(argv[++i]);
      if (arg == "--passcode") options.passcode = static_cast<unsigned>(value) & 0xFFFFu;
      if (arg == "--count") options.count = value;
    } else {
      Usage(("unknown argument " + arg).c_str());
    }
  }
  return options;
}

sockaddr_in Address(const std::string& host, std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  if (host.empty() || host == "0.0.0.0") {
    address.sin_addr.s_addr = htonl(INADDR_ANY);
  } else if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
    Usage("not an IPv4 address");
  }
  return address;
}

int BoundSocket(const sockaddr_in& local) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    std::perror("udp_pingpong: bind");
    std::exit(1);
  }
  return fd;
}

// Passcode (high byte first) and a program packet of one 16-byte record at
// `address`, with the record's checksum, as the updater sends it.
std::array<std::uint8_t, 2 + kPacketLength> Datagram(unsigned passcode, unsigned address) {
  std::array<std::uint8_t, 2 + kPacketLength> d{};
  d[0] = static_cast<std::uint8_t>(passcode >> 8);
  d[1] = static_cast<std::uint8_t>(passcode);
  std::uint8_t* p = d.data() + 2;
  p[0] = 'B';
  p[1] = 0x10;
  p[2] = static_cast<std::uint8_t>(address >> 8);
  p[3] = static_cast<std::uint8_t>(address);
  p[4] = 0x00;
  for (std::size_t i = 0; i < 16; ++i) p[5 + i] = static_cast<std::uint8_t>(address * 7 + i);
  // Two's complement of the sum of LL, the address, TT and the data.
  unsigned sum = 0;
  for (std::size_t i = 1; i < 21; ++i) sum += static_cast<unsigned>(p[i]);
  p[21] = static_cast<std::uint8_t>(0x100u - (sum & 0xFFu));
  p[22] = '\r';
  return d;
}

// The least a radio must answer for an updater's run to go through: the
// version query, the acknowledge, segment records and the checksum echo of
// every record; nothing is stored or checked. Other packets get no answer.
std::string ReplyTo(std::string_view packet) {
  if (packet == "?V\r") return "VER 2101 730\r";
  if (packet == "XX\r" || packet == "ZZ\r") return "READY\r";
  if (packet.size() < 4 || packet.back() != '\r') return {};
  if (packet[0] == 'A') return "A\r";
  if (packet[0] == 'B' || packet[0] == 'V' || packet[0] == 'S' || static_cast<std::uint8_t>(packet[0]) == 0x99) {
    char echo[8];
    std::snprintf(echo, sizeof echo, ":%02X\r", static_cast<std::uint8_t>(packet[packet.size() - 2]));
    return echo;
  }
  return {};
}

int Serve(const Options& options) {
  const int fd = BoundSocket(Address(options.host, options.port));
  std::printf("udp_pingpong: serving %s:%u\n", options.host.c_str(), options.port);
  std::fflush(stdout);
  std::array<std::uint8_t, 2048> buffer{};
  long answered = 0;
  while (options.count == 0 || answered < options.count) {
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t n = recvfrom(fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (n < 0) {
      if (errno == EINTR) continue;
      std::perror("udp_pingpong: recvfrom");
      return 1;
    }
    const auto size = static_cast<std::size_t>(n);
    if (size < 4 || ((static_cast<unsigned>(buffer[0]) << 8) | buffer[1]) != options.passcode) continue;
    const std::string reply = ReplyTo(std::string_view(reinterpret_cast<const char*>(buffer.data()) + 2, size - 2));
    if (reply.empty()) continue;
    sendto(fd, reply.data(), reply.size(), 0, reinterpret_cast<const sockaddr*>(&from), length);
    ++answered;
  }
  close(fd);
  return 0;
}

int Client(const Options& options) {
  const long count = options.count > 0 ? options.count : 20000;
  const int fd = BoundSocket(Address("", options.port));
  // A lost reply ends the wait after a second instead of hanging the client.
  const timeval replyWait{kReplyWaitMs / 1000, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &replyWait, sizeof replyWait);
  const sockaddr_in peer = Address(options.host, options.port);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
    std::perror("udp_pingpong: connect");
    return 1;
  }
  // Wait until the server answers, so start-up is not timed.
  std::array<std::uint8_t, 64> reply{};
  for (int attempt = 0;; ++attempt) {
    const auto d = Datagram(options.passcode, 0);
    send(fd, d.data(), d.size(), 0);
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) > 0 && recv(fd, reply.data(), reply.size(), 0) > 0) break;
    if (attempt == 50) {
      std::fprintf(stderr, "udp_pingpong: no answer from %s:%u\n", options.host.c_str(), options.port);
      return 1;
    }
  }
  // Answers to repeated warm-up packets must not pass for later replies.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  while (recv(fd, reply.data(), reply.size(), MSG_DONTWAIT) > 0) {
  }

  std::vector<double> samples;
  samples.reserve(static_cast<std::size_t>(count));
  long lost = 0;
  long wrong = 0;
  const auto start = Clock::now();
  for (long i = 0; i < count; ++i) {
    if (options.pause) PauseBetweenPackets();
    const auto d = Datagram(options.passcode, static_cast<unsigned>(i) * 16u);
    const auto sent = Clock::now();
    send(fd, d.data(), d.size(), 0);
    ssize_t n = -1;
    for (;;) {
      if (options.usePoll) {
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, kReplyWaitMs);
        if (ready == 0) break;
        if (ready < 0) continue;
        n = recv(fd, reply.data(), reply.size(), MSG_DONTWAIT);
      } else {
        n = recv(fd, reply.data(), reply.size(), 0);
      }
      if (n >= 0 || errno != EINTR) break;
    }
    samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
    char expected[8];
    std::snprintf(expected, sizeof expected, ":%02X\r", d[d.size() - 2]);
    if (n < 0) {
      ++lost;
    } else if (n != 4 || std::memcmp(reply.data(), expected, 4) != 0) {
      ++wrong;
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::sort(samples.begin(), samples.end());
  const auto rank = [&](double q) {
    const auto r = static_cast<std::size_t>(std::ceil(q * static_cast<double>(samples.size())));
    return samples[std::max<std::size_t>(r, 1) - 1];
  };
  std::printf("exchanges %ld seconds %.4f exchanges_per_s %.1f rtt_median_us %.1f rtt_p99_us %.1f lost %ld wrong %ld\n",
              count, seconds, static_cast<double>(count) / seconds, rank(0.5), rank(0.99), lost, wrong);
  close(fd);
  return lost == 0 && wrong == 0 ? 0 : 1;
}

}  // namespace
}  // namespace flash::bench

int main(int argc, char** argv) {
  const auto options = flash::bench::Parse(argc, argv);
  return options.mode == "serve" ? flash::bench::Serve(options) : flash::bench::Client(options);
}
