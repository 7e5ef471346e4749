#pragma once
// Window timers by id on Qt's timers, as the engine expects them: periodic
// until killed, and setting a running timer restarts its interval.

#include <functional>
#include <map>
#include <memory>

class QTimer;

namespace flash {

class QtWindowTimers {
 public:
  QtWindowTimers();
  ~QtWindowTimers();
  QtWindowTimers(const QtWindowTimers&) = delete;
  QtWindowTimers& operator=(const QtWindowTimers&) = delete;

  // Where expiries go (the engine's OnTimer).
  void SetHandler(std::function<void(int timerId)> onTimer) { onTimer_ = std::move(onTimer); }
  void Set(int timerId, int milliseconds);
  void Kill(int timerId);
  bool Running(int timerId) const;

 private:
  std::function<void(int)> onTimer_;
  std::map<int, std::unique_ptr<QTimer>> timers_;
};

}  // namespace flash
