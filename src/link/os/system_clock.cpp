#include "link/os/system_clock.h"

#include <ctime>

namespace flash {

std::int64_t SystemClock::NowSeconds() { return static_cast<std::int64_t>(std::time(nullptr)); }

UtcTimeOfDay SystemClock::UtcNow() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  std::tm utc{};
  ::gmtime_r(&now.tv_sec, &utc);
  return UtcTimeOfDay{static_cast<unsigned>(utc.tm_hour), static_cast<unsigned>(utc.tm_min),
                      static_cast<unsigned>(utc.tm_sec), static_cast<unsigned>(now.tv_nsec / 1000000)};
}

}  // namespace flash
