#pragma once
// The result and error dialogs that end a run: caption and text by resource
// number. The engine picks the number; each host shows the text its own way.

#include <optional>

namespace flash {

struct ResultDialog {
  int resourceId;
  const char* caption;
  const char* text;
};

std::optional<ResultDialog> FindResultDialog(int resourceId);

}  // namespace flash
