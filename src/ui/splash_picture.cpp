#include "ui/splash_picture.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>

namespace flash::ui {

QImage MakeSplashPicture() {
  QImage picture(kSplashWidth, kSplashHeight, QImage::Format_RGB32);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);

  QLinearGradient sky(0, 0, 0, kSplashHeight);
  sky.setColorAt(0.0, QColor(0, 32, 96));
  sky.setColorAt(1.0, QColor(0, 96, 160));
  painter.fillRect(picture.rect(), sky);

  // A transceiver's front panel: display, tuning knob and keys.
  const QRectF panel(62, 118, 260, 96);
  painter.setPen(QPen(QColor(192, 192, 192), 2));
  painter.setBrush(QColor(48, 48, 56));
  painter.drawRoundedRect(panel, 8, 8);
  painter.setBrush(QColor(255, 176, 0));
  painter.setPen(Qt::NoPen);
  painter.drawRect(QRectF(80, 134, 132, 34));
  painter.setPen(QColor(48, 48, 56));
  painter.setFont(QFont(QStringLiteral("Monospace"), 16, QFont::Bold));
  painter.drawText(QRectF(80, 134, 132, 34), Qt::AlignCenter, QStringLiteral("14.250.00"));
  painter.setPen(QPen(QColor(128, 128, 128), 2));
  painter.setBrush(QColor(24, 24, 24));
  painter.drawEllipse(QPointF(266, 164), 32, 32);
  painter.setBrush(QColor(160, 160, 160));
  painter.drawEllipse(QPointF(266, 164), 6, 6);
  painter.setBrush(QColor(128, 128, 128));
  for (int key = 0; key < 5; ++key) painter.drawRect(QRectF(80 + key * 27, 184, 20, 12));

  // An antenna with its waves.
  painter.setPen(QPen(QColor(192, 192, 192), 3));
  painter.drawLine(QPointF(300, 118), QPointF(300, 70));
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(QColor(255, 255, 255, 160), 2));
  for (int wave = 1; wave <= 3; ++wave) {
    const double r = 10.0 * wave;
    painter.drawArc(QRectF(300 - r, 70 - r, 2 * r, 2 * r), -45 * 16, 90 * 16);
  }

  painter.setPen(Qt::white);
  painter.setFont(QFont(QStringLiteral("Sans Serif"), 26, QFont::Bold));
  painter.drawText(QRectF(0, 16, kSplashWidth, 44), Qt::AlignCenter, QStringLiteral("Varnex"));
  painter.setFont(QFont(QStringLiteral("Sans Serif"), 12));
  painter.drawText(QRectF(0, 58, kSplashWidth, 24), Qt::AlignCenter, QStringLiteral("Zanthe32 Flash Update Utility"));
  painter.setFont(QFont(QStringLiteral("Sans Serif"), 9));
  painter.drawText(QRectF(0, 236, kSplashWidth, 40), Qt::AlignCenter,
                   QStringLiteral("Process \u2192 Update Radio to load a Rom Update File"));
  return picture;
}

QPoint SplashOrigin(QSize clientArea, QSize picture) {
  // Integer division truncates toward zero, for negative differences too.
  return QPoint((clientArea.width() - picture.width()) / 2, (clientArea.height() - picture.height()) / 2);
}

}  // namespace flash::ui
