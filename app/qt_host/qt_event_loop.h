#pragma once
// The window thread's event loop on Qt's: posted tasks become queued calls on
// a context object of the thread that made the loop, and read notifications
// come from socket notifiers.

#include <functional>
#include <map>
#include <memory>

#include <QObject>

#include "services/event_loop.h"

class QSocketNotifier;

namespace flash {

class QtEventLoop final : public EventLoop {
 public:
  // Runs on the thread that constructs it, which must run a Qt event loop.
  QtEventLoop();
  // Tasks still queued are dropped. Threads that post must have stopped.
  ~QtEventLoop() override;
  QtEventLoop(const QtEventLoop&) = delete;
  QtEventLoop& operator=(const QtEventLoop&) = delete;

  void Post(std::function<void()> task) override;
  void WatchReadable(int fd, std::function<void()> onReadable) override;
  void UnwatchReadable(int fd) override;

 private:
  struct Watch {
    std::unique_ptr<QSocketNotifier> notifier;
    std::shared_ptr<std::function<void()>> onReadable;
  };
  void Dispatch(int fd);

  QObject context_;
  std::map<int, Watch> watches_;
  int dispatchingFd_ = -1;  // the descriptor whose callback is running
};

}  // namespace flash
