#pragma once
// What every dialog of the program shares: the light grey background with
// black text, geometry in dialog units, and the message box (OK button, the
// program's file name as caption).

#include <QRect>
#include <QString>

class QWidget;

namespace flash::ui {

// Light grey (192,192,192) behind black text, for the program's dialogs.
void ApplyDialogLook(QWidget& dialog);

// A rectangle given in dialog units, in pixels for the dialog's font: a
// horizontal unit is a quarter of the font's average character width, a
// vertical unit an eighth of its height.
QRect DialogRect(const QWidget& dialog, int x, int y, int width, int height);

// The program's file name, the caption of its message boxes.
QString ProgramName();

// A modal message box with an OK button and an exclamation icon; returns
// when the operator has closed it.
void ShowMessageBox(QWidget* parent, const QString& text);

}  // namespace flash::ui
