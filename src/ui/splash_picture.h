#pragma once
// The splash picture of the main window, drawn until the first run starts.

#include <QImage>
#include <QPoint>
#include <QSize>

namespace flash::ui {

inline constexpr int kSplashWidth = 384;
inline constexpr int kSplashHeight = 288;

// The picture, 384 by 288 pixels, drawn once.
QImage MakeSplashPicture();

// Where the picture's top left corner goes to centre it in the client area;
// each half is truncated toward zero, so a client area smaller than the
// picture gives a negative offset and equal parts are cut off on both sides.
QPoint SplashOrigin(QSize clientArea, QSize picture);

}  // namespace flash::ui
