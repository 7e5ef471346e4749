#pragma once
// The time of day and the wall-clock seconds the run reads. Injected so tests
// run on a manual clock.

#include <cstdint>

namespace flash {

struct UtcTimeOfDay {
  unsigned hour = 0;
  unsigned minute = 0;
  unsigned second = 0;
  unsigned millisecond = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Wall-clock time in whole seconds (any fixed epoch).
  virtual std::int64_t NowSeconds() = 0;
  // The current time of day in UTC, for the communication log's time stamps.
  virtual UtcTimeOfDay UtcNow() = 0;
};

}  // namespace flash
