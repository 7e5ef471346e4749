#pragma once
// What the engine and the logs need from the window that hosts a run: timers,
// the log pane, the status panes, the open-file dialog, message boxes, modal
// dialogs and the warning beep. The GUI, the command-line program and the test
// host each implement it, so the engine cannot tell a window from a test.

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace flash {

// One filter of the open-file dialog: the text shown and its pattern.
struct FileFilter {
  std::string name;     // "Firmware Files(*.ruf)"
  std::string pattern;  // "*.ruf"
};

struct OpenFileRequest {
  std::string title;
  std::vector<FileFilter> filters;
  std::string defaultExtension;
  std::string initialName;
};

class WindowServices {
 public:
  virtual ~WindowServices() = default;

  // Window timers: periodic until killed; setting a running timer restarts it.
  virtual void SetTimer(int timerId, int milliseconds) = 0;
  virtual void KillTimer(int timerId) = 0;

  // The log pane shows the whole log text; it is handed over after every append.
  virtual void SetLogPaneText(const std::string& text) = 0;
  virtual void ShowLogPane() = 0;
  // Stops drawing the splash picture behind the log pane.
  virtual void HideSplash() = 0;
  // Status bar panes 0, 1 and 2; the text shows before the call returns.
  virtual void SetStatusPane(int pane, const std::string& text) = 0;

  // Modal: these return when the operator has answered. Events (replies,
  // timer expiries) may be delivered to the engine while they are open.
  virtual std::optional<std::string> ChooseOpenFile(const OpenFileRequest& request) = 0;
  virtual void MessageBox(const std::string& text) = 0;
  virtual void ShowDialog(int resourceId) = 0;

  virtual void WarningBeep() = 0;
};

}  // namespace flash
