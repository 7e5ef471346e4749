#include "ui/frame_services.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <algorithm>

#include "ui/client_area.h"
#include "ui/dialog_look.h"
#include "ui/result_dlg.h"

namespace flash::ui {

QString LogPaneText(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\r') continue;
    const bool printable = c == '\n' || c == '\t' || (byte >= 0x20 && byte != 0x7F);
    shown.push_back(printable ? c : '?');
  }
  return QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
}

std::optional<std::string> ChooseFileWithDialog(QWidget* parent, const OpenFileRequest& request) {
  QFileDialog dialog(parent, QString::fromStdString(request.title));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  QStringList filters;
  for (const FileFilter& filter : request.filters) {
    const QString name = QString::fromStdString(filter.name);
    const QString pattern = QString::fromStdString(filter.pattern);
    // "Firmware Files(*.ruf)" already names its pattern the way the dialog reads it.
    filters << (name.endsWith(QLatin1Char('(') + pattern + QLatin1Char(')')) ? name
                                                                             : name + QStringLiteral(" (") + pattern +
                                                                                   QLatin1Char(')'));
  }
  dialog.setNameFilters(filters);
  dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
  // A wildcard as the initial name only repeats the filter; a real name is proposed.
  if (!request.initialName.empty() && request.initialName.find_first_of("*?") == std::string::npos) {
    dialog.selectFile(QString::fromStdString(request.initialName));
  }
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  return QFile::encodeName(chosen.first()).toStdString();
}

FrameWindowServices::FrameWindowServices(QWidget& window, ClientArea& client, QPlainTextEdit& logPane,
                                         std::array<QLabel*, 3> panes)
    : window_(window), client_(client), logPane_(logPane), panes_(panes) {}

FrameWindowServices::~FrameWindowServices() = default;

void FrameWindowServices::SetTimer(int timerId, int milliseconds) { timers_.Set(timerId, milliseconds); }

void FrameWindowServices::KillTimer(int timerId) { timers_.Kill(timerId); }

bool FrameWindowServices::TimerRunning(int timerId) const { return timers_.Running(timerId); }

void FrameWindowServices::SetLogPaneText(const std::string& text) {
  // The engine hands over the whole log after every append: add only what is
  // new when the text goes on from what the pane holds, else start afresh.
  QScrollBar* scroll = logPane_.verticalScrollBar();
  const bool following = scroll->value() >= scroll->maximum();
  const bool continues = text.size() >= shownLog_.size() && text.compare(0, shownLog_.size(), shownLog_) == 0;
  if (continues) {
    const QString fresh = LogPaneText(std::string_view(text).substr(shownLog_.size()));
    if (!fresh.isEmpty()) {
      QTextCursor end(logPane_.document());
      end.movePosition(QTextCursor::End);
      end.insertText(fresh);
    }
  } else {
    logPane_.setPlainText(LogPaneText(text));
  }
  shownLog_ = text;
  if (following) scroll->setValue(scroll->maximum());
}

void FrameWindowServices::ShowLogPane() { logPane_.show(); }

void FrameWindowServices::HideSplash() { client_.SetShowBitmap(false); }

void FrameWindowServices::SetStatusPane(int pane, const std::string& text) {
  if (pane < 0 || pane >= static_cast<int>(panes_.size())) return;
  QLabel* label = panes_[static_cast<std::size_t>(pane)];
  label->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  label->repaint();
}

std::optional<std::string> FrameWindowServices::ChooseOpenFile(const OpenFileRequest& request) {
  if (chooser_) return chooser_(request);
  return ChooseFileWithDialog(&window_, request);
}

void FrameWindowServices::MessageBox(const std::string& text) {
  ShowMessageBox(&window_, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void FrameWindowServices::ShowDialog(int resourceId) { ShowResultDialog(&window_, resourceId); }

void FrameWindowServices::WarningBeep() { QApplication::beep(); }

}  // namespace flash::ui
