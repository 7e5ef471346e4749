#pragma once
// The application object: makes the main window, shows it, and lets the
// command line turn error checking off. The QApplication comes first and
// runs the event loop; this object is made after it and destroyed before it,
// and its destruction destroys the main window, which saves the settings.

#include <QStringList>
#include <memory>

#include "ui/main_frame.h"

namespace flash::ui {

class CUpdateApp {
 public:
  // arguments: the whole command line, the program's name first.
  explicit CUpdateApp(QStringList arguments, FrameOptions options = {});
  ~CUpdateApp();
  CUpdateApp(const CUpdateApp&) = delete;
  CUpdateApp& operator=(const CUpdateApp&) = delete;

  // Start-up: creates and shows the main window, then applies the command
  // line. False when the program cannot start.
  bool InitInstance();

  CMainFrame* MainFrame() const { return frame_.get(); }

 private:
  QStringList arguments_;
  FrameOptions options_;
  std::unique_ptr<CMainFrame> frame_;
};

}  // namespace flash::ui
