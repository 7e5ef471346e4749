#include "ui/client_area.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QResizeEvent>

#include "ui/splash_picture.h"

namespace flash::ui {

ClientArea::ClientArea(QWidget* parent) : QWidget(parent), picture_(MakeSplashPicture()) {}

void ClientArea::SetLogPane(QPlainTextEdit* pane) {
  logPane_ = pane;
  if (logPane_ != nullptr) logPane_->setGeometry(rect());
}

void ClientArea::SetShowBitmap(bool show) {
  showBitmap_ = show ? 1 : 0;
  update();
}

QPoint ClientArea::SplashPosition() const {
  const int strip = below_ != nullptr && below_->isVisible() ? below_->height() : 0;
  return SplashOrigin(QSize(width(), height() + strip), picture_.size());
}

void ClientArea::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.fillRect(event->rect(), palette().color(QPalette::Base));
  if (showBitmap_ != 0) painter.drawImage(SplashPosition(), picture_);
}

void ClientArea::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // The pane follows the area whether or not it is visible, so the first run
  // shows it at full size.
  if (logPane_ != nullptr) logPane_->setGeometry(QRect(QPoint(0, 0), event->size()));
}

}  // namespace flash::ui
