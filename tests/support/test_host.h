#pragma once
// A window for tests: a manual clock whose advance fires due timers and
// scheduled events in time order, scripted answers for the file dialog and the
// modal dialogs, and a record of everything the engine showed.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "services/clock.h"
#include "services/window_services.h"

namespace flash::testing {

class TestHost : public WindowServices, public Clock {
 public:
  // Where timer expiries go (the engine's OnTimer).
  std::function<void(int timerId)> onTimer;
  // Runs while a dialog or message box is open, so a test can deliver events
  // (advance the clock, hand in replies) from inside the modal loop.
  std::function<void(int resourceId)> onDialog;
  std::function<void(const std::string& text)> onMessageBox;
  // The file the operator picks; nothing means the dialog is cancelled.
  std::optional<std::string> fileToChoose;

  // The manual clock, in milliseconds since the test began.
  std::int64_t NowMs() const { return nowMs_; }
  // Moves the clock on, firing due timers and events in time order (ties in
  // the order they were armed or scheduled).
  void Advance(std::int64_t milliseconds);
  // Schedules an event (a reply arriving, say) after the given delay.
  void Schedule(std::int64_t delayMs, std::function<void()> event);
  bool TimerRunning(int timerId) const { return timers_.count(timerId) != 0; }
  std::optional<int> TimerPeriod(int timerId) const;

  // WindowServices
  void SetTimer(int timerId, int milliseconds) override;
  void KillTimer(int timerId) override;
  void SetLogPaneText(const std::string& text) override { logPane = text; }
  void ShowLogPane() override { logPaneShown = true; }
  void HideSplash() override { splashShown = false; }
  void SetStatusPane(int pane, const std::string& text) override;
  std::optional<std::string> ChooseOpenFile(const OpenFileRequest& request) override;
  void MessageBox(const std::string& text) override;
  void ShowDialog(int resourceId) override;
  void WarningBeep() override { ++beeps; }

  // Clock
  std::int64_t NowSeconds() override { return 1'700'000'000 + nowMs_ / 1000; }
  UtcTimeOfDay UtcNow() override;

  // What the engine showed.
  std::string logPane;
  bool logPaneShown = false;
  bool splashShown = true;
  std::string statusPanes[3] = {" ", "", ""};
  std::vector<std::pair<int, std::string>> statusHistory;
  std::vector<OpenFileRequest> fileRequests;
  std::vector<std::string> messageBoxes;
  std::vector<int> dialogs;
  int openDialogs = 0;
  int beeps = 0;

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
