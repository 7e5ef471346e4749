#include "recording_window.h"

namespace flash::testing {

void RecordingWindow::SetStatusPane(int pane, const std::string& text) {
  if (pane >= 0 && pane < 3) statusPanes[pane] = text;
  statusHistory.emplace_back(pane, text);
}

std::optional<std::string> RecordingWindow::ChooseOpenFile(const OpenFileRequest& request) {
  fileRequests.push_back(request);
  return fileToChoose;
}

void RecordingWindow::MessageBox(const std::string& text) {
  messageBoxes.push_back(text);
  ++openDialogs;
  if (onMessageBox) onMessageBox(text);
  --openDialogs;
}

void RecordingWindow::ShowDialog(int resourceId) {
  dialogs.push_back(resourceId);
  ++openDialogs;
  if (onDialog) onDialog(resourceId);
  --openDialogs;
}

}  // namespace flash::testing
