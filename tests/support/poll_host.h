#pragma once
// A window for tests over real links: window timers on a real poll loop, so
// replies from a pseudo-terminal or a socket and the time-outs interleave as
// they do in the program.

#include "link/os/poll_event_loop.h"
#include "recording_window.h"

namespace flash::testing {

class PollHost : public RecordingWindow {
 public:
  explicit PollHost(PollEventLoop& loop) : loop_(loop) {}

  void SetTimer(int timerId, int milliseconds) override {
    loop_.SetTimer(timerId, milliseconds, [this](int id) {
      if (onTimer) onTimer(id);
    });
  }
  void KillTimer(int timerId) override { loop_.KillTimer(timerId); }

 private:
  PollEventLoop& loop_;
};

}  // namespace flash::testing
