#include "link/serial/window_message.h"

#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

namespace flash {

namespace {

struct MessageRegistry {
  std::mutex mutex;
  std::map<std::string, unsigned, std::less<>> ids;
};

MessageRegistry& Messages() {
  static MessageRegistry registry;
  return registry;
}

struct WindowRegistry {
  std::mutex mutex;
  std::uint64_t nextHandle = 1;
  std::unordered_map<std::uint64_t, MessageWindow*> windows;
};

WindowRegistry& Windows() {
  static WindowRegistry registry;
  return registry;
}

MessageWindow* FindWindow(WindowHandle window) {
  auto& registry = Windows();
  std::lock_guard lock(registry.mutex);
  const auto it = registry.windows.find(static_cast<std::uint64_t>(window));
  return it == registry.windows.end() ? nullptr : it->second;
}

}  // namespace

unsigned RegisterWindowMessage(std::string_view name) {
  if (name.empty()) return 0;
  auto& registry = Messages();
  std::lock_guard lock(registry.mutex);
  if (const auto it = registry.ids.find(name); it != registry.ids.end()) return it->second;
  const std::size_t next = kFirstRegisteredMessage + registry.ids.size();
  if (next > 0xFFFF) return 0;
  const auto id = static_cast<unsigned>(next);
  registry.ids.emplace(std::string(name), id);
  return id;
}

MessageWindow::MessageWindow() {
  auto& registry = Windows();
  std::lock_guard lock(registry.mutex);
  handle_ = static_cast<WindowHandle>(registry.nextHandle++);
  registry.windows.emplace(static_cast<std::uint64_t>(handle_), this);
}

MessageWindow::~MessageWindow() {
  auto& registry = Windows();
  std::lock_guard lock(registry.mutex);
  registry.windows.erase(static_cast<std::uint64_t>(handle_));
}

bool IsWindow(WindowHandle window) { return FindWindow(window) != nullptr; }

bool PostWindowMessage(EventLoop& loop, WindowHandle window, unsigned message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
  if (!IsWindow(window)) return false;
  loop.Post([window, message, wParam, lParam] {
    // Looked up again on the window thread: the window may have gone meanwhile.
    if (MessageWindow* target = FindWindow(window)) target->OnWindowMessage(message, wParam, lParam);
  });
  return true;
}

}  // namespace flash
