#pragma once
// A window for tests that records everything the engine showed, with
// scripted answers for the file dialog and hooks that run inside the modal
// dialogs (so a test can deliver events while one is open). Timers are the
// derived host's business: a manual clock, or a real event loop.

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "services/window_services.h"

namespace flash::testing {

class RecordingWindow : public WindowServices {
 public:
  // Where timer expiries go (the engine's OnTimer).
  std::function<void(int timerId)> onTimer;
  // Runs while a dialog or message box is open.
  std::function<void(int resourceId)> onDialog;
  std::function<void(const std::string& text)> onMessageBox;
  // The file the operator picks; nothing means the dialog is cancelled.
  std::optional<std::string> fileToChoose;

  void SetLogPaneText(const std::string& text) override { logPane = text; }
  void ShowLogPane() override { logPaneShown = true; }
  void HideSplash() override { splashShown = false; }
  void SetStatusPane(int pane, const std::string& text) override;
  std::optional<std::string> ChooseOpenFile(const OpenFileRequest& request) override;
  void MessageBox(const std::string& text) override;
  void ShowDialog(int resourceId) override;
  void WarningBeep() override { ++beeps; }

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
};

}  // namespace flash::testing
