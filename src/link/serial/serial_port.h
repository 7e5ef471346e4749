#pragma once
// CSerialPort: opens, configures, reads, writes and purges a serial port.
//
// Every operation returns a result code (0 on success, ERROR_* and E_INVALIDARG
// for the driver's own outcomes, otherwise the OS's errno value) and leaves it
// in lastError, except SetWriteTimeouts, TakeEvents and IsPortOpen. Port names
// are resolved by ResolveSerialDeviceName: "COMn" is /dev/ttyS(n-1), anything
// else is the device path itself.
//
// Reads, writes and comm-event waits take an optional Overlapped record. Without
// one, the operation runs on the port's own completion event and the call waits
// for it for at most the time-out (INFINITE: without limit); a wait that runs
// out returns ERROR_TIMEOUT and the port stays open. With one, reads and writes
// still run to their end before returning and then set the record's event; a
// comm-event wait that cannot finish at once stays pending on the record and
// the call returns 0: the caller waits for the record's event (WaitForSignal)
// and finds the events in pendingEvents.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "link/os/serial_device.h"

namespace flash {

inline constexpr int FLOW_NONE = 0;
inline constexpr int FLOW_HARDWARE = 1;  // CTS/RTS handshake, DTR held on
inline constexpr int FLOW_XONXOFF = 2;   // XON/XOFF in both directions

inline constexpr int READ_IMMEDIATE = 0;  // a read returns at once with what is buffered
inline constexpr int READ_BLOCKING = 1;   // a read waits until the requested count has arrived

inline constexpr std::uint32_t kDefaultEventMask = EV_RXCHAR | EV_BREAK | EV_ERR;  // 0x00C1

// The record of an operation whose completion the caller waits for itself.
struct Overlapped {
  OsEvent* event = nullptr;  // set when the operation has finished
};

// The text of a result code, for the operator.
std::string DescribeSerialResult(std::int32_t result);

class CSerialPort {
 public:
  CSerialPort() = default;
  virtual ~CSerialPort();
  CSerialPort(const CSerialPort&) = delete;
  CSerialPort& operator=(const CSerialPort&) = delete;

  // Opens the port exclusively with the base line settings (raw, 8N1, no flow
  // control), sets the driver's queue sizes (0 and 0 leave them), the event
  // mask 0x00C1 and READ_IMMEDIATE. ERROR_ALREADY_INITIALIZED if already open.
  virtual std::int32_t OpenPort(const std::string& portName, std::uint32_t inQueue = 0,
                                std::uint32_t outQueue = 0);
  virtual std::int32_t ClosePort();
  virtual std::int32_t ConfigureLine(std::uint32_t baudRate, std::uint8_t dataBits, std::uint8_t parity,
                                     std::uint8_t stopBits);
  virtual std::int32_t SetEventCharacter(std::uint8_t character, bool addToMask);
  virtual std::int32_t SetEventMask(std::uint32_t events);
  virtual std::int32_t WaitForEvent(Overlapped* overlapped, std::uint32_t timeoutMs);
  virtual std::int32_t SetFlowControl(int mode);
  virtual std::int32_t SetReadMode(int mode);
  // The setting, or -1 when the port is closed or its settings cannot be read.
  virtual int QueryBaudRate();
  virtual int QueryDataBits();
  virtual int QueryParity();  // 0 while parity checking is off
  virtual int QueryStopBits();
  virtual int QueryFlowControl();  // FLOW_XONXOFF, FLOW_HARDWARE or FLOW_NONE
  // eventMask, or 0 when closed.
  virtual std::uint32_t QueryEventMask();
  // The event character, or 0 when closed or unreadable.
  virtual std::uint8_t QueryEventCharacter();
  virtual std::int32_t WriteText(const char* text, std::uint32_t* written, Overlapped* overlapped,
                                 std::uint32_t timeoutMs);
  virtual std::int32_t WriteBytes(const void* data, std::uint32_t count, std::uint32_t* written,
                                  Overlapped* overlapped, std::uint32_t timeoutMs);
  // The count output holds the bytes read, also when the result is an error.
  virtual std::int32_t ReadBytes(void* buffer, std::uint32_t capacity, std::uint32_t* read,
                                 Overlapped* overlapped, std::uint32_t timeoutMs);

  // True when the port took the new write time-outs; lastError is left alone.
  bool SetWriteTimeouts(std::uint32_t multiplier, std::uint32_t constant);
  // Empties the input and output buffers; reads and writes under way go on.
  std::int32_t PurgeBuffers();
  // The events that occurred and are in the mask; clears them.
  std::uint32_t TakeEvents();
  bool IsPortOpen() const { return portHandle != nullptr; }

  // Waits for the first set event of the list (the earlier wins when several
  // are set) while keeping a pending comm-event wait served; ERROR_TIMEOUT when
  // the time-out runs out first.
  std::int32_t WaitForSignal(std::span<OsEvent* const> events, std::uint32_t timeoutMs, std::size_t& signalled);

  std::int32_t LastError() const { return lastError.load(); }

 protected:
  std::int32_t Fail(std::int32_t result) {
    lastError.store(result);
    return result;
  }

  // Written by the window thread and the watcher; only a record.
  std::atomic<std::int32_t> lastError{0};
  std::unique_ptr<SerialDevice> portHandle;
  // Filled when a comm-event wait completes, read and cleared by TakeEvents.
  std::atomic<std::uint32_t> pendingEvents{0};
  std::atomic<std::uint32_t> eventMask{0};
  std::unique_ptr<OsEvent> ioEvent;

 private:
  std::int32_t ChangeLine(const std::function<void(SerialLineSettings&)>& change);
  int QueryLine(const std::function<int(const SerialLineSettings&)>& pick);
};

}  // namespace flash
