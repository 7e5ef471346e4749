#include "ui/main_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStatusBar>

#include "qt_host/qt_event_loop.h"
#include "link/os/system_clock.h"
#include "ui/about_dlg.h"
#include "ui/client_area.h"
#include "ui/command_ids.h"
#include "ui/setup_dlg.h"
#include "update_icon.xpm"

namespace flash::ui {
namespace {

constexpr int kPaneWidth = 200;

}  // namespace

CMainFrame::CMainFrame(FrameOptions options)
    : settingsPath_(options.settingsPath.empty() ? SettingsPath() : std::move(options.settingsPath)) {
  setWindowTitle(QStringLiteral("Varnex Zanthe32 Flash Update Utility"));
  setWindowIcon(QPixmap(update_icon_xpm));
  // The platform's usual size for a new main window.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) resize(screen->availableSize() * 3 / 4);

  CreateMenu();
  CreateStatusBar();
  client_ = new ClientArea(this);
  setCentralWidget(client_);
  logPane_ = new QPlainTextEdit(client_);
  logPane_->setObjectName(QStringLiteral("LogPane"));
  logPane_->setReadOnly(true);
  logPane_->setFrameShape(QFrame::NoFrame);
  logPane_->setLineWrapMode(QPlainTextEdit::NoWrap);
  logPane_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  logPane_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  logPane_->setGeometry(0, 0, 150, 150);
  logPane_->hide();
  client_->SetLogPane(logPane_);
  client_->SetWidgetBelow(statusBar());

  loop_ = std::make_unique<QtEventLoop>();
  clock_ = std::make_unique<SystemClock>();
  services_ = std::make_unique<FrameWindowServices>(*this, *client_, *logPane_, panes_);
  logs_ = std::make_unique<Logs>(*services_, *clock_, options.commsLogPath);
  int ignoreErrors = kDefaultIgnoreErrors;
  LoadSettings(settingsPath_, settings_, ignoreErrors);
  links_ = std::make_unique<RadioLinks>(settings_, *loop_, *logs_, *services_);
  engine_ = std::make_unique<FlashEngine>(*services_, *clock_, *logs_, *links_);
  engine_->Run().IgnoreErrors = ignoreErrors;

  links_->SetReplyHandlers([this](const std::uint8_t* bytes, std::uint8_t count) { engine_->ParseRadioReply(bytes, count); },
                           [this] { engine_->StopVersionTimer(); });
  links_->SetLinkLostHandler([this](const std::string& reason) { engine_->OnLinkLost(reason); });
  services_->SetTimerHandler([this](int timerId) { engine_->OnTimer(timerId); });
}

CMainFrame::~CMainFrame() { SaveSettings(settingsPath_, settings_, engine_->Run().IgnoreErrors); }

void CMainFrame::CreateMenu() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu"));
  const auto item = [this](QMenu* menu, const char* text, int commandId) {
    QAction* action = menu->addAction(QString::fromUtf8(text));
    connect(action, &QAction::triggered, this, [this, commandId] { OnCommand(commandId); });
    actions_[commandId] = action;
    return action;
  };
  menus_[0] = bar->addMenu(QStringLiteral("&Process"));
  item(menus_[0], "&Update Radio\tF2", ID_UPDATE_RADIO);
  item(menus_[0], "&Verify Program\tF3", ID_VERIFY_PROGRAM);
  menus_[0]->addSeparator();
  item(menus_[0], "&Quit\tAlt-X", ID_APP_EXIT);
  menus_[1] = bar->addMenu(QStringLiteral("&Settings"));
  item(menus_[1], "Setup...", ID_SETUP);
  menus_[2] = bar->addMenu(QStringLiteral("&Help"));
  // The one accelerator: F1. F2, F3 and Alt-X are named in the texts only.
  QAction* about = item(menus_[2], "&About Update\tF1", ID_APP_ABOUT);
  about->setShortcut(QKeySequence(Qt::Key_F1));
  about->setShortcutContext(Qt::WindowShortcut);
  addAction(about);
  for (QMenu* menu : menus_) connect(menu, &QMenu::aboutToShow, this, [this] { UpdateCommandStates(); });
}

void CMainFrame::CreateStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("StatusBar"));
  for (std::size_t pane = 0; pane < panes_.size(); ++pane) {
    auto* label = new QLabel(bar);
    label->setTextFormat(Qt::PlainText);
    label->setObjectName(QStringLiteral("StatusPane%1").arg(pane));
    if (pane == 0) {
      bar->addWidget(label, 1);
    } else {
      label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      label->setFixedWidth(kPaneWidth);
      bar->addPermanentWidget(label);
    }
    panes_[pane] = label;
  }
  panes_[0]->setText(QStringLiteral(" "));
  panes_[2]->setText(QString());
}

void CMainFrame::UpdateCommandStates() {
  for (const auto& [commandId, action] : actions_) action->setEnabled(CommandEnabled(commandId));
}

bool CMainFrame::CommandEnabled(int commandId) const {
  if (commandId == ID_APP_EXIT) return engine_->Run().Busy == 0;
  return engine_->CommandEnabled(commandId);
}

void CMainFrame::OnCommand(int commandId) {
  if (!CommandEnabled(commandId)) return;
  switch (commandId) {
    case ID_APP_ABOUT:
      RunAboutCommand(this);
      return;
    case ID_APP_EXIT:
      close();
      return;
    case ID_SETUP:
      RunSetupCommand(this, settings_, engine_->Run().IgnoreErrors);
      return;
    default:
      engine_->OnCommand(commandId);
      return;
  }
}

void CMainFrame::ApplyCommandLine(const QStringList& arguments) {
  if (!arguments.isEmpty()) engine_->Run().IgnoreErrors = 1;
}

void CMainFrame::SetFileChooser(FileChooser chooser) { services_->SetFileChooser(std::move(chooser)); }

QAction* CMainFrame::CommandAction(int commandId) const {
  const auto found = actions_.find(commandId);
  return found == actions_.end() ? nullptr : found->second;
}

QMenu* CMainFrame::Menu(int index) const { return menus_.at(static_cast<std::size_t>(index)); }

bool CMainFrame::ShowBitmap() const { return client_->ShowBitmap(); }

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (engine_->Run().Busy != 0) {
    event->ignore();
    return;
  }
  logs_->CloseCommsLog();
  event->accept();
}

}  // namespace flash::ui
