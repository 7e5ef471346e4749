#pragma once
// Commands of the main window that the window handles itself; the run
// commands (32768, 32769, 32770, 32778, 32784) are the engine's.

namespace flash::ui {

inline constexpr int ID_APP_ABOUT = 100;
inline constexpr int ID_APP_EXIT = 32772;
inline constexpr int ID_SETUP = 32785;

// Child ids of the main window.
inline constexpr int IDC_LOG_PANE = 102;
inline constexpr int IDC_STATUS_BAR = 104;

}  // namespace flash::ui
