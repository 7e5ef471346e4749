#pragma once
// A window-thread event loop on poll(2): posted tasks, read notifications and
// window timers, for hosts without Qt (tests, benchmarks, headless tools).
// The thread that calls Run* is the window thread.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "services/event_loop.h"

namespace flash {

class PollEventLoop final : public EventLoop {
 public:
  PollEventLoop();
  ~PollEventLoop() override;
  PollEventLoop(const PollEventLoop&) = delete;
  PollEventLoop& operator=(const PollEventLoop&) = delete;

  void Post(std::function<void()> task) override;
  void WatchReadable(int fd, std::function<void()> onReadable) override;
  void UnwatchReadable(int fd) override;

  // Periodic timers by id, as window timers are: setting a running id restarts it.
  void SetTimer(int timerId, int milliseconds, std::function<void(int)> onExpiry);
  void KillTimer(int timerId);

  // Handles events until the predicate holds or the time is up; returns the predicate's value.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);
  // Handles events for the given time.
  void RunFor(std::chrono::milliseconds duration);
  // Handles what is ready now (waiting at most `wait`), then returns.
  void RunOnce(std::chrono::milliseconds wait);

 private:
  using TimePoint = std::chrono::steady_clock::time_point;
  struct Timer {
    std::chrono::milliseconds period;
    TimePoint due;
    std::uint64_t sequence;  // keeps expiries due at the same moment in arming order
    std::function<void(int)> onExpiry;
  };

  void RunPostedTasks();
  void RunDueTimers();
  int MillisecondsToNextTimer(std::chrono::milliseconds cap) const;

  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  std::mutex postedMutex_;
  std::vector<std::function<void()>> posted_;
  std::map<int, std::function<void()>> watched_;
  std::map<int, Timer> timers_;
  std::uint64_t nextSequence_ = 0;
};

}  // namespace flash
