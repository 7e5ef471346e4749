#include "ui_test_support.h"

#include <QMessageBox>
#include <QPushButton>

#include <QAction>
#include <QDialog>
#include <QElapsedTimer>
#include <QMenu>
#include <QTimer>

#include "ui/command_ids.h"

// fontconfig, which Qt's font database loads for any widget, keeps a few
// caches for the life of the process and never frees them. Read by the leak
// checker of sanitizer builds only.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace flash::ui::testing {

namespace {

QtMessageHandler previousHandler = nullptr;

// The offscreen platform says what it cannot do for every window; that is no news here.
void QuietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains(QStringLiteral("propagateSizeHints"))) return;
  if (previousHandler != nullptr) previousHandler(type, context, message);
}


}  // namespace

void EnsureApp() {
  static int argc = 1;
  static char name[] = "ui_tests";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance() != nullptr) return;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  previousHandler = qInstallMessageHandler(QuietMessages);
  static QApplication* application = new QApplication(argc, argv);
  (void)application;
}

bool ProcessEventsUntil(const std::function<bool()>& done, int milliseconds) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > milliseconds) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

void ProcessEventsFor(int milliseconds) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < milliseconds) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

ModalScript::ModalScript() : context_(std::make_unique<QObject>()) {}

ModalScript::~ModalScript() = default;

void ModalScript::Schedule() {
  if (scheduled_) return;
  scheduled_ = true;
  // A fresh timer each time: a timer does not fire again while its own
  // handler runs, and a step's handler may run a nested event loop.
  QTimer::singleShot(2, context_.get(), [this] {
    scheduled_ = false;
    Poll();
  });
}

void ModalScript::Poll() {
  QWidget* modal = QApplication::activeModalWidget();
  if (modal != nullptr && modal->isVisible()) {
    if (!steps_.empty() && steps_.front().matches(modal)) {
      Step step = std::move(steps_.front());
      steps_.pop_front();
      stray_ = nullptr;
      Schedule();
      step.act(modal);
      return;
    }
    if (modal != stray_) {
      stray_ = modal;
      strayPolls_ = 0;
    } else if (++strayPolls_ > 1500) {
      unexpected_.push_back(modal->windowTitle().toStdString());
      stray_ = nullptr;
      if (auto* dialog = dynamic_cast<QDialog*>(modal)) {
        dialog->reject();
      } else {
        modal->close();
      }
    }
  }
  if (!steps_.empty() || modal != nullptr) Schedule();
}

UiFrameFixture::UiFrameFixture() { EnsureApp(); }

UiFrameFixture::~UiFrameFixture() = default;

CMainFrame& UiFrameFixture::Frame() {
  if (!frame) {
    frame = std::make_unique<CMainFrame>(Options());
    frame->SetFileChooser([this](const OpenFileRequest& request) {
      fileRequests.push_back(request);
      return fileToChoose;
    });
  }
  return *frame;
}

bool UiFrameFixture::ItemEnabled(int commandId) {
  QAction* action = Frame().CommandAction(commandId);
  if (action == nullptr) return false;
  for (int menu = 0; menu < 3; ++menu) emit Frame().Menu(menu)->aboutToShow();
  return action->isEnabled();
}

ModalScript& ModalScript::OkMessageBox(QString* caption, QString* text) {
  return On<QMessageBox>([caption, text](QMessageBox& box) {
    if (caption != nullptr) *caption = box.windowTitle();
    if (text != nullptr) *text = box.text();
    box.button(QMessageBox::Ok)->click();
  });
}

}  // namespace flash::ui::testing
