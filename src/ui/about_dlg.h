#pragma once
// The About box: the program's name, version and build stamp, with buttons
// that open the support mail link and the updates web page.

#include <QDialog>
#include <QUrl>
#include <string>

class QLabel;
class QPushButton;

namespace flash::ui {

inline constexpr const char* kVersionText = "Version 4.06";
inline constexpr const char* kSupportAddress = "support@example.invalid";
inline constexpr const char* kUpdatesPage = "https://example.invalid/updates";

// "Sep  4 2007, 11:23:55": the build date and time, fixed when this file is compiled.
std::string BuildStamp();

// The support mail link, with the subject "Flash Update Support".
QUrl SupportMailUrl();

class CAboutDlg final : public QDialog {
 public:
  explicit CAboutDlg(QWidget* parent);

  std::string m_strBuildStamp;  // handed in by the About command
  std::string m_strBuiltOn;     // shown in the "built on" line
  std::string m_strVersion;     // shown in the version line

  int DoModal();
  void OnInitDialog();

  QLabel* BuiltOnText() const { return builtOn_; }
  QLabel* VersionText() const { return version_; }
  QPushButton* CloseButton() const { return close_; }

 private:
  QLabel* builtOn_ = nullptr;
  QLabel* version_ = nullptr;
  QPushButton* close_ = nullptr;
};

// The About command: the box with the version text and the build stamp.
void RunAboutCommand(QWidget* parent);

}  // namespace flash::ui
