// Replays the packets of a program run over a serial port with nothing but a
// blocking read in between: each packet is written whole, then the port is
// read until the reply's carriage return has come, then the next packet goes.
// Before every packet it makes the same pause as the updater's line encoder.
// Against the simulated radio at a baud rate this shows what the simulator,
// the pseudo-terminal and the scheduler alone cost on top of the line time,
// so the updater's own share can be told apart.
//
//   perf_serial_replay PORT TRANSCRIPT [--baud N] [--no-pause]
//
// TRANSCRIPT is the simulator's transcript of an earlier run; its packets are
// sent in the same order. The figures go to standard output on one line.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace flash::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kReplyWaitMs = 2000;

void PauseBetweenPackets() {
  volatile int countdown = 50000;
  while (countdown > 0) {
    const int left = countdown;
    countdown = left - 1;
  }
}

struct Exchange {
  std::vector<std::uint8_t> packet;
  bool answered = true;  // the transcript shows a reply
};

// "N kind LEN HH HH ... -> reply [notes]": the packet's bytes and whether a
// reply went out. Rejected datagrams and the summary are skipped.
std::vector<Exchange> ReadTranscript(const std::string& path) {
  std::ifstream in(path);
  std::vector<Exchange> exchanges;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] < '0' || line[0] > '9') continue;
    std::istringstream words(line);
    std::string number, kind, length, word;
    words >> number >> kind >> length;
    Exchange exchange;
    while (words >> word && word != "->") {
      exchange.packet.push_back(static_cast<std::uint8_t>(std::strtoul(word.c_str(), nullptr, 16)));
    }
    words >> word;
    exchange.answered = word != "none";
    if (!exchange.packet.empty()) exchanges.push_back(std::move(exchange));
  }
  return exchanges;
}

bool WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Reads until a carriage return; returns the bytes read, or -1 on an error
// or when no byte comes for kReplyWaitMs.
long ReadReply(int fd) {
  std::array<std::uint8_t, 256> buffer{};
  long total = 0;
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, kReplyWaitMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      errno = ready == 0 ? ETIMEDOUT : errno;
      return -1;
    }
    const ssize_t n = read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    total += n;
    if (std::find(buffer.begin(), buffer.begin() + n, '\r') != buffer.begin() + n) return total;
  }
}

int Main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: perf_serial_replay PORT TRANSCRIPT [--baud N] [--no-pause]\n");
    return 2;
  }
  long baud = 57600;
  bool pause = true;
  for (int i = 3; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--baud" && i + 1 < argc) {
      baud = std::strtol(argv[++i], nullptr, 10);
    } else if (arg == "--no-pause") {
      pause = false;
    } else {
      std::fprintf(stderr, "perf_serial_replay: unknown argument %s\n", arg.c_str());
      return 2;
    }
  }
  if (baud <= 0) {
    std::fprintf(stderr, "perf_serial_replay: bad baud rate\n");
    return 2;
  }
  const auto exchanges = ReadTranscript(argv[2]);
  if (exchanges.empty()) {
    std::fprintf(stderr, "perf_serial_replay: no packets in %s\n", argv[2]);
    return 1;
  }
  const int fd = open(argv[1], O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    std::perror("perf_serial_replay: open");
    return 1;
  }
  termios tio{};
  tcgetattr(fd, &tio);
  cfmakeraw(&tio);
  cfsetspeed(&tio, B57600);
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  tcsetattr(fd, TCSANOW, &tio);
  tcflush(fd, TCIOFLUSH);

  std::vector<double> excess;  // round trip beyond the line time, microseconds
  excess.reserve(exchanges.size());
  long bytesOut = 0;
  long bytesIn = 0;
  const auto start = Clock::now();
  for (const Exchange& exchange : exchanges) {
    if (pause) PauseBetweenPackets();
    const auto sent = Clock::now();
    if (!WriteAll(fd, exchange.packet)) {
      std::perror("perf_serial_replay: write");
      return 1;
    }
    bytesOut += static_cast<long>(exchange.packet.size());
    long got = 0;
    if (exchange.answered) {
      got = ReadReply(fd);
      if (got < 0) {
        std::perror("perf_serial_replay: read");
        return 1;
      }
      bytesIn += got;
    }
    const double rtt = std::chrono::duration<double, std::micro>(Clock::now() - sent).count();
    const double wire = static_cast<double>(static_cast<long>(exchange.packet.size()) + got) * 10e6 /
                        static_cast<double>(baud);
    excess.push_back(rtt - wire);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const double wireSeconds = static_cast<double>(bytesOut + bytesIn) * 10.0 / static_cast<double>(baud);
  double sum = 0;
  for (const double e : excess) sum += e;
  std::sort(excess.begin(), excess.end());
  const auto rank = [&](double q) {
    const auto r = static_cast<std::size_t>(std::ceil(q * static_cast<double>(excess.size())));
    return excess[std::max<std::size_t>(r, 1) - 1];
  };
  std::printf("exchanges %zu bytes_out %ld bytes_in %ld seconds %.4f wire_seconds %.4f ratio %.4f "
              "excess_mean_us %.1f excess_median_us %.1f excess_p90_us %.1f excess_p99_us %.1f excess_max_us %.1f over_1ms %ld\n",
              exchanges.size(), bytesOut, bytesIn, seconds, wireSeconds, wireSeconds / seconds,
              sum / static_cast<double>(excess.size()), rank(0.5), rank(0.9), rank(0.99), excess.back(),
              static_cast<long>(std::count_if(excess.begin(), excess.end(), [](double e) { return e > 1000.0; })));
  close(fd);
  return 0;
}

}  // namespace
}  // namespace flash::bench

int main(int argc, char** argv) { return flash::bench::Main(argc, argv); }
