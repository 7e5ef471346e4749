#pragma once
// Window messages between threads: process-wide message ids registered by
// name, windows that receive messages on their own thread, and posting to a
// window by its handle.
//
// A handle names a window for as long as the window exists; a message posted
// to a window that is gone by the time it would be delivered is dropped, as is
// a post to no window at all. Posting never waits: the message is handed to the
// event loop of the window's thread, which delivers it there in posting order.

#include <cstdint>
#include <string_view>

#include "services/event_loop.h"

namespace flash {

// The first id RegisterWindowMessage hands out; ids run up to 0xFFFF.
inline constexpr unsigned kFirstRegisteredMessage = 0xC000;

// Any thread: the id registered for the name, the same for the same name for
// the life of the process. 0 for an empty name or when every id is taken.
unsigned RegisterWindowMessage(std::string_view name);

enum class WindowHandle : std::uint64_t { None = 0 };

// A window that receives posted messages. Each window gets a handle of its
// own that is never reused. Created and destroyed on its window thread.
class MessageWindow {
 public:
  MessageWindow();
  virtual ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  WindowHandle Handle() const noexcept { return handle_; }

  // Always called on the window thread.
  virtual void OnWindowMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) = 0;

 private:
  WindowHandle handle_;
};

// Any thread: true while the handle names an existing window.
bool IsWindow(WindowHandle window);

// Any thread: posts the message to the window through the event loop of its
// thread (loop must be that loop, and must outlive the post). False, and
// nothing posted, when the handle names no window.
bool PostWindowMessage(EventLoop& loop, WindowHandle window, unsigned message, std::uintptr_t wParam,
                       std::intptr_t lParam);

}  // namespace flash
