#include "ui/dialog_look.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFontMetrics>
#include <QMessageBox>
#include <QPalette>
#include <QWidget>
#include <algorithm>

namespace flash::ui {

void ApplyDialogLook(QWidget& dialog) {
  QPalette palette = dialog.palette();
  palette.setColor(QPalette::Window, QColor(192, 192, 192));
  palette.setColor(QPalette::WindowText, Qt::black);
  dialog.setPalette(palette);
  dialog.setAutoFillBackground(true);
}

QRect DialogRect(const QWidget& dialog, int x, int y, int width, int height) {
  const QFontMetrics metrics(dialog.font());
  // The average width of the letters, rounded, as dialog templates measure it.
  const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  const int baseX = std::max(1, (letters / 26 + 1) / 2);
  const int baseY = std::max(1, metrics.height());
  return QRect(x * baseX / 4, y * baseY / 8, width * baseX / 4, height * baseY / 8);
}

QString ProgramName() {
  const QString name = QCoreApplication::applicationName();
  return name.isEmpty() ? QFileInfo(QCoreApplication::applicationFilePath()).fileName() : name;
}

void ShowMessageBox(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Warning, ProgramName(), text, QMessageBox::Ok, parent);
  ApplyDialogLook(box);
  box.exec();
}

}  // namespace flash::ui
