#pragma once
// The serial device beneath the driver classes: a small comm driver on termios.
//
// It opens a tty exclusively in raw mode and adds what the driver classes rely
// on and a tty does not give by itself: an input queue of our own that is
// scanned as bytes arrive (the event character, line-error marks), an event
// mask with a one-at-a-time comm-event wait, read and write time-outs, and a
// purge of both directions.
//
// Nothing here runs a thread of its own. Bytes move from the kernel into the
// input queue whenever a thread works with the device: a read, a comm-event
// wait that is started, or a WaitAny while a comm-event wait is pending (that
// thread then sleeps in poll() on the device and on the events it waits for).
//
// Line errors: the tty marks bytes received with a parity or framing error and
// breaks in the input (PARMRK), and serial drivers that keep error counters
// (TIOCGICOUNT: on-board UARTs, USB adapters) tell the kinds apart, overruns
// included. A pseudo-terminal has neither: no line error is ever seen on one.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <termios.h>
#include <thread>

namespace flash {

// Result codes of the serial driver: 0 is success, errno values are the OS's
// own reasons, and these name the driver's own outcomes.
inline constexpr std::int32_t ERROR_SUCCESS = 0;
inline constexpr std::int32_t ERROR_INVALID_HANDLE = 6;  // no open port (the same number as ENXIO)
inline constexpr std::int32_t ERROR_IO_PENDING = 997;
inline constexpr std::int32_t ERROR_ALREADY_INITIALIZED = 1247;
inline constexpr std::int32_t ERROR_TIMEOUT = 1460;
inline constexpr std::int32_t E_INVALIDARG = static_cast<std::int32_t>(0x80070057u);

// Time-out argument: wait without limit.
inline constexpr std::uint32_t INFINITE = 0xFFFFFFFFu;
inline constexpr std::uint32_t MAXDWORD = 0xFFFFFFFFu;

// Communication events.
inline constexpr std::uint32_t EV_RXCHAR = 0x0001;  // any byte received
inline constexpr std::uint32_t EV_RXFLAG = 0x0002;  // the event character received
inline constexpr std::uint32_t EV_BREAK = 0x0040;   // break detected
inline constexpr std::uint32_t EV_ERR = 0x0080;     // line error (framing, overrun, parity)
// Every event bit a mask may hold; the bits not listed above are accepted but never raised.
inline constexpr std::uint32_t kValidEventBits = 0x1FFF;

// Line-error flags.
inline constexpr std::uint32_t CE_RXOVER = 0x0001;    // input queue overflow
inline constexpr std::uint32_t CE_OVERRUN = 0x0002;   // hardware overrun
inline constexpr std::uint32_t CE_RXPARITY = 0x0004;  // parity error
inline constexpr std::uint32_t CE_FRAME = 0x0008;     // framing error
inline constexpr std::uint32_t CE_BREAK = 0x0010;     // break

// Line-setting codes.
inline constexpr std::uint8_t NOPARITY = 0;
inline constexpr std::uint8_t ODDPARITY = 1;
inline constexpr std::uint8_t EVENPARITY = 2;
inline constexpr std::uint8_t MARKPARITY = 3;
inline constexpr std::uint8_t SPACEPARITY = 4;
inline constexpr std::uint8_t ONESTOPBIT = 0;
inline constexpr std::uint8_t ONE5STOPBITS = 1;  // only with 5 data bits
inline constexpr std::uint8_t TWOSTOPBITS = 2;
inline constexpr std::uint8_t DTR_CONTROL_DISABLE = 0;
inline constexpr std::uint8_t DTR_CONTROL_ENABLE = 1;
inline constexpr std::uint8_t DTR_CONTROL_HANDSHAKE = 2;  // not available on Linux
inline constexpr std::uint8_t RTS_CONTROL_DISABLE = 0;
inline constexpr std::uint8_t RTS_CONTROL_ENABLE = 1;
inline constexpr std::uint8_t RTS_CONTROL_HANDSHAKE = 2;
inline constexpr std::uint8_t RTS_CONTROL_TOGGLE = 3;  // not available on Linux

// The line settings of an open port. Speed, data bits, parity, stop bits and
// the flow-control switches live in the tty's termios (CTS flow and RTS
// handshake are one switch there, CRTSCTS); the DTR and RTS line modes and the
// event character are the driver's own.
struct SerialLineSettings {
  std::uint32_t BaudRate = 9600;
  std::uint8_t ByteSize = 8;
  std::uint8_t Parity = NOPARITY;
  std::uint8_t StopBits = ONESTOPBIT;
  bool fParity = false;       // report parity errors (INPCK)
  bool fOutxCtsFlow = false;  // output waits for CTS
  bool fOutxDsrFlow = false;  // not available on Linux: must stay off
  std::uint8_t fDtrControl = DTR_CONTROL_ENABLE;
  std::uint8_t fRtsControl = RTS_CONTROL_ENABLE;
  bool fOutX = false;  // output obeys XON/XOFF (IXON)
  bool fInX = false;   // input sends XON/XOFF (IXOFF)
  std::uint8_t EvtChar = 0;
};

// Read and write time-outs in milliseconds.
//   ReadIntervalTimeout MAXDWORD with both read totals 0: a read returns at
//   once with what is queued. Otherwise a read waits until its count has
//   arrived, for at most multiplier * count + constant when either is set, and
//   returns early when the gap between two bytes exceeds a non-zero interval
//   (MAXDWORD: as soon as any byte is there). A read that ends by these
//   time-outs succeeds with what it got.
//   A write may take at most multiplier * count + constant when either is
//   set; bytes that could not be handed to the tty by then make it fail with
//   ERROR_TIMEOUT.
struct SerialTimeouts {
  std::uint32_t ReadIntervalTimeout = 0;
  std::uint32_t ReadTotalTimeoutMultiplier = 0;
  std::uint32_t ReadTotalTimeoutConstant = 0;
  std::uint32_t WriteTotalTimeoutMultiplier = 0;
  std::uint32_t WriteTotalTimeoutConstant = 0;
};

// A manual-reset event that poll() can wait on (an eventfd): set until reset.
class OsEvent {
 public:
  // Creates a clear event; the result is 0 or the OS's error.
  static std::int32_t Create(std::unique_ptr<OsEvent>& event);
  ~OsEvent();
  OsEvent(const OsEvent&) = delete;
  OsEvent& operator=(const OsEvent&) = delete;

