#pragma once
// A real pseudo-terminal pair for the serial tests: the test holds the master
// side and plays the radio; the code under test opens the slave by its path.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace flash::testing {

class PtyPair {
 public:
  PtyPair() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
      throw std::runtime_error("no pseudo-terminal");
    }
    char name[128];
    if (::ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("no pseudo-terminal name");
    slavePath_ = name;
  }
  ~PtyPair() { CloseMaster(); }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& SlavePath() const { return slavePath_; }
  int MasterFd() const { return master_; }

  // The radio sends.
  void Send(std::string_view bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const auto n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n <= 0) throw std::runtime_error("pty write failed");
      done += static_cast<std::size_t>(n);
    }
  }

  // What the radio has received so far, waiting up to `wait` for the first byte.
  std::string Receive(std::chrono::milliseconds wait = std::chrono::milliseconds(2000)) const {
    std::string got;
    pollfd p{master_, POLLIN, 0};
    int timeout = static_cast<int>(wait.count());
    while (::poll(&p, 1, timeout) > 0 && (p.revents & POLLIN) != 0) {
      char buffer[4096];
      const auto n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      got.append(buffer, static_cast<std::size_t>(n));
      timeout = 50;  // then take what follows close behind
    }
    return got;
  }

  // The slave's termios as the kernel holds it (termios requests on the master act on the slave).
  termios SlaveTermios() const {
    termios t{};
    ::tcgetattr(master_, &t);
    return t;
  }

  // The radio hangs up.
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  std::string slavePath_;
};

}  // namespace flash::testing
