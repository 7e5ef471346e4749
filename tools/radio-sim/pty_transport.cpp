#include "radio-sim/pty_transport.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace flash::radio_sim {

namespace {

std::string Failure(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

bool MakeRaw(int fd) {
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return false;
  cfmakeraw(&settings);
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  return tcsetattr(fd, TCSANOW, &settings) == 0;
}

// The target of a symlink, empty when the path is not one.
std::string LinkTarget(const std::string& path) {
  std::vector<char> target(4096);
  const ssize_t length = readlink(path.c_str(), target.data(), target.size() - 1);
  if (length < 0) return {};
  return std::string(target.data(), static_cast<std::size_t>(length));
}

}  // namespace

PtyTransport::~PtyTransport() { HangUp(); }

bool PtyTransport::Open(const std::string& linkPath, std::string& error) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0) {
    error = Failure("posix_openpt");
    return false;
  }
  char name[256];
  if (grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0) {
    error = Failure("pseudo-terminal set-up");
    HangUp();
    return false;
  }
  slavePath_ = name;
  holder_ = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (holder_ < 0 || !MakeRaw(holder_) || !MakeRaw(master_) ||
      fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK) != 0 ||
      fcntl(master_, F_SETFD, FD_CLOEXEC) != 0) {
    error = Failure(slavePath_.c_str());
    HangUp();
    return false;
  }
  if (!linkPath.empty()) {
    struct stat info {};
    if (lstat(linkPath.c_str(), &info) == 0) {
      if (!S_ISLNK(info.st_mode)) {
        error = linkPath + " exists and is not a symlink";
        HangUp();
        return false;
      }
      unlink(linkPath.c_str());
    }
    if (symlink(slavePath_.c_str(), linkPath.c_str()) != 0) {
      error = Failure(linkPath.c_str());
      HangUp();
      return false;
    }
    linkPath_ = linkPath;
  }
  return true;
}

std::size_t PtyTransport::Read(std::span<std::uint8_t> buffer) {
  if (master_ < 0) return 0;
  for (;;) {
    const ssize_t n = read(master_, buffer.data(), buffer.size());
    if (n > 0) return static_cast<std::size_t>(n);
    if (n < 0 && errno == EINTR) continue;
    return 0;  // nothing waiting (EAGAIN), or no slave open (EIO)
  }
}

std::size_t PtyTransport::Write(std::span<const std::uint8_t> bytes) {
  if (master_ < 0 || bytes.empty()) return 0;
  for (;;) {
    const ssize_t n = write(master_, bytes.data(), bytes.size());
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) return 0;
  }
}

std::size_t PtyTransport::Unread() const {
  int count = 0;
  if (holder_ < 0 || ioctl(holder_, FIONREAD, &count) != 0 || count < 0) return 0;
  return static_cast<std::size_t>(count);
}

void PtyTransport::HangUp() {
  // Remove the link only while it still names our port.
  if (!linkPath_.empty() && LinkTarget(linkPath_) == slavePath_) unlink(linkPath_.c_str());
  linkPath_.clear();
  if (holder_ >= 0) close(holder_);
  if (master_ >= 0) close(master_);
  holder_ = -1;
  master_ = -1;
}

}  // namespace flash::radio_sim
