#include "qt_host/qt_event_loop.h"

#include <QMetaObject>
#include <QSocketNotifier>
#include <utility>

namespace flash {

QtEventLoop::QtEventLoop() = default;

QtEventLoop::~QtEventLoop() {
  for (auto& [fd, watch] : watches_) watch.notifier->setEnabled(false);
}

void QtEventLoop::Post(std::function<void()> task) {
  // Queued on the context object: safe from any thread, run in posting order,
  // and dropped with the context if the loop goes away first.
  QMetaObject::invokeMethod(
      &context_, [task = std::move(task)] { task(); }, Qt::QueuedConnection);
}

void QtEventLoop::WatchReadable(int fd, std::function<void()> onReadable) {
  auto callback = std::make_shared<std::function<void()>>(std::move(onReadable));
  const auto found = watches_.find(fd);
  if (found != watches_.end()) {
    // A callback replaced while it runs stays alive until it returns (Dispatch holds it).
    found->second.onReadable = std::move(callback);
    found->second.notifier->setEnabled(true);
    return;
  }
  Watch watch;
  watch.notifier = std::make_unique<QSocketNotifier>(static_cast<qintptr>(fd), QSocketNotifier::Read);
  QObject::connect(watch.notifier.get(), &QSocketNotifier::activated, &context_, [this, fd] { Dispatch(fd); });
  watch.onReadable = std::move(callback);
  watches_.emplace(fd, std::move(watch));
}

void QtEventLoop::UnwatchReadable(int fd) {
  const auto found = watches_.find(fd);
  if (found == watches_.end()) return;
  found->second.notifier->setEnabled(false);
  if (fd == dispatchingFd_) {
    // The notifier is emitting: it is deleted once control is back in the loop.
    // Parented to the context, it cannot outlive the loop either way.
    QSocketNotifier* notifier = found->second.notifier.release();
    notifier->setParent(&context_);
    notifier->deleteLater();
  }
  watches_.erase(found);
}

void QtEventLoop::Dispatch(int fd) {
  const auto found = watches_.find(fd);
  if (found == watches_.end()) return;
  const auto callback = found->second.onReadable;  // kept alive across replacement
  const int outer = std::exchange(dispatchingFd_, fd);
  (*callback)();
  dispatchingFd_ = outer;
}

}  // namespace flash
