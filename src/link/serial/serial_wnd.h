#pragma once
// CSerialWnd: a watched serial port that posts each communication event as a
// window message to a chosen window, and CRadioPort, the class of the
// program's one radio port, which names the window by its window object.
//
// The message carries the events in bits 0-15 of wParam, the line-error (CE_)
// flags in bits 16-31, and the caller's parameter as lParam. It is posted,
// never sent, through the event loop of the window's thread, so the window
// reads the data on its own thread; the loop must outlive the open port (close
// the port before the loop goes). A notification already queued when the port
// closes is still delivered if the window still exists.

#include <atomic>
#include <cstdint>
#include <string>

#include "link/serial/serial_watcher.h"
#include "link/serial/window_message.h"
#include "services/event_loop.h"

namespace flash {

inline constexpr char kDefaultComMessageName[] = "CSerialWnd_DefaultComMsg";

// The id of the registered message "CSerialWnd_DefaultComMsg" (registered at
// process start).
unsigned DefaultComMessage();

class CSerialWnd : public CSerialWatcher {
 public:
  CSerialWnd() = default;
  ~CSerialWnd() override;

  // Opens the port, then starts the watcher that posts to window through loop;
  // message 0 means the registered message. On failure the port is closed.
  virtual std::int32_t OpenForWindow(const std::string& portName, EventLoop& loop, WindowHandle window,
                                     unsigned message = 0, std::intptr_t param = 0, std::uint32_t inQueue = 0,
                                     std::uint32_t outQueue = 0);
  // Stops the notifications first, then stops the watcher and closes the port.
  std::int32_t ClosePort() override;

  void OnCommEvent(std::uint32_t events, std::uint32_t errors) override;

 protected:
  std::atomic<EventLoop*> notifyLoop{nullptr};  // the loop of the window's thread
  std::atomic<WindowHandle> notifyWindow{WindowHandle::None};
  std::atomic<unsigned> notifyMessage{0};
  std::atomic<std::intptr_t> notifyParam{0};
};

class CRadioPort : public CSerialWnd {
 public:
  CRadioPort() = default;
  // Stops the watcher before anything of the object is taken down.
  ~CRadioPort() override;

  using CSerialWnd::OpenForWindow;
  // The window object form: posts to the window's handle (to none without a window).
  virtual std::int32_t OpenForWindow(const std::string& portName, EventLoop& loop, MessageWindow* window,
                                     unsigned message = 0, std::intptr_t param = 0, std::uint32_t inQueue = 0,
                                     std::uint32_t outQueue = 0);
};

}  // namespace flash
