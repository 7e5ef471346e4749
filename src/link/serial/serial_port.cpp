#include "link/serial/serial_port.h"

#include <cerrno>
#include <cstring>
#include <system_error>

namespace flash {

std::string DescribeSerialResult(std::int32_t result) {
  switch (result) {
    case ERROR_SUCCESS: return "Success";
    case ERROR_ALREADY_INITIALIZED: return "The port is already open";
    case ERROR_TIMEOUT: return "The operation timed out";
    case ERROR_IO_PENDING: return "The operation is still under way";
    case E_INVALIDARG: return "Invalid argument";
    default: return std::generic_category().message(result);
  }
}

CSerialPort::~CSerialPort() {
  if (portHandle) CSerialPort::ClosePort();
}

std::int32_t CSerialPort::OpenPort(const std::string& portName, std::uint32_t inQueue, std::uint32_t outQueue) {
  lastError = 0;
  if (portHandle) return Fail(ERROR_ALREADY_INITIALIZED);
  std::unique_ptr<SerialDevice> device;
  if (const auto result = SerialDevice::Open(ResolveSerialDeviceName(portName), device); result != 0) {
    return Fail(result);
  }
  std::unique_ptr<OsEvent> event;
  if (const auto result = OsEvent::Create(event); result != 0) return Fail(result);
  portHandle = std::move(device);
  ioEvent = std::move(event);
  pendingEvents = 0;
  eventMask = 0;

  if (inQueue != 0 || outQueue != 0) {
    if (const auto result = portHandle->SetQueueSizes(inQueue, outQueue); result != 0) {
      ClosePort();
      return Fail(result);
    }
  }
  SetEventMask(kDefaultEventMask);
  // The base line settings were applied by the device's open.
  const auto result = SetReadMode(READ_IMMEDIATE);
  if (result != 0) {
    // A port whose reads would not behave is no use: leave nothing open.
    ClosePort();
    return Fail(result);
  }
  return 0;
}

std::int32_t CSerialPort::ClosePort() {
  lastError = 0;
  if (!portHandle) return 0;
  ioEvent.reset();
  portHandle.reset();
  eventMask = 0;
  pendingEvents = 0;
  return 0;
}

std::int32_t CSerialPort::ChangeLine(const std::function<void(SerialLineSettings&)>& change) {
  lastError = 0;
  if (!portHandle) return Fail(ERROR_INVALID_HANDLE);
  SerialLineSettings settings;
  if (const auto result = portHandle->GetLineSettings(settings); result != 0) return Fail(result);
  change(settings);
  if (const auto result = portHandle->SetLineSettings(settings); result != 0) return Fail(result);
  return 0;
}

int CSerialPort::QueryLine(const std::function<int(const SerialLineSettings&)>& pick) {
  lastError = 0;
  if (!portHandle) {
    Fail(ERROR_INVALID_HANDLE);
    return -1;
  }
  SerialLineSettings settings;
  if (const auto result = portHandle->GetLineSettings(settings); result != 0) {
    Fail(result);
    return -1;
  }
  return pick(settings);
}

std::int32_t CSerialPort::ConfigureLine(std::uint32_t baudRate, std::uint8_t dataBits, std::uint8_t parity,
                                        std::uint8_t stopBits) {
  return ChangeLine([&](SerialLineSettings& s) {
    s.BaudRate = baudRate;
    s.ByteSize = dataBits;
    s.Parity = parity;
    s.StopBits = stopBits;
    s.fParity = parity != NOPARITY;
  });
}

std::int32_t CSerialPort::SetEventCharacter(std::uint8_t character, bool addToMask) {
  lastError = 0;
  if (!portHandle) return Fail(ERROR_INVALID_HANDLE);
  SerialLineSettings settings;
  if (const auto result = portHandle->GetLineSettings(settings); result != 0) return Fail(result);
  settings.EvtChar = character;
  if (addToMask) SetEventMask(QueryEventMask() | EV_RXFLAG);
  const auto result = portHandle->SetLineSettings(settings);
  lastError = result;
  return result;
}

std::int32_t CSerialPort::SetEventMask(std::uint32_t events) {
  lastError = 0;
  if (!portHandle) return Fail(ERROR_INVALID_HANDLE);
  if (const auto result = portHandle->SetEventMask(events); result != 0) return Fail(result);
  eventMask = events;
  return 0;
}

std::int32_t CSerialPort::WaitForEvent(Overlapped* overlapped, std::uint32_t timeoutMs) {
  lastError = 0;
  if (!portHandle) return Fail(ERROR_INVALID_HANDLE);
  Overlapped local{ioEvent.get()};
  Overlapped& record = overlapped != nullptr ? *overlapped : local;
  if (record.event == nullptr) return Fail(E_INVALIDARG);
  const auto started = portHandle->StartWaitEvent(pendingEvents, *record.event);
  if (started == 0) return 0;
  if (started != ERROR_IO_PENDING) return Fail(started);
  if (overlapped != nullptr) return 0;

  OsEvent* const list[] = {ioEvent.get()};
  std::size_t signalled = 0;
  const auto waited = portHandle->WaitAny(list, timeoutMs, signalled);
  if (waited == 0) return 0;
  portHandle->CancelWait();
  return Fail(waited);
}

std::int32_t CSerialPort::SetFlowControl(int mode) {
  lastError = 0;
  if (!portHandle) return Fail(ERROR_INVALID_HANDLE);
  if (mode != FLOW_NONE && mode != FLOW_HARDWARE && mode != FLOW_XONXOFF) return Fail(E_INVALIDARG);
  return ChangeLine([mode](SerialLineSettings& s) {
    s.fOutxCtsFlow = mode == FLOW_HARDWARE;
    s.fOutxDsrFlow = false;
    s.fDtrControl = mode == FLOW_HARDWARE ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    s.fRtsControl = mode == FLOW_HARDWARE ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_DISABLE;
    s.fOutX = mode == FLOW_XONXOFF;
    s.fInX = mode == FLOW_XONXOFF;
  });
}

std::int32_t CSerialPort::SetReadMode(int mode) {
  lastError = 0;
  if (!portHandle) return Fail(ERROR_INVALID_HANDLE);
  if (mode != READ_IMMEDIATE && mode != READ_BLOCKING) return Fail(E_INVALIDARG);
  SerialTimeouts timeouts;
  if (const auto result = portHandle->GetTimeouts(timeouts); result != 0) return Fail(result);
  timeouts.ReadIntervalTimeout = mode == READ_IMMEDIATE ? MAXDWORD : 0;
  timeouts.ReadTotalTimeoutMultiplier = 0;
  timeouts.ReadTotalTimeoutConstant = 0;
  if (const auto result = portHandle->SetTimeouts(timeouts); result != 0) return Fail(result);
  return 0;
}

int CSerialPort::QueryBaudRate() {
  return QueryLine([](const SerialLineSettings& s) { return static_cast<int>(s.BaudRate); });
}

int CSerialPort::QueryDataBits() {
  return QueryLine([](const SerialLineSettings& s) { return static_cast<int>(s.ByteSize); });
}

int CSerialPort::QueryParity() {
  return QueryLine([](const SerialLineSettings& s) { return s.fParity ? static_cast<int>(s.Parity) : 0; });
}

int CSerialPort::QueryStopBits() {
  return QueryLine([](const SerialLineSettings& s) { return static_cast<int>(s.StopBits); });
}

int CSerialPort::QueryFlowControl() {
  return QueryLine([](const SerialLineSettings& s) {
    if (s.fOutX || s.fInX) return FLOW_XONXOFF;
    if (s.fOutxCtsFlow || s.fRtsControl == RTS_CONTROL_HANDSHAKE) return FLOW_HARDWARE;
    return FLOW_NONE;
  });
}

std::uint32_t CSerialPort::QueryEventMask() {
  lastError = 0;
  if (!portHandle) {
    Fail(ERROR_INVALID_HANDLE);
    return 0;
  }
  return eventMask;
}

std::uint8_t CSerialPort::QueryEventCharacter() {
  const int character = QueryLine([](const SerialLineSettings& s) { return static_cast<int>(s.EvtChar); });
  return character < 0 ? 0 : static_cast<std::uint8_t>(character);
}

std::int32_t CSerialPort::WriteText(const char* text, std::uint32_t* written, Overlapped* overlapped,
                                    std::uint32_t timeoutMs) {
  const std::size_t length = text != nullptr ? std::strlen(text) : 0;
  if (length > UINT32_MAX) {
    if (written != nullptr) *written = 0;
    return Fail(E_INVALIDARG);
  }
  return WriteBytes(text, static_cast<std::uint32_t>(length), written, overlapped, timeoutMs);
}

std::int32_t CSerialPort::WriteBytes(const void* data, std::uint32_t count, std::uint32_t* written,
                                     Overlapped* overlapped, std::uint32_t timeoutMs) {
  std::uint32_t local = 0;
  std::uint32_t& done = written != nullptr ? *written : local;
  done = 0;
  lastError = 0;
  if (!portHandle) return Fail(ERROR_INVALID_HANDLE);
  if (data == nullptr && count != 0) return Fail(EFAULT);
  std::size_t sent = 0;
  const auto result = portHandle->Write(data, count, sent, timeoutMs);
  done = static_cast<std::uint32_t>(sent);
  if (result != 0) return Fail(result);
  if (overlapped != nullptr && overlapped->event != nullptr) overlapped->event->Set();
  return 0;
}

std::int32_t CSerialPort::ReadBytes(void* buffer, std::uint32_t capacity, std::uint32_t* read,
                                    Overlapped* overlapped, std::uint32_t timeoutMs) {
  std::uint32_t local = 0;
  std::uint32_t& done = read != nullptr ? *read : local;
  done = 0;
  lastError = 0;
  if (!portHandle) return Fail(ERROR_INVALID_HANDLE);
  if (buffer == nullptr && capacity != 0) return Fail(EFAULT);
  std::size_t got = 0;
  const auto result = portHandle->Read(buffer, capacity, got, timeoutMs);
  done = static_cast<std::uint32_t>(got);
  if (result != 0) return Fail(result);
  if (overlapped != nullptr && overlapped->event != nullptr) overlapped->event->Set();
  return 0;
}

bool CSerialPort::SetWriteTimeouts(std::uint32_t multiplier, std::uint32_t constant) {
  if (!portHandle) return false;
  SerialTimeouts timeouts;
  if (portHandle->GetTimeouts(timeouts) != 0) return false;
  timeouts.WriteTotalTimeoutMultiplier = multiplier;
  timeouts.WriteTotalTimeoutConstant = constant;
  return portHandle->SetTimeouts(timeouts) == 0;
}

std::int32_t CSerialPort::PurgeBuffers() {
  lastError = 0;
  if (!portHandle) return Fail(ERROR_INVALID_HANDLE);
  if (const auto result = portHandle->Purge(); result != 0) return Fail(result);
  return 0;
}

std::uint32_t CSerialPort::TakeEvents() { return pendingEvents.exchange(0) & eventMask.load(); }

std::int32_t CSerialPort::WaitForSignal(std::span<OsEvent* const> events, std::uint32_t timeoutMs,
                                        std::size_t& signalled) {
  lastError = 0;
  if (!portHandle) return Fail(ERROR_INVALID_HANDLE);
  if (const auto result = portHandle->WaitAny(events, timeoutMs, signalled); result != 0) return Fail(result);
  return 0;
}

}  // namespace flash
