#include "ui/about_dlg.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QUrlQuery>
#include <algorithm>
#include <cstdio>

#include "ui/dialog_look.h"
#include "update_icon.xpm"

namespace flash::ui {

std::string BuildStamp() {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%s, %s", __DATE__, __TIME__);
  return stamp;
}

QUrl SupportMailUrl() {
  QUrl url(QStringLiteral("mailto:") + QString::fromUtf8(kSupportAddress));
  QUrlQuery query;
  query.addQueryItem(QStringLiteral("subject"), QStringLiteral("Flash Update Support"));
  url.setQuery(query);
  return url;
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  ApplyDialogLook(*this);
  setWindowTitle(QStringLiteral("Flash Loader"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

  const auto centred = [this](const QString& text, int y, int width, int height) {
    auto* label = new QLabel(text, this);
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(DialogRect(*this, 0, y, width, height));
    return label;
  };
  centred(QStringLiteral("Varnex"), 7, 173, 8);
  centred(QStringLiteral("Morvik II ROM Loader"), 24, 173, 8);
  builtOn_ = centred(QStringLiteral("built on"), 49, 173, 8);
  close_ = new QPushButton(QStringLiteral("Close"), this);
  close_->setDefault(true);
  close_->setGeometry(DialogRect(*this, 139, 134, 32, 14));
  centred(QStringLiteral("Copyright Varnex. All rights reserved."), 68, 173, 8);
  centred(QStringLiteral("Varnex Radio Products"), 78, 172, 8);
  // The link buttons grow, centred, when their text needs more room than the template gives.
  const int boxWidth = DialogRect(*this, 0, 0, 173, 153).width();
  const auto linkButton = [this, boxWidth](const QString& text, int x, int y, int width, int height) {
    auto* button = new QPushButton(text, this);
    QRect rect = DialogRect(*this, x, y, width, height);
    if (button->sizeHint().width() > rect.width()) {
      rect.setWidth(std::min(button->sizeHint().width(), boxWidth - 4));
      rect.moveLeft((boxWidth - rect.width()) / 2);
    }
    rect.setHeight(std::max(rect.height(), button->sizeHint().height()));
    button->setGeometry(rect);
    return button;
  };
  auto* mail = linkButton(QStringLiteral("email: ") + QString::fromUtf8(kSupportAddress), 24, 92, 124, 13);
  auto* updates = linkButton(QStringLiteral("Updates: ") + QString::fromUtf8(kUpdatesPage), 24, 114, 125, 12);
  const QPixmap icon(update_icon_xpm);
  for (const int x : {147, 5}) {
    auto* picture = new QLabel(this);
    picture->setPixmap(icon);
    picture->setScaledContents(true);
    picture->setGeometry(DialogRect(*this, x, x == 5 ? 6 : 5, 20, 20));
  }
  version_ = centred(QStringLiteral("Version 4.00"), 36, 173, 11);
  setFixedSize(DialogRect(*this, 0, 0, 173, 153).size().expandedTo(QSize(0, close_->geometry().bottom() + 6)));

  connect(close_, &QPushButton::clicked, this, &QDialog::accept);
  // The shell's answer is not examined: no mail program or browser is no error here.
  connect(mail, &QPushButton::clicked, this, [] { QDesktopServices::openUrl(SupportMailUrl()); });
  connect(updates, &QPushButton::clicked, this,
          [] { QDesktopServices::openUrl(QUrl(QString::fromUtf8(kUpdatesPage))); });
}

int CAboutDlg::DoModal() {
  OnInitDialog();
  return exec();
}

void CAboutDlg::OnInitDialog() {
  version_->setText(QString::fromStdString(m_strVersion));
  if (!m_strBuildStamp.empty()) {
    m_strBuiltOn = m_strBuildStamp;
    builtOn_->setText(QString::fromStdString(m_strBuiltOn));
  }
}

void RunAboutCommand(QWidget* parent) {
  CAboutDlg dialog(parent);
  dialog.m_strBuildStamp = BuildStamp();
  dialog.m_strVersion = kVersionText;
  dialog.DoModal();
}

}  // namespace flash::ui
