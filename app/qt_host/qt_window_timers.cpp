#include "qt_host/qt_window_timers.h"

#include <QTimer>

#include <algorithm>

namespace flash {

QtWindowTimers::QtWindowTimers() = default;
QtWindowTimers::~QtWindowTimers() = default;

void QtWindowTimers::Set(int timerId, int milliseconds) {
  auto& timer = timers_[timerId];
  if (!timer) {
    timer = std::make_unique<QTimer>();
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer.get(), &QTimer::timeout, [this, timerId] {
      if (onTimer_) onTimer_(timerId);
    });
  }
  timer->start(std::max(milliseconds, 0));
}

void QtWindowTimers::Kill(int timerId) {
  const auto found = timers_.find(timerId);
  if (found != timers_.end()) found->second->stop();
}

bool QtWindowTimers::Running(int timerId) const {
  const auto found = timers_.find(timerId);
  return found != timers_.end() && found->second->isActive();
}

}  // namespace flash
