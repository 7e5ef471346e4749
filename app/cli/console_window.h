#pragma once
// The window of the command-line program: what the engine shows in a window,
// written to the console instead. The log pane becomes the new part of the log
// text, status pane 0 a progress bar (on a terminal) or a few progress lines
// (otherwise), message boxes go to the error stream, and a dialog prints its
// caption and text and returns at once. Timers are Qt timers on the window
// thread; their expiries go to the timer handler.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/progress_display.h"
#include "qt_host/qt_window_timers.h"
#include "services/window_services.h"


namespace flash::cli {

class ConsoleWindow final : public WindowServices {
 public:
  // Seconds on a steady clock, for the progress rate.
  using SteadySeconds = std::function<double()>;

  // terminal: out is a terminal, so the progress bar is redrawn in place and
  // the warning beep sounds.
  ConsoleWindow(std::ostream& out, std::ostream& err, bool terminal, SteadySeconds now = {});
  ~ConsoleWindow() override;
  ConsoleWindow(const ConsoleWindow&) = delete;
  ConsoleWindow& operator=(const ConsoleWindow&) = delete;

  // The file that the open-file dialog answers with; unset, it answers as cancelled.
  void SetChosenFile(std::string path) { chosenFile_ = std::move(path); }
  // Called on the window thread at every expiry of a running timer.
  void SetTimerHandler(std::function<void(int timerId)> onTimer) { timers_.SetHandler(std::move(onTimer)); }

  // What the run showed: the last result or error dialog, and every message box.
  std::optional<int> ShownDialog() const { return shownDialog_; }
  const std::vector<std::string>& MessageBoxes() const { return messageBoxes_; }
  bool TimerRunning(int timerId) const;

  // Ends whatever the console holds on its current line (the progress bar, an
  // unfinished log line), so that the next output starts a line of its own.
  void EndCurrentLine();

  // WindowServices
  void SetTimer(int timerId, int milliseconds) override;
  void KillTimer(int timerId) override;
  void SetLogPaneText(const std::string& text) override;
  void ShowLogPane() override {}
  void HideSplash() override {}
  void SetStatusPane(int pane, const std::string& text) override;
  std::optional<std::string> ChooseOpenFile(const OpenFileRequest& request) override;
  void MessageBox(const std::string& text) override;
  void ShowDialog(int resourceId) override;
  void WarningBeep() override;

 private:
  void WriteLogText(std::string_view text);
  void EraseBar();
  void DrawBar();
  void ShowProgress(const LineProgress& progress);

  std::ostream& out_;
  std::ostream& err_;
  bool terminal_;
  SteadySeconds now_;
  std::optional<std::string> chosenFile_;
  QtWindowTimers timers_;

  std::string shownLog_;        // the log text written so far
  bool logAtLineStart_ = true;  // the last log character written ended a line
  std::optional<LineProgress> progress_;
  ProgressMeter meter_;
  bool barShown_ = false;       // the progress bar occupies the current line
  std::string radioModel_;      // status pane 1 as last shown

  std::optional<int> shownDialog_;
  std::vector<std::string> messageBoxes_;
};

// Console text from a window text: line ends become "\n" and other control
// characters (which could move the cursor or change the terminal) become '?'.
std::string ConsoleText(std::string_view text);

}  // namespace flash::cli
