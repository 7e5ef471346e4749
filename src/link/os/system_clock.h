#pragma once
// The real clock: wall-clock seconds and the UTC time of day.

#include "services/clock.h"

namespace flash {

class SystemClock final : public Clock {
 public:
  std::int64_t NowSeconds() override;
  UtcTimeOfDay UtcNow() override;
};

}  // namespace flash
