#pragma once
// The main window's client area: the splash picture while ShowBitmap is set,
// and the log pane laid over the whole area (visible or not).

#include <QImage>
#include <QWidget>

class QPlainTextEdit;

namespace flash::ui {

class ClientArea final : public QWidget {
 public:
  explicit ClientArea(QWidget* parent);

  // The log pane this area keeps at its full size.
  void SetLogPane(QPlainTextEdit* pane);
  // The status bar below this area: the picture is centred on the area and
  // the strip behind the status bar together.
  void SetWidgetBelow(const QWidget* below) { below_ = below; }

  bool ShowBitmap() const { return showBitmap_ != 0; }
  void SetShowBitmap(bool show);
  // The picture's top left corner in this area's coordinates.
  QPoint SplashPosition() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QImage picture_;
  QPlainTextEdit* logPane_ = nullptr;
  const QWidget* below_ = nullptr;
  int showBitmap_ = 1;
};

}  // namespace flash::ui
