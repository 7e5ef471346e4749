#include "link/serial/serial_wnd.h"

namespace flash {

unsigned DefaultComMessage() {
  static const unsigned id = RegisterWindowMessage(kDefaultComMessageName);
  return id;
}

namespace {
// Registered before any window exists.
[[maybe_unused]] const unsigned registeredAtStart = DefaultComMessage();
}  // namespace

CSerialWnd::~CSerialWnd() {
  if (watcherThread.joinable()) CSerialWnd::ClosePort();
}

std::int32_t CSerialWnd::OpenForWindow(const std::string& portName, EventLoop& loop, WindowHandle window,
                                       unsigned message, std::intptr_t param, std::uint32_t inQueue,
                                       std::uint32_t outQueue) {
  if (const auto result = CSerialWatcher::OpenPort(portName, inQueue, outQueue); result != 0) return result;
  notifyLoop = &loop;
  notifyWindow = window;
  notifyMessage = message != 0 ? message : DefaultComMessage();
  notifyParam = param;
  if (const auto result = StartWatcher(); result != 0) {
    ClosePort();
    return Fail(result);
  }
  return 0;
}

std::int32_t CSerialWnd::ClosePort() {
  notifyWindow = WindowHandle::None;
  notifyMessage = 0;
  return CSerialWatcher::ClosePort();
}

void CSerialWnd::OnCommEvent(std::uint32_t events, std::uint32_t errors) {
  EventLoop* const loop = notifyLoop.load();
  const WindowHandle window = notifyWindow.load();
  if (loop == nullptr || window == WindowHandle::None || events == 0) return;
  const std::uintptr_t wParam = (static_cast<std::uintptr_t>(errors & 0xFFFFu) << 16) | (events & 0xFFFFu);
  PostWindowMessage(*loop, window, notifyMessage.load(), wParam, notifyParam.load());
}

CRadioPort::~CRadioPort() {
  if (watcherThread.joinable()) CSerialWnd::ClosePort();
}

std::int32_t CRadioPort::OpenForWindow(const std::string& portName, EventLoop& loop, MessageWindow* window,
                                       unsigned message, std::intptr_t param, std::uint32_t inQueue,
                                       std::uint32_t outQueue) {
  return CSerialWnd::OpenForWindow(portName, loop, window != nullptr ? window->Handle() : WindowHandle::None,
                                   message, param, inQueue, outQueue);
}

}  // namespace flash
