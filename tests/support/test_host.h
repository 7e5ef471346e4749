#pragma once
// A window for tests on a manual clock: advancing it fires due timers and
// scheduled events in time order, so forty seconds of time-outs take
// microseconds and every expiry lands at an exact moment.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "recording_window.h"
#include "services/clock.h"

namespace flash::testing {

class TestHost : public RecordingWindow, public Clock {
 public:
  // The manual clock, in milliseconds since the test began.
  std::int64_t NowMs() const { return nowMs_; }
  // Moves the clock on, firing due timers and events in time order (ties in
  // the order they were armed or scheduled).
  void Advance(std::int64_t milliseconds);
  // Schedules an event (a reply arriving, say) after the given delay.
  void Schedule(std::int64_t delayMs, std::function<void()> event);
  bool TimerRunning(int timerId) const { return timers_.count(timerId) != 0; }
  std::optional<int> TimerPeriod(int timerId) const;

  void SetTimer(int timerId, int milliseconds) override;
  void KillTimer(int timerId) override;

  // Clock
  std::int64_t NowSeconds() override { return 1'700'000'000 + nowMs_ / 1000; }
  UtcTimeOfDay UtcNow() override;

 private:
  struct Timer {
    std::int64_t period;
    std::int64_t due;
    std::uint64_t sequence;
  };
  struct Event {
    std::int64_t due;
    std::uint64_t sequence;
    std::function<void()> run;
  };
  bool FireNext(std::int64_t limit);

  std::int64_t nowMs_ = 0;
  std::uint64_t nextSequence_ = 0;
  std::map<int, Timer> timers_;
  std::vector<Event> events_;
};

}  // namespace flash::testing
