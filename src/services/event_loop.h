#pragma once
// The window thread's event loop, as the links need it: a thread-safe way to
// hand work to the window thread (the serial watcher posts its notifications
// through it) and read notifications for a descriptor (the UDP socket).
// The Qt hosts implement it over their event loop; PollEventLoop is a plain
// implementation for tests, benchmarks and headless tools.

#include <functional>

namespace flash {

class EventLoop {
 public:
  virtual ~EventLoop() = default;

  // Any thread: runs the task later on the window thread, in posting order.
  virtual void Post(std::function<void()> task) = 0;

  // Window thread only: while watched, onReadable runs on the window thread
  // whenever the descriptor has data to read. Watching again replaces the callback.
  virtual void WatchReadable(int fd, std::function<void()> onReadable) = 0;
  virtual void UnwatchReadable(int fd) = 0;
};

}  // namespace flash
