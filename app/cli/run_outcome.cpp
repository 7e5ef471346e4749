#include "cli/run_outcome.h"

#include <string_view>

#include "engine/flash_run.h"

namespace flash::cli {
namespace {

bool StartsWith(const std::string& text, std::string_view prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

ExitStatus ExitStatusFor(const RunOutcome& outcome) {
  if (outcome.interrupted) return ExitStatus::Interrupted;
  if (outcome.dialog) {
    switch (*outcome.dialog) {
      case IDD_UPDATE_SUCCESS:
      case IDD_VERIFY_SUCCESS: return ExitStatus::Success;
      case IDD_NOT_JUDGED: return ExitStatus::NotJudged;
      case IDD_COMM_ERROR: return ExitStatus::CommFailure;
      default: return ExitStatus::RunFailed;
    }
  }
  if (outcome.linkOpenFailed) return ExitStatus::LinkUnavailable;
  for (const auto& text : outcome.messageBoxes) {
    if (StartsWith(text, "The selected RUF file is not compatible")) return ExitStatus::ModelMismatch;
  }
  for (const auto& text : outcome.messageBoxes) {
    if (text == "Unable to open file" || StartsWith(text, "The update was not started")) {
      return ExitStatus::FileUnusable;
    }
  }
  // The run ended without a result of its own: it cannot count as a success.
  return ExitStatus::RunFailed;
}

std::string DescribeExitStatus(ExitStatus status, bool verifying) {
  const std::string run = verifying ? "verify" : "update";
  switch (status) {
    case ExitStatus::Success:
      return verifying ? "the radio's flash memory matches the file" : "the update succeeded";
    case ExitStatus::RunFailed: return "the " + run + " failed";
    case ExitStatus::CommFailure: return "communication with the radio failed";
    case ExitStatus::ModelMismatch: return "the file is not for this radio's model";
    case ExitStatus::FileUnusable: return "the file cannot be used";
    case ExitStatus::LinkUnavailable: return "the link to the radio could not be opened";
    case ExitStatus::NotJudged:
      return "the file was sent, but success cannot be judged because error checking was off";
    case ExitStatus::Usage: return "bad usage";
    case ExitStatus::Interrupted:
      return verifying ? "interrupted: the verify did not finish"
                       : "interrupted: the update did not finish, and the radio may not work until it is "
                         "updated again";
  }
  return "unknown";
}

std::string ExitStatusTable() {
  return "  0    the update or verify succeeded (check: the file is sound)\n"
         "  1    the update or verify failed: the radio did not take or match the file\n"
         "  2    communication with the radio failed\n"
         "  3    the file is for a different radio model\n"
         "  4    the file cannot be used: missing, unreadable, or damaged\n"
         "  5    the link to the radio (serial port or UDP socket) could not be opened\n"
         "  6    the file was sent with error checking off: success cannot be judged\n"
         "  64   bad usage (also: verify with error checking off)\n"
         "  130  interrupted before the run ended\n";
}

}  // namespace flash::cli