  void Set();
  void Reset();
  bool IsSet() const;
  int Fd() const { return fd_; }

 private:
  explicit OsEvent(int fd) : fd_(fd) {}
  int fd_;
};

// The device path a port name opens: "COMn" (any letter case, n from 1) is
// /dev/ttyS(n-1); every other name is used unchanged as the path.
std::string ResolveSerialDeviceName(std::string_view portName);

// Undoes the tty's marking of the input (PARMRK): "\377\377" is a data byte
// 0xFF, "\377\0\0" a break, and "\377\0" followed by another byte that byte
// received with a parity or framing error. Keeps its place across calls, so a
// mark split between two reads is still understood.
class MarkedInputDecoder {
 public:
  struct Marks {
    unsigned breaks = 0;
    unsigned badBytes = 0;
  };
  // Appends the data bytes of raw to out and counts the marks found.
  Marks Decode(const std::uint8_t* raw, std::size_t count, std::deque<std::uint8_t>& out);
  void Reset() { state_ = State::kData; }

 private:
  enum class State { kData, kSawFF, kSawFF00 };
  State state_ = State::kData;
};

class SerialDevice {
 public:
  // Opens the tty at path for reading and writing: existing device only, no
  // controlling terminal, non-blocking, exclusive (TIOCEXCL and an advisory
  // lock; a device another open holds gives EBUSY). Puts it in raw mode with
  // 8 data bits, no parity, 1 stop bit, no flow control, DTR and RTS on, and
  // the speed it had (9600 if it had none); asks USB adapters for low latency.
  // The result is 0 or the OS's error.
  static std::int32_t Open(const std::string& path, std::unique_ptr<SerialDevice>& device);
  // Restores the termios found at open, drops unsent output and closes.
  ~SerialDevice();
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  // The input queue holds inQueue bytes (when not 0; at most 1 MiB); the
  // output queue is the tty's, whose size cannot be set, so outQueue is only
  // checked against the same limit.
  std::int32_t SetQueueSizes(std::uint32_t inQueue, std::uint32_t outQueue);

