#include "ui/result_dlg.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

#include "engine/flash_run.h"
#include "ui/dialog_look.h"

namespace flash::ui {
namespace {

// How each template looks: height in dialog units (all are 187 wide), a close
// box in the title bar, the error icon, a centred text.
struct Look {
  int resourceId;
  int height;
  bool closeBox;
  bool icon;
  bool centred;
};

constexpr std::array<Look, 6> kLooks{{
    {IDD_COMM_ERROR, 95, true, true, false},
    {IDD_UPDATE_SUCCESS, 47, false, false, true},
    {IDD_VERIFY_SUCCESS, 47, false, false, true},
    {IDD_NOT_JUDGED, 95, false, false, false},
    {IDD_VERIFY_FAILED, 102, false, false, false},
    {IDD_UPDATE_FAILED, 69, true, false, false},
}};

Look LookFor(int resourceId) {
  for (const Look& look : kLooks) {
    if (look.resourceId == resourceId) return look;
  }
  return {resourceId, 69, true, false, false};
}

}  // namespace

QString ResultDialogText(const char* text) {
  QString result = QString::fromUtf8(text);
  result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return result;
}

CResultDlg::CResultDlg(QWidget* parent, const ResultDialog& dialog) : QDialog(parent), resourceId_(dialog.resourceId) {
  const Look look = LookFor(dialog.resourceId);
  ApplyDialogLook(*this);
  setWindowTitle(QString::fromUtf8(dialog.caption));
  Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (look.closeBox) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  setWindowFlags(flags);

  text_ = new QLabel(ResultDialogText(dialog.text), this);
  text_->setWordWrap(true);
  text_->setAlignment(look.centred ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignTop);
  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

  auto* body = new QHBoxLayout;
  if (look.icon) {
    auto* icon = new QLabel(this);
    const int size = DialogRect(*this, 0, 0, 18, 20).width();
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(std::max(size, 32)));
    icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    body->addWidget(icon, 0, Qt::AlignTop);
  }
  body->addWidget(text_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(body, 1);
  layout->addLayout(buttons);

  const QRect size = DialogRect(*this, 0, 0, 187, look.height);
  setMinimumWidth(size.width());
  resize(size.size().expandedTo(sizeHint()));
}

bool ShowResultDialog(QWidget* parent, int resourceId) {
  const auto dialog = FindResultDialog(resourceId);
  if (!dialog) return false;
  CResultDlg box(parent, *dialog);
  box.exec();
  return true;
}

}  // namespace flash::ui
