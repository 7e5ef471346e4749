#pragma once
// Helpers of the window's tests: the one QApplication (offscreen), event
// processing with a deadline, a script that answers modal dialogs from a
// timer, and a fixture that makes the main window over a temporary folder.

#include <gtest/gtest.h>

#include <QApplication>
#include <QObject>
#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "services/window_services.h"
#include "temp_dir.h"
#include "ui/main_frame.h"

namespace flash::ui::testing {

// The QApplication of the test process, made on first use on the offscreen platform.
void EnsureApp();
// Handles events until done() holds; false if it still fails after 10 s.
bool ProcessEventsUntil(const std::function<bool()>& done, int milliseconds = 10000);
// Handles events for a while (for checks that nothing more happens).
void ProcessEventsFor(int milliseconds);

// Answers modal dialogs as they come up: each step waits for the active modal
// widget to be of its type and then acts on it (from a timer, so the dialog's
// own event loop is running). A modal widget that no step expects is closed
// after a few seconds and noted, so a broken test fails instead of hanging.
class ModalScript {
 public:
  ModalScript();
  ~ModalScript();
  ModalScript(const ModalScript&) = delete;
  ModalScript& operator=(const ModalScript&) = delete;

  template <class Dialog>
  ModalScript& On(std::function<void(Dialog&)> act) {
    steps_.push_back({[](QWidget* widget) { return dynamic_cast<Dialog*>(widget) != nullptr; },
                      [act = std::move(act)](QWidget* widget) { act(*dynamic_cast<Dialog*>(widget)); }});
    Schedule();
    return *this;
  }

  // The next step answers a message box with OK, keeping its caption and text.
  ModalScript& OkMessageBox(QString* caption, QString* text);

  bool Done() const { return steps_.empty(); }
  // Titles of the modal widgets that came up unexpected and were closed.
  const std::vector<std::string>& Unexpected() const { return unexpected_; }

 private:
  struct Step {
    std::function<bool(QWidget*)> matches;
    std::function<void(QWidget*)> act;
  };
  void Schedule();
  void Poll();

  std::unique_ptr<QObject> context_;
  std::deque<Step> steps_;
  std::vector<std::string> unexpected_;
  bool scheduled_ = false;
  QWidget* stray_ = nullptr;
  int strayPolls_ = 0;
};

// The main window over a temporary folder: update.ini and comms.txt there,
// and an open-file dialog that answers fileToChoose (nothing: cancelled).
class UiFrameFixture : public ::testing::Test {
 protected:
  UiFrameFixture();
  ~UiFrameFixture() override;

  void WriteSettings(const std::string& text) { dir.Write("update.ini", text); }
  FrameOptions Options() const { return {dir.File("update.ini"), dir.File("comms.txt")}; }
  CMainFrame& Frame();
  void DestroyFrame() { frame.reset(); }
  // The menu as it is about to open: the command states are brought up to date.
  bool ItemEnabled(int commandId);

  flash::testing::TempDir dir;
  std::optional<std::string> fileToChoose;
  std::vector<OpenFileRequest> fileRequests;
  std::unique_ptr<CMainFrame> frame;
};

}  // namespace flash::ui::testing
