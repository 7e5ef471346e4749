#pragma once
// The main window: menu "MainMenu", the status bar of three panes, the log
// pane over the client area (hidden until a run starts) and the splash picture
// behind it. It owns the run's parts (engine, links, logs, settings) and only
// routes: menu commands to the engine or the dialogs, replies and timer
// expiries to the engine. Settings are read when it is made and written when
// it is destroyed; a close request is refused while a run is Busy.

#include <QMainWindow>
#include <array>
#include <map>
#include <memory>
#include <string>

#include "engine/flash_engine.h"
#include "link/framing/radio_links.h"
#include "logs/logs.h"
#include "settings/settings.h"
#include "ui/frame_services.h"

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;

namespace flash {
class SystemClock;
class QtEventLoop;
}  // namespace flash

namespace flash::ui {

class ClientArea;

struct FrameOptions {
  // update.ini, read at creation and written at destruction; empty: the one
  // in the current directory at creation.
  std::string settingsPath;
  std::string commsLogPath = "comms.txt";
};

class CMainFrame final : public QMainWindow {
 public:
  explicit CMainFrame(FrameOptions options = {});
  ~CMainFrame() override;
  CMainFrame(const CMainFrame&) = delete;
  CMainFrame& operator=(const CMainFrame&) = delete;

  // A command by id: the menu's, and those without an item (32770, 32778,
  // 32784). A disabled command does nothing.
  void OnCommand(int commandId);
  bool CommandEnabled(int commandId) const;
  // The arguments after the program's name: any argument at all turns
  // error checking off (IgnoreErrors 1) for this run of the program.
  void ApplyCommandLine(const QStringList& arguments);
  // Replaces the open-file dialog of a run's start (tests answer it themselves).
  void SetFileChooser(FileChooser chooser);

  FlashEngine& Engine() { return *engine_; }
  Logs& RunLogs() { return *logs_; }
  CommSettings& Settings() { return settings_; }
  RadioLinks& Links() { return *links_; }
  FrameWindowServices& Services() { return *services_; }
  const std::string& SettingsFile() const { return settingsPath_; }

  QAction* CommandAction(int commandId) const;
  QMenu* Menu(int index) const;
  QPlainTextEdit* LogPane() const { return logPane_; }
  QLabel* StatusPane(int pane) const { return panes_.at(static_cast<std::size_t>(pane)); }
  ClientArea* Client() const { return client_; }
  bool ShowBitmap() const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateMenu();
  void CreateStatusBar();
  void UpdateCommandStates();

  std::string settingsPath_;
  ClientArea* client_ = nullptr;
  QPlainTextEdit* logPane_ = nullptr;
  std::array<QLabel*, 3> panes_{};
  std::map<int, QAction*> actions_;
  std::array<QMenu*, 3> menus_{};

  std::unique_ptr<QtEventLoop> loop_;
  std::unique_ptr<SystemClock> clock_;
  std::unique_ptr<FrameWindowServices> services_;
  std::unique_ptr<Logs> logs_;
  CommSettings settings_;
  std::unique_ptr<RadioLinks> links_;
  std::unique_ptr<FlashEngine> engine_;
};

}  // namespace flash::ui
