#include "ui/update_app.h"

#include <utility>

namespace flash::ui {

CUpdateApp::CUpdateApp(QStringList arguments, FrameOptions options)
    : arguments_(std::move(arguments)), options_(std::move(options)) {}

CUpdateApp::~CUpdateApp() = default;

bool CUpdateApp::InitInstance() {
  // Sockets need no start-up here, and the light grey of the dialogs is set
  // by each dialog as it is made.
  frame_ = std::make_unique<CMainFrame>(options_);
  frame_->show();
  frame_->repaint();
  // After the settings were loaded: the command line overrides them, and the
  // value is saved at exit.
  frame_->ApplyCommandLine(arguments_.mid(1));
  return true;
}

}  // namespace flash::ui
