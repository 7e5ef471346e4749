#pragma once
// CSerialWatcher: a serial port with a watcher thread that sleeps until a
// communication event in the mask occurs and reports it through OnCommEvent.
//
// The watcher only waits and reports. It ends when the port closes (ClosePort
// stops it and waits for it), or by itself when its wait cannot be started,
// for instance after the line hung up: lastError then holds the reason and
// IsWatching turns false. A class that implements OnCommEvent closes the port
// in its own destructor, so that the watcher never calls into a destroyed object.

#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "link/serial/serial_port.h"

namespace flash {

class CSerialWatcher : public CSerialPort {
 public:
  CSerialWatcher() = default;
  ~CSerialWatcher() override;

  // The base open, then the watcher's stop and completion events. The watcher
  // is not started here.
  std::int32_t OpenPort(const std::string& portName, std::uint32_t inQueue = 0,
                        std::uint32_t outQueue = 0) override;
  // Stops the watcher (waiting for it without limit), then closes the port.
  std::int32_t ClosePort() override;

  // 0 when the watcher runs (or already ran); ERROR_INVALID_HANDLE when the
  // port is not open; otherwise the OS's reason the thread could not start.
  virtual std::int32_t StartWatcher();
  // Asks the watcher to end and waits for it for at most the time-out. 0 once
  // it has ended; ERROR_TIMEOUT when it is still running (it is then kept, and
  // a later StopWatcher or ClosePort waits for it again).
  virtual std::int32_t StopWatcher(std::uint32_t timeoutMs);
  // Called on the watcher thread for each wake-up with masked events, with the
  // line-error flags read and cleared just before (0 if they could not be read).
  virtual void OnCommEvent(std::uint32_t events, std::uint32_t errors) = 0;

  // True while the watcher thread is running.
  bool IsWatching() const;

 protected:
  // The watcher thread's body; its result is the thread's exit code.
  std::int32_t WatchLoop();

  std::thread watcherThread;
  std::future<std::int32_t> watcherExit;  // ready when WatchLoop has returned
  std::unique_ptr<OsEvent> stopEvent;      // set to ask the watcher to end
  std::unique_ptr<OsEvent> watchEvent;     // completion of the watcher's own comm-event wait
};

}  // namespace flash
