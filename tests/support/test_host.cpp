#include "test_host.h"

#include <algorithm>

namespace flash::testing {

void TestHost::SetTimer(int timerId, int milliseconds) {
  const std::int64_t period = std::max(milliseconds, 1);
  timers_[timerId] = Timer{period, nowMs_ + period, nextSequence_++};
}

void TestHost::KillTimer(int timerId) { timers_.erase(timerId); }

std::optional<int> TestHost::TimerPeriod(int timerId) const {
  const auto it = timers_.find(timerId);
  if (it == timers_.end()) return std::nullopt;
  return static_cast<int>(it->second.period);
}

void TestHost::Schedule(std::int64_t delayMs, std::function<void()> event) {
  events_.push_back(Event{nowMs_ + delayMs, nextSequence_++, std::move(event)});
}

bool TestHost::FireNext(std::int64_t limit) {
  // The earliest due timer or event, ties broken by arming order.
  std::int64_t bestDue = limit + 1;
  std::uint64_t bestSequence = 0;
  int timerId = 0;
  bool isTimer = false;
  std::size_t eventIndex = 0;
  bool found = false;
  for (const auto& [id, timer] : timers_) {
    if (timer.due > limit) continue;
    if (!found || timer.due < bestDue || (timer.due == bestDue && timer.sequence < bestSequence)) {
      found = true;
      isTimer = true;
      timerId = id;
      bestDue = timer.due;
      bestSequence = timer.sequence;
    }
  }
  for (std::size_t i = 0; i < events_.size(); ++i) {
    const Event& event = events_[i];
    if (event.due > limit) continue;
    if (!found || event.due < bestDue || (event.due == bestDue && event.sequence < bestSequence)) {
      found = true;
      isTimer = false;
      eventIndex = i;
      bestDue = event.due;
      bestSequence = event.sequence;
    }
  }
  if (!found) return false;
  nowMs_ = std::max(nowMs_, bestDue);
  if (isTimer) {
    Timer& timer = timers_[timerId];
    timer.due = nowMs_ + timer.period;  // window timers repeat until killed
    timer.sequence = nextSequence_++;
    if (onTimer) onTimer(timerId);
  } else {
    auto run = std::move(events_[eventIndex].run);
    events_.erase(events_.begin() + static_cast<std::ptrdiff_t>(eventIndex));
    run();
  }
  return true;
}

void TestHost::Advance(std::int64_t milliseconds) {
  const std::int64_t target = nowMs_ + milliseconds;
  while (FireNext(target)) {
  }
  nowMs_ = std::max(nowMs_, target);
}

UtcTimeOfDay TestHost::UtcNow() {
  // The test clock starts at 13:05:09.042 UTC.
  const std::int64_t ms = 47'109'042 + nowMs_;
  return UtcTimeOfDay{static_cast<unsigned>(ms / 3'600'000 % 24), static_cast<unsigned>(ms / 60'000 % 60),
                      static_cast<unsigned>(ms / 1000 % 60), static_cast<unsigned>(ms % 1000)};
}

}  // namespace flash::testing
