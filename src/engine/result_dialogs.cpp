#include "engine/result_dialogs.h"

#include <array>

#include "engine/flash_run.h"

namespace flash {

std::optional<ResultDialog> FindResultDialog(int resourceId) {
  static constexpr std::array<ResultDialog, 6> kDialogs{{
      {IDD_COMM_ERROR, "Error Encountered",
       "Communication with the radio has failed. Since a programming operation was interrupted the radio may not "
       "function properly. Check for proper power and interface connections. Cycle the power on the radio and retry "
       "the programming operation."},
      {IDD_UPDATE_SUCCESS, "Flash Update", "Flash Update Successfuly Completed !"},
      {IDD_VERIFY_SUCCESS, "Flash Verification", "File and Firmware Sucessfully Verified"},
      {IDD_NOT_JUDGED, "Flash Loader",
       "File Processing Complete! \r\n\r\nThere is no way to determine if Flash Updating was successful because error "
       "checking was turned off."},
      {IDD_VERIFY_FAILED, "Dialog",
       "The selected file does not match the contents of the radio's Flash Memory system. You may be using the wrong "
       "RUF file for comparison. Cycle the power on the radio and confirm the firmware revision and try again. You "
       "may want to reprogram and reverify."},
      {IDD_UPDATE_FAILED, "Dialog",
       "Unable to update the radio's Flash Memory with the selected file. Confirm that the radio is connected and "
       "powered and that the update file is a valid Rom Update File (RUF) for this radio."},
  }};
  for (const auto& dialog : kDialogs) {
    if (dialog.resourceId == resourceId) return dialog;
  }
  return std::nullopt;
}

}  // namespace flash
