#pragma once
// The window services of the main window, on Qt: the engine's timers as
// QTimers (periodic until killed), the log pane, the status panes, the
// open-file dialog (replaceable, so tests answer it themselves), message
// boxes, the result dialogs by resource number and the warning beep. Every
// modal call runs a nested event loop, in which replies and timer expiries
// keep reaching the engine.

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <QString>

#include "qt_host/qt_window_timers.h"
#include "services/window_services.h"

class QLabel;
class QPlainTextEdit;
class QWidget;

namespace flash::ui {

class ClientArea;

// Answers the open-file dialog: the chosen path, or nothing when cancelled.
using FileChooser = std::function<std::optional<std::string>(const OpenFileRequest& request)>;

// The modal open-file dialog of the platform, with the request's title,
// filters and default extension.
std::optional<std::string> ChooseFileWithDialog(QWidget* parent, const OpenFileRequest& request);

// The log text as the pane shows it: line ends become line breaks, a lone
// carriage return is dropped, and other control characters show as '?'.
QString LogPaneText(std::string_view text);

class FrameWindowServices final : public WindowServices {
 public:
  FrameWindowServices(QWidget& window, ClientArea& client, QPlainTextEdit& logPane, std::array<QLabel*, 3> panes);
  ~FrameWindowServices() override;
  FrameWindowServices(const FrameWindowServices&) = delete;
  FrameWindowServices& operator=(const FrameWindowServices&) = delete;

  // Called on the window thread at every expiry of a running timer.
  void SetTimerHandler(std::function<void(int timerId)> onTimer) { timers_.SetHandler(std::move(onTimer)); }
  // Replaces the open-file dialog; an empty chooser brings the dialog back.
  void SetFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }
  bool TimerRunning(int timerId) const;

  // WindowServices
  void SetTimer(int timerId, int milliseconds) override;
  void KillTimer(int timerId) override;
  void SetLogPaneText(const std::string& text) override;
  void ShowLogPane() override;
  void HideSplash() override;
  void SetStatusPane(int pane, const std::string& text) override;
  std::optional<std::string> ChooseOpenFile(const OpenFileRequest& request) override;
  void MessageBox(const std::string& text) override;
  void ShowDialog(int resourceId) override;
  void WarningBeep() override;

 private:
  QWidget& window_;
  ClientArea& client_;
  QPlainTextEdit& logPane_;
  std::array<QLabel*, 3> panes_;
  FileChooser chooser_;
  QtWindowTimers timers_;
  std::string shownLog_;  // the log text the pane holds
};

}  // namespace flash::ui