  std::int32_t GetLineSettings(SerialLineSettings& settings);
  std::int32_t SetLineSettings(const SerialLineSettings& settings);
  std::int32_t GetTimeouts(SerialTimeouts& timeouts);
  std::int32_t SetTimeouts(const SerialTimeouts& timeouts);

  // Sets the event mask; completes a pending comm-event wait with no events
  // and forgets the events seen so far.
  std::int32_t SetEventMask(std::uint32_t mask);

  // Starts a comm-event wait. When masked events have occurred since the last
  // wait, they are stored in events, completion is set and the result is 0.
  // Otherwise the wait stays pending (ERROR_IO_PENDING) until a masked event
  // occurs or the mask is set; it then stores the events (0 for a mask
  // change or a hang-up) and sets completion. completion is reset first.
  // One wait at a time (else EBUSY); a zero mask gives EINVAL; a line that
  // has hung up gives EIO.
  std::int32_t StartWaitEvent(std::atomic<std::uint32_t>& events, OsEvent& completion);
  // Forgets the pending comm-event wait if the calling thread started it.
  void CancelWait();

  // Sleeps until one of the events is set (the first set one in list order
  // wins) or the time-out runs out (ERROR_TIMEOUT); INFINITE waits without
  // limit. While a comm-event wait is pending it also watches the device and
  // takes in what arrives.
  std::int32_t WaitAny(std::span<OsEvent* const> events, std::uint32_t timeoutMs, std::size_t& signalled);

  // Reads and clears the line-error flags.
  std::int32_t ClearErrors(std::uint32_t& errors);

  // Reads up to capacity bytes as the read time-outs say; the caller's own
  // time-out (INFINITE: none) bounds the wait too and ends it with
  // ERROR_TIMEOUT. got holds the bytes read in every case. A line that has hung
  // up gives EIO once the queue is empty.
  std::int32_t Read(void* buffer, std::size_t capacity, std::size_t& got, std::uint32_t timeoutMs);
  // Writes count bytes as the write time-outs say, bounded by the caller's own
  // time-out too; written holds the bytes handed to the tty.
  std::int32_t Write(const void* data, std::size_t count, std::size_t& written, std::uint32_t timeoutMs);

  // Empties the input queue and both of the tty's queues.
  std::int32_t Purge();

 private:
  using Clock = std::chrono::steady_clock;
  struct PendingWait {
    std::atomic<std::uint32_t>* events;
    OsEvent* completion;
    std::thread::id owner;
  };

  SerialDevice(int fd, const termios& original, std::unique_ptr<OsEvent> rxSignal);

  // All with mutex_ held.
  void DrainLocked();
  // Reads the driver's error counters; returns the line-error flags that are new.
  std::uint32_t SampleCountersLocked();
  void RecordLocked(std::uint32_t events);
  void HangUpLocked(int error);
  void CompleteWaitLocked(std::uint32_t events);
  bool QueueHasRoomLocked() const { return queue_.size() < capacity_; }

  const int fd_;
  const termios original_;
  std::optional<int> originalSerialFlags_;  // restored at close when low latency was switched on
  std::unique_ptr<OsEvent> rxSignal_;       // wakes a blocking reader when another thread queued bytes

  std::mutex mutex_;
  std::deque<std::uint8_t> queue_;
  std::size_t capacity_ = 4096;
  MarkedInputDecoder decoder_;
  std::uint32_t mask_ = 0;
  std::uint32_t history_ = 0;  // masked events since the last completed wait
  std::uint32_t errors_ = 0;   // line-error flags since the last ClearErrors
  std::optional<PendingWait> pendingWait_;
  bool countersAvailable_ = true;
  bool countersKnown_ = false;
  int counters_[5] = {};  // frame, parity, overrun, buffer overrun, break
  bool parityEnabled_ = false;
  std::uint8_t eventChar_ = 0;
  std::uint8_t dtrControl_ = DTR_CONTROL_ENABLE;
  std::uint8_t rtsControl_ = RTS_CONTROL_ENABLE;
  SerialTimeouts timeouts_;
  bool readerWaiting_ = false;
  int hangUpError_ = 0;  // non-zero once the line has hung up
};

}  // namespace flash
