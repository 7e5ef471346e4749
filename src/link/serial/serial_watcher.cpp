#include "link/serial/serial_watcher.h"

#include <cerrno>
#include <chrono>
#include <system_error>

namespace flash {

CSerialWatcher::~CSerialWatcher() {
  if (watcherThread.joinable()) CSerialWatcher::ClosePort();
}

std::int32_t CSerialWatcher::OpenPort(const std::string& portName, std::uint32_t inQueue,
                                      std::uint32_t outQueue) {
  if (const auto result = CSerialPort::OpenPort(portName, inQueue, outQueue); result != 0) return result;
  std::unique_ptr<OsEvent> stop;
  std::unique_ptr<OsEvent> watch;
  auto result = OsEvent::Create(stop);
  if (result == 0) result = OsEvent::Create(watch);
  if (result != 0) {
    CSerialPort::ClosePort();
    return Fail(result);
  }
  stopEvent = std::move(stop);
  watchEvent = std::move(watch);
  return 0;
}

std::int32_t CSerialWatcher::ClosePort() {
  StopWatcher(INFINITE);
  stopEvent.reset();
  watchEvent.reset();
  return CSerialPort::ClosePort();
}

std::int32_t CSerialWatcher::StartWatcher() {
  lastError = 0;
  if (watcherThread.joinable()) return 0;
  if (!portHandle || !stopEvent || !watchEvent) return Fail(ERROR_INVALID_HANDLE);
  stopEvent->Reset();  // a watcher stopped earlier on this port left it set
  try {
    std::promise<std::int32_t> exit;
    watcherExit = exit.get_future();
    watcherThread = std::thread([this, exit = std::move(exit)]() mutable { exit.set_value(WatchLoop()); });
  } catch (const std::system_error& error) {
    watcherExit = {};
    return Fail(error.code().value());
  }
  return 0;
}

std::int32_t CSerialWatcher::StopWatcher(std::uint32_t timeoutMs) {
  lastError = 0;
  if (!watcherThread.joinable()) return 0;
  if (watcherThread.get_id() == std::this_thread::get_id()) return Fail(EDEADLK);
  stopEvent->Set();
  if (timeoutMs == INFINITE) {
    watcherExit.wait();
  } else if (watcherExit.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready) {
    return Fail(ERROR_TIMEOUT);
  }
  watcherThread.join();
  watcherExit = {};
  return 0;
}

bool CSerialWatcher::IsWatching() const {
  return watcherThread.joinable() && watcherExit.valid() &&
         watcherExit.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
}

std::int32_t CSerialWatcher::WatchLoop() {
  Overlapped record{watchEvent.get()};
  OsEvent* const waitList[] = {stopEvent.get(), watchEvent.get()};

  // The port's own operations are called directly, not through the virtual
  // table: the most derived destructor may be starting while this thread runs.
  if (const auto armed = CSerialPort::WaitForEvent(&record, INFINITE); armed != 0) return armed;
  for (;;) {
    std::size_t signalled = 0;
    const auto waited = portHandle->WaitAny(waitList, INFINITE, signalled);
    if (waited != 0 || signalled != 1) {
      // Setting the mask completes our outstanding wait, so the device holds
      // no reference to the record when the thread ends.
      CSerialPort::SetEventMask(CSerialPort::QueryEventMask());
      return 0;
    }
    const std::uint32_t events = TakeEvents();
    std::uint32_t errors = 0;
    if (const auto cleared = portHandle->ClearErrors(errors); cleared != 0) {
      lastError = cleared;
      errors = 0;
    }
    if (events != 0) OnCommEvent(events, errors);
    if (const auto armed = CSerialPort::WaitForEvent(&record, INFINITE); armed != 0) return armed;
  }
}

}  // namespace flash
