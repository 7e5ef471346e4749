#include "link/os/serial_device.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>

namespace flash {

namespace {

using Clock = std::chrono::steady_clock;
using Deadline = std::optional<Clock::time_point>;

constexpr std::uint32_t kMaxQueueSize = 1u << 20;
// Driver time-outs beyond this (about 31 years) are treated as this.
constexpr std::uint64_t kMaxDriverTimeoutMs = 1'000'000'000'000ull;

struct SpeedCode {
  std::uint32_t baud;
  speed_t code;
};

constexpr SpeedCode kSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

std::optional<speed_t> SpeedFor(std::uint32_t baud) {
  for (const auto& s : kSpeeds) {
    if (s.baud == baud) return s.code;
  }
  return std::nullopt;
}

std::uint32_t BaudFor(speed_t code) {
  for (const auto& s : kSpeeds) {
    if (s.code == code) return s.baud;
  }
  return 0;
}

void ClearBits(tcflag_t& flags, tcflag_t bits) { flags &= ~bits; }
void SetBits(tcflag_t& flags, tcflag_t bits, bool on) {
  if (on) {
    flags |= bits;
  } else {
    flags &= ~bits;
  }
}

// Raw mode, 8N1, no flow control, modem lines ignored; errored bytes and breaks
// are marked in the input (PARMRK) so that the driver can see them.
void MakeRaw(termios& t) {
  ClearBits(t.c_iflag, IGNBRK | BRKINT | IGNPAR | INPCK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                           IXANY | IMAXBEL);
  t.c_iflag |= PARMRK;
  ClearBits(t.c_oflag, OPOST);
  ClearBits(t.c_lflag, ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
  ClearBits(t.c_cflag, CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  t.c_cflag |= CS8 | CREAD | CLOCAL;
  // One byte satisfies a read, so that with O_NONBLOCK "nothing there" is
  // EAGAIN and a read of 0 means the line hung up.
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
}

Deadline After(std::uint32_t timeoutMs, Clock::time_point now) {
  if (timeoutMs == INFINITE) return std::nullopt;
  return now + std::chrono::milliseconds(timeoutMs);
}

Deadline DriverDeadline(std::uint32_t multiplier, std::uint32_t constant, std::size_t count,
                        Clock::time_point now) {
  if (multiplier == 0 && constant == 0) return std::nullopt;
  std::uint64_t total = constant;
  if (multiplier != 0) {
    const std::uint64_t perByte = multiplier;
    total = count > kMaxDriverTimeoutMs / perByte ? kMaxDriverTimeoutMs : total + perByte * count;
  }
  total = std::min(total, kMaxDriverTimeoutMs);
  return now + std::chrono::milliseconds(static_cast<std::int64_t>(total));
}

Deadline Earliest(Deadline a, Deadline b) {
  if (!a) return b;
  if (!b) return a;
  return std::min(*a, *b);
}

int PollTimeout(Deadline deadline) {
  if (!deadline) return -1;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<std::int64_t>(left, 0, INT_MAX));
}

bool Passed(Deadline deadline) { return deadline && Clock::now() >= *deadline; }

// Modem-line switches: devices without modem lines (pseudo-terminals) refuse
// them, which is not an error for us.
std::int32_t SetModemLine(int fd, int line, bool on) {
  int bits = line;
  if (::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0) return 0;
  const int error = errno;
  if (error == ENOTTY || error == EINVAL) return 0;
  return error;
}

constexpr short kHangUpEvents = POLLHUP | POLLERR | POLLNVAL;

}  // namespace

// ---------------------------------------------------------------- OsEvent

std::int32_t OsEvent::Create(std::unique_ptr<OsEvent>& event) {
  const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) return errno;
  event.reset(new OsEvent(fd));
  return 0;
}

OsEvent::~OsEvent() { ::close(fd_); }

void OsEvent::Set() {
  const std::uint64_t one = 1;
  // Fails only when the counter is already near its limit, i.e. set.
  [[maybe_unused]] const auto written = ::write(fd_, &one, sizeof one);
}

void OsEvent::Reset() {
  std::uint64_t value = 0;
  [[maybe_unused]] const auto got = ::read(fd_, &value, sizeof value);
}

bool OsEvent::IsSet() const {
  pollfd p{fd_, POLLIN, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0;
}

// ---------------------------------------------------------------- names

std::string ResolveSerialDeviceName(std::string_view portName) {
  if (portName.size() > 3 && portName.size() <= 12) {
    const auto prefix = portName.substr(0, 3);
    const auto digits = portName.substr(3);
    const bool isCom = std::equal(prefix.begin(), prefix.end(), "com", [](char a, char b) {
      return std::tolower(static_cast<unsigned char>(a)) == b;
    });
    const bool allDigits = std::all_of(digits.begin(), digits.end(),
                                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
    if (isCom && allDigits) {
      unsigned long number = 0;
      for (char c : digits) number = number * 10 + static_cast<unsigned long>(c - '0');
      if (number >= 1) return "/dev/ttyS" + std::to_string(number - 1);
    }
  }
  return std::string(portName);
}

// ---------------------------------------------------------------- marks

MarkedInputDecoder::Marks MarkedInputDecoder::Decode(const std::uint8_t* raw, std::size_t count,
                                                     std::deque<std::uint8_t>& out) {
  Marks marks;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t b = raw[i];
    switch (state_) {
      case State::kData:
        if (b == 0xFF) {
          state_ = State::kSawFF;
        } else {
          out.push_back(b);
        }
        break;
      case State::kSawFF:
        if (b == 0x00) {
          state_ = State::kSawFF00;
        } else {
          // "\377\377" is a data 0xFF; anything else cannot follow a mark and is kept as data.
          out.push_back(0xFF);
          if (b != 0xFF) out.push_back(b);
          state_ = State::kData;
        }
        break;
      case State::kSawFF00:
        if (b == 0x00) {
          ++marks.breaks;
        } else {
          ++marks.badBytes;
          out.push_back(b);
        }
        state_ = State::kData;
        break;
    }
  }
  return marks;
}

// ---------------------------------------------------------------- device

SerialDevice::SerialDevice(int fd, const termios& original, std::unique_ptr<OsEvent> rxSignal)
    : fd_(fd), original_(original), rxSignal_(std::move(rxSignal)) {}

std::int32_t SerialDevice::Open(const std::string& path, std::unique_ptr<SerialDevice>& device) {
  if (path.empty()) return ENOENT;
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  bool exclusive = false;
  const auto fail = [&](int error) {
    if (exclusive) ::ioctl(fd, TIOCNXCL);
    ::close(fd);
    return error;
  };

  termios original{};
  if (::tcgetattr(fd, &original) != 0) return fail(errno);  // not a tty: ENOTTY
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    return fail(error == EWOULDBLOCK ? EBUSY : error);
  }
  // Keeps later opens by other programs out (the lock only binds those that ask for it).
  exclusive = ::ioctl(fd, TIOCEXCL) == 0;

  termios raw = original;
  MakeRaw(raw);
  if (::cfgetospeed(&raw) == B0 || BaudFor(::cfgetospeed(&raw)) == 0) {
    ::cfsetispeed(&raw, B9600);
    ::cfsetospeed(&raw, B9600);
  }
  if (::tcsetattr(fd, TCSANOW, &raw) != 0) return fail(errno);

  std::unique_ptr<OsEvent> rxSignal;
  if (const auto error = OsEvent::Create(rxSignal); error != 0) return fail(error);

  std::unique_ptr<SerialDevice> opened(new SerialDevice(fd, original, std::move(rxSignal)));
  SetModemLine(fd, TIOCM_DTR, true);
  SetModemLine(fd, TIOCM_RTS, true);

  // USB adapters hand received bytes over in batches unless asked for low
  // latency; devices that do not know the request (pseudo-terminals) are left alone.
  serial_struct serial{};
  if (::ioctl(fd, TIOCGSERIAL, &serial) == 0 && (static_cast<unsigned>(serial.flags) & ASYNC_LOW_LATENCY) == 0) {
    const int before = serial.flags;
    serial.flags |= static_cast<int>(ASYNC_LOW_LATENCY);
    if (::ioctl(fd, TIOCSSERIAL, &serial) == 0) opened->originalSerialFlags_ = before;
  }

  {
    std::lock_guard lock(opened->mutex_);
    opened->SampleCountersLocked();  // the baseline of the error counters
  }
  device = std::move(opened);
  return 0;
}

SerialDevice::~SerialDevice() {
  // Unsent output would make the close wait for a peer that holds CTS low.
  ::tcflush(fd_, TCOFLUSH);
  if (originalSerialFlags_) {
    serial_struct serial{};
    if (::ioctl(fd_, TIOCGSERIAL, &serial) == 0) {
      serial.flags = *originalSerialFlags_;
      ::ioctl(fd_, TIOCSSERIAL, &serial);
    }
  }
  ::tcsetattr(fd_, TCSANOW, &original_);
  ::ioctl(fd_, TIOCNXCL);
  ::flock(fd_, LOCK_UN);
  ::close(fd_);
}

std::int32_t SerialDevice::SetQueueSizes(std::uint32_t inQueue, std::uint32_t outQueue) {
  if (inQueue > kMaxQueueSize || outQueue > kMaxQueueSize) return EINVAL;
  if (inQueue != 0) {
    std::lock_guard lock(mutex_);
    capacity_ = inQueue;
  }
  return 0;
}

std::int32_t SerialDevice::GetLineSettings(SerialLineSettings& settings) {
  termios t{};
  if (::tcgetattr(fd_, &t) != 0) return errno;
  SerialLineSettings s;
  s.BaudRate = BaudFor(::cfgetospeed(&t));
  switch (t.c_cflag & CSIZE) {
    case CS5: s.ByteSize = 5; break;
    case CS6: s.ByteSize = 6; break;
    case CS7: s.ByteSize = 7; break;
    default: s.ByteSize = 8; break;
  }
  if ((t.c_cflag & PARENB) == 0) {
    s.Parity = NOPARITY;
  } else if ((t.c_cflag & CMSPAR) != 0) {
    s.Parity = (t.c_cflag & PARODD) != 0 ? MARKPARITY : SPACEPARITY;
  } else {
    s.Parity = (t.c_cflag & PARODD) != 0 ? ODDPARITY : EVENPARITY;
  }
  if ((t.c_cflag & CSTOPB) == 0) {
    s.StopBits = ONESTOPBIT;
  } else {
    s.StopBits = s.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
  }
  s.fParity = (t.c_iflag & INPCK) != 0;
  const bool hardware = (t.c_cflag & CRTSCTS) != 0;
  s.fOutxCtsFlow = hardware;
  s.fOutxDsrFlow = false;
  s.fOutX = (t.c_iflag & IXON) != 0;
  s.fInX = (t.c_iflag & IXOFF) != 0;
  std::lock_guard lock(mutex_);
  s.fDtrControl = dtrControl_;
  if (hardware) {
    s.fRtsControl = RTS_CONTROL_HANDSHAKE;
  } else {
    s.fRtsControl = rtsControl_ == RTS_CONTROL_HANDSHAKE ? RTS_CONTROL_ENABLE : rtsControl_;
  }
  s.EvtChar = eventChar_;
  settings = s;
  return 0;
}

std::int32_t SerialDevice::SetLineSettings(const SerialLineSettings& s) {
  const auto speed = SpeedFor(s.BaudRate);
  if (!speed || s.ByteSize < 5 || s.ByteSize > 8 || s.Parity > SPACEPARITY || s.StopBits > TWOSTOPBITS ||
      (s.StopBits == ONE5STOPBITS && s.ByteSize != 5) || (s.StopBits == TWOSTOPBITS && s.ByteSize == 5) ||
      s.fOutxDsrFlow || s.fDtrControl > DTR_CONTROL_ENABLE || s.fRtsControl > RTS_CONTROL_HANDSHAKE) {
    return EINVAL;
  }
  termios t{};
  if (::tcgetattr(fd_, &t) != 0) return errno;
  const termios before = t;
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  ClearBits(t.c_cflag, CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
  t.c_cflag |= kSizes[s.ByteSize - 5];
  SetBits(t.c_cflag, PARENB, s.Parity != NOPARITY);
  SetBits(t.c_cflag, PARODD, s.Parity == ODDPARITY || s.Parity == MARKPARITY);
  SetBits(t.c_cflag, CMSPAR, s.Parity == MARKPARITY || s.Parity == SPACEPARITY);
  SetBits(t.c_cflag, CSTOPB, s.StopBits != ONESTOPBIT);
  SetBits(t.c_cflag, CRTSCTS, s.fOutxCtsFlow || s.fRtsControl == RTS_CONTROL_HANDSHAKE);
  SetBits(t.c_iflag, INPCK, s.fParity);
  SetBits(t.c_iflag, IXON, s.fOutX);
  SetBits(t.c_iflag, IXOFF, s.fInX);
  ::cfsetispeed(&t, *speed);
  ::cfsetospeed(&t, *speed);
  if (::tcsetattr(fd_, TCSANOW, &t) != 0) return errno;

  // tcsetattr succeeds when any part of the change took; a driver that
  // cannot run the line as asked (a pseudo-terminal knows only 8 bits without
  // parity) shows it in what it kept. Such a change is taken back whole.
  termios kept{};
  if (::tcgetattr(fd_, &kept) != 0) return errno;
  constexpr tcflag_t kLine = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
  if (::cfgetospeed(&kept) != *speed || (kept.c_cflag & kLine) != (t.c_cflag & kLine)) {
    ::tcsetattr(fd_, TCSANOW, &before);
    return EINVAL;
  }

  if (const auto e = SetModemLine(fd_, TIOCM_DTR, s.fDtrControl == DTR_CONTROL_ENABLE); e != 0) return e;
  if (const auto e = SetModemLine(fd_, TIOCM_RTS, s.fRtsControl != RTS_CONTROL_DISABLE); e != 0) return e;

  std::lock_guard lock(mutex_);
  dtrControl_ = s.fDtrControl;
  rtsControl_ = s.fRtsControl;
  eventChar_ = s.EvtChar;
  parityEnabled_ = s.Parity != NOPARITY;
  return 0;
}

std::int32_t SerialDevice::GetTimeouts(SerialTimeouts& timeouts) {
  std::lock_guard lock(mutex_);
  timeouts = timeouts_;
  return 0;
}

std::int32_t SerialDevice::SetTimeouts(const SerialTimeouts& timeouts) {
  std::lock_guard lock(mutex_);
  timeouts_ = timeouts;
  return 0;
}

std::int32_t SerialDevice::SetEventMask(std::uint32_t mask) {
  if ((mask & ~kValidEventBits) != 0) return EINVAL;
  std::lock_guard lock(mutex_);
  mask_ = mask;
  history_ = 0;
  if (pendingWait_) CompleteWaitLocked(0);
  return 0;
}

std::int32_t SerialDevice::StartWaitEvent(std::atomic<std::uint32_t>& events, OsEvent& completion) {
  std::lock_guard lock(mutex_);
  if (pendingWait_) return EBUSY;
  if (mask_ == 0) return EINVAL;
  completion.Reset();
  DrainLocked();
  if (history_ != 0) {
    events.store(history_);
    history_ = 0;
    completion.Set();
    return 0;
  }
  if (hangUpError_ != 0) return hangUpError_;
  pendingWait_ = PendingWait{&events, &completion, std::this_thread::get_id()};
  return ERROR_IO_PENDING;
}

void SerialDevice::CancelWait() {
  std::lock_guard lock(mutex_);
  if (pendingWait_ && pendingWait_->owner == std::this_thread::get_id()) pendingWait_.reset();
}

std::int32_t SerialDevice::WaitAny(std::span<OsEvent* const> events, std::uint32_t timeoutMs,
                                   std::size_t& signalled) {
  constexpr std::size_t kMaxEvents = 8;
  if (events.empty() || events.size() > kMaxEvents) return EINVAL;
  const Deadline deadline = After(timeoutMs, Clock::now());
  for (;;) {
    pollfd fds[kMaxEvents + 1];
    std::size_t count = 0;
    for (OsEvent* event : events) fds[count++] = pollfd{event->Fd(), POLLIN, 0};
    bool watchDevice = false;
    {
      std::lock_guard lock(mutex_);
      if (pendingWait_ && hangUpError_ == 0) {
        watchDevice = true;
        // With a full queue only a hang-up is of interest: the rest waits in the tty.
        fds[count++] = pollfd{fd_, static_cast<short>(QueueHasRoomLocked() ? POLLIN : 0), 0};
      }
    }
    const int ready = ::poll(fds, static_cast<nfds_t>(count), PollTimeout(deadline));
    if (ready < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    for (std::size_t i = 0; i < events.size(); ++i) {
      if ((fds[i].revents & POLLIN) != 0) {
        signalled = i;
        return 0;
      }
      if ((fds[i].revents & kHangUpEvents) != 0) return EBADF;
    }
    if (watchDevice && fds[count - 1].revents != 0) {
      std::lock_guard lock(mutex_);
      DrainLocked();
      if ((fds[count - 1].revents & kHangUpEvents) != 0) HangUpLocked(EIO);
      continue;
    }
    if (ready == 0 && Passed(deadline)) return ERROR_TIMEOUT;
  }
}

std::int32_t SerialDevice::ClearErrors(std::uint32_t& errors) {
  std::lock_guard lock(mutex_);
  SampleCountersLocked();
  errors = errors_;
  errors_ = 0;
  return 0;
}

std::int32_t SerialDevice::Read(void* buffer, std::size_t capacity, std::size_t& got, std::uint32_t timeoutMs) {
  got = 0;
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::unique_lock lock(mutex_);
  const SerialTimeouts t = timeouts_;
  const bool returnOnAny = t.ReadIntervalTimeout == MAXDWORD;
  const bool immediate = returnOnAny && t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0;
  const auto start = Clock::now();
  const Deadline callerDeadline = After(timeoutMs, start);
  const Deadline driverDeadline =
      DriverDeadline(t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant, capacity, start);
  const bool useInterval = !returnOnAny && t.ReadIntervalTimeout != 0;
  Clock::time_point lastByte = start;

  for (;;) {
    DrainLocked();
    const std::size_t take = std::min(capacity - got, queue_.size());
    if (take > 0) {
      std::copy_n(queue_.begin(), take, out + got);
      queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(take));
      got += take;
      lastByte = Clock::now();
    }
    if (got == capacity) return 0;
    if (immediate) return got == 0 && hangUpError_ != 0 ? hangUpError_ : 0;
    if (got > 0 && returnOnAny) return 0;
    if (hangUpError_ != 0) return hangUpError_;
    if (Passed(callerDeadline)) return ERROR_TIMEOUT;
    Deadline ends = driverDeadline;
    if (useInterval && got > 0) ends = Earliest(ends, lastByte + std::chrono::milliseconds(t.ReadIntervalTimeout));
    if (Passed(ends)) return 0;  // ended by the read time-outs, with what arrived

    readerWaiting_ = true;
    rxSignal_->Reset();
    const short wanted = static_cast<short>(QueueHasRoomLocked() ? POLLIN : 0);
    lock.unlock();
    pollfd fds[2] = {{fd_, wanted, 0}, {rxSignal_->Fd(), POLLIN, 0}};
    const int ready = ::poll(fds, 2, PollTimeout(Earliest(ends, callerDeadline)));
    const int pollError = errno;
    lock.lock();
    readerWaiting_ = false;
    if (ready < 0 && pollError != EINTR) return pollError;
    if (ready > 0 && (fds[0].revents & kHangUpEvents) != 0) {
      DrainLocked();
      HangUpLocked(EIO);
    }
  }
}

std::int32_t SerialDevice::Write(const void* data, std::size_t count, std::size_t& written,
                                 std::uint32_t timeoutMs) {
  written = 0;
  if (count == 0) return 0;
  SerialTimeouts t;
  {
    std::lock_guard lock(mutex_);
    if (hangUpError_ != 0) return hangUpError_;
    t = timeouts_;
  }
  const auto start = Clock::now();
  const Deadline deadline =
      Earliest(After(timeoutMs, start),
               DriverDeadline(t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant, count, start));
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  while (written < count) {
    const ssize_t n = ::write(fd_, bytes + written, count - written);
    if (n > 0) {
      written += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      const int error = errno;
      if (error == EIO) {
        std::lock_guard lock(mutex_);
        HangUpLocked(EIO);
      }
      return error;
    }
    if (Passed(deadline)) return ERROR_TIMEOUT;
    pollfd p{fd_, POLLOUT, 0};
    const int ready = ::poll(&p, 1, PollTimeout(deadline));
    if (ready < 0 && errno != EINTR) return errno;
    if (ready > 0 && (p.revents & kHangUpEvents) != 0) {
      std::lock_guard lock(mutex_);
      HangUpLocked(EIO);
      return EIO;
    }
  }
  return 0;
}

std::int32_t SerialDevice::Purge() {
  std::lock_guard lock(mutex_);
  queue_.clear();
  decoder_.Reset();
  if (::tcflush(fd_, TCIOFLUSH) != 0) return errno;
  return 0;
}

void SerialDevice::DrainLocked() {
  if (hangUpError_ != 0) return;
  std::uint32_t events = 0;
  MarkedInputDecoder::Marks marks;
  bool received = false;
  int hangUp = 0;
  while (QueueHasRoomLocked()) {
    std::uint8_t raw[1024];
    const std::size_t want = std::min(sizeof raw, capacity_ - queue_.size());
    const ssize_t n = ::read(fd_, raw, want);
    if (n > 0) {
      received = true;
      const std::size_t before = queue_.size();
      const auto found = decoder_.Decode(raw, static_cast<std::size_t>(n), queue_);
      marks.breaks += found.breaks;
      marks.badBytes += found.badBytes;
      if (queue_.size() > before) {
        events |= EV_RXCHAR;
        if (std::find(queue_.begin() + static_cast<std::ptrdiff_t>(before), queue_.end(), eventChar_) !=
            queue_.end()) {
          events |= EV_RXFLAG;
        }
      }
      continue;
    }
    if (n == 0) {  // end of file: the line hung up
      hangUp = EIO;
      break;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN) hangUp = errno;
    break;
  }
  if (received) {
    const std::uint32_t counted = SampleCountersLocked();
    // Where the error counters did not see them, the marks in the input say what happened.
    std::uint32_t errors = 0;
    if (marks.breaks > 0 && (counted & CE_BREAK) == 0) errors |= CE_BREAK;
    if (marks.badBytes > 0 && (counted & (CE_FRAME | CE_RXPARITY)) == 0) {
      errors |= parityEnabled_ ? CE_RXPARITY : CE_FRAME;
    }
    errors_ |= errors;
    if ((errors & CE_BREAK) != 0) events |= EV_BREAK;
    if ((errors & (CE_FRAME | CE_RXPARITY)) != 0) events |= EV_ERR;
  }
  if (events != 0) {
    RecordLocked(events);
    if (readerWaiting_) rxSignal_->Set();
  }
  if (hangUp != 0) HangUpLocked(hangUp);
}

std::uint32_t SerialDevice::SampleCountersLocked() {
  if (!countersAvailable_) return 0;
  serial_icounter_struct counts{};
  if (::ioctl(fd_, TIOCGICOUNT, &counts) != 0) {
    countersAvailable_ = false;
    return 0;
  }
  std::uint32_t errors = 0;
  const int now[5] = {counts.frame, counts.parity, counts.overrun, counts.buf_overrun, counts.brk};
  if (countersKnown_) {
    static constexpr std::uint32_t kFlags[5] = {CE_FRAME, CE_RXPARITY, CE_OVERRUN, CE_RXOVER, CE_BREAK};
    for (std::size_t i = 0; i < 5; ++i) {
      if (now[i] != counters_[i]) errors |= kFlags[i];
    }
    if (errors != 0) {
      errors_ |= errors;
      std::uint32_t events = 0;
      if ((errors & (CE_FRAME | CE_RXPARITY | CE_OVERRUN | CE_RXOVER)) != 0) events |= EV_ERR;
      if ((errors & CE_BREAK) != 0) events |= EV_BREAK;
      RecordLocked(events);
    }
  }
  std::copy(std::begin(now), std::end(now), std::begin(counters_));
  countersKnown_ = true;
  return errors;
}

void SerialDevice::RecordLocked(std::uint32_t events) {
  history_ |= events & mask_;
  if (pendingWait_ && history_ != 0) {
    CompleteWaitLocked(history_);
    history_ = 0;
  }
}

void SerialDevice::HangUpLocked(int error) {
  if (hangUpError_ == 0) hangUpError_ = error;
  if (pendingWait_) {
    CompleteWaitLocked(history_);
    history_ = 0;
  }
  if (readerWaiting_) rxSignal_->Set();
}

void SerialDevice::CompleteWaitLocked(std::uint32_t events) {
  pendingWait_->events->store(events);
  pendingWait_->completion->Set();
  pendingWait_.reset();
}

}  // namespace flash
