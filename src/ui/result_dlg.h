#pragma once
// The result and error dialogs that end a run, by resource number: one text,
// one default OK button, shown modally.

#include <QDialog>

#include "engine/result_dialogs.h"

class QLabel;
class QPushButton;

namespace flash::ui {

class CResultDlg final : public QDialog {
 public:
  CResultDlg(QWidget* parent, const ResultDialog& dialog);

  QLabel* Text() const { return text_; }
  QPushButton* OkButton() const { return ok_; }
  int ResourceId() const { return resourceId_; }

 private:
  int resourceId_;
  QLabel* text_ = nullptr;
  QPushButton* ok_ = nullptr;
};

// Shows the dialog of the resource number modally and returns when it has
// been closed; false (and nothing shown) for a number that names no dialog.
bool ShowResultDialog(QWidget* parent, int resourceId);

// The dialog's text as the label shows it: each "\r\n" a line break.
QString ResultDialogText(const char* text);

}  // namespace flash::ui
