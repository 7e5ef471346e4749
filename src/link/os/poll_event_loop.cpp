#include "link/os/poll_event_loop.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace flash {

PollEventLoop::PollEventLoop() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::system_error(errno, std::generic_category(), "pipe2");
  }
  wakeRead_ = fds[0];
  wakeWrite_ = fds[1];
}

PollEventLoop::~PollEventLoop() {
  ::close(wakeRead_);
  ::close(wakeWrite_);
}

void PollEventLoop::Post(std::function<void()> task) {
  {
    std::lock_guard lock(postedMutex_);
    posted_.push_back(std::move(task));
  }
  const char byte = 1;
  // A full pipe already means a wake-up is pending.
  [[maybe_unused]] auto written = ::write(wakeWrite_, &byte, 1);
}

void PollEventLoop::WatchReadable(int fd, std::function<void()> onReadable) {
  watched_[fd] = std::move(onReadable);
}

void PollEventLoop::UnwatchReadable(int fd) { watched_.erase(fd); }

void PollEventLoop::SetTimer(int timerId, int milliseconds, std::function<void(int)> onExpiry) {
  const auto period = std::chrono::milliseconds(std::max(milliseconds, 1));
  timers_[timerId] = Timer{period, std::chrono::steady_clock::now() + period, nextSequence_++,
                           std::move(onExpiry)};
}

void PollEventLoop::KillTimer(int timerId) { timers_.erase(timerId); }

void PollEventLoop::RunPostedTasks() {
  char drain[64];
  while (::read(wakeRead_, drain, sizeof drain) > 0) {
  }
  std::vector<std::function<void()>> tasks;
  {
    std::lock_guard lock(postedMutex_);
    tasks.swap(posted_);
  }
  for (auto& task : tasks) task();
}

void PollEventLoop::RunDueTimers() {
  // One expiry per due timer per pass, earliest first; a handler may set or kill timers.
  for (;;) {
    const auto now = std::chrono::steady_clock::now();
    auto next = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
      if (it->second.due > now) continue;
      if (next == timers_.end() || it->second.due < next->second.due ||
          (it->second.due == next->second.due && it->second.sequence < next->second.sequence)) {
        next = it;
      }
    }
    if (next == timers_.end()) return;
    const int id = next->first;
    next->second.due = now + next->second.period;
    next->second.sequence = nextSequence_++;
    auto callback = next->second.onExpiry;  // the handler may kill or replace the timer
    callback(id);
  }
}

int PollEventLoop::MillisecondsToNextTimer(std::chrono::milliseconds cap) const {
  auto wait = cap;
  const auto now = std::chrono::steady_clock::now();
  for (const auto& [id, timer] : timers_) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(timer.due - now);
    wait = std::min(wait, std::max(left, std::chrono::milliseconds(0)));
  }
  return static_cast<int>(wait.count());
}

void PollEventLoop::RunOnce(std::chrono::milliseconds wait) {
  std::vector<pollfd> fds;
  fds.push_back({wakeRead_, POLLIN, 0});
  for (const auto& [fd, callback] : watched_) fds.push_back({fd, POLLIN, 0});

  const int ready = ::poll(fds.data(), fds.size(), MillisecondsToNextTimer(wait));
  if (ready < 0 && errno != EINTR) {
    throw std::system_error(errno, std::generic_category(), "poll");
  }
  if (ready > 0) {
    if (fds[0].revents != 0) RunPostedTasks();
    for (std::size_t i = 1; i < fds.size(); ++i) {
      if (fds[i].revents == 0) continue;
      // The callback may unwatch this or other descriptors.
      auto it = watched_.find(fds[i].fd);
      if (it == watched_.end()) continue;
      auto callback = it->second;
      callback();
    }
  }
  RunDueTimers();
}

bool PollEventLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left <= std::chrono::milliseconds(0)) return done();
    RunOnce(left);
  }
  return true;
}

void PollEventLoop::RunFor(std::chrono::milliseconds duration) {
  RunUntil([] { return false; }, duration);
}

}  // namespace flash
