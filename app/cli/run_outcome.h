#pragma once
// How a run of the command-line program ended, and the exit status that tells
// a script about it.

#include <optional>
#include <string>
#include <vector>

#include "engine/radio_link.h"

namespace flash::cli {

enum class ExitStatus : int {
  Success = 0,          // the update or verify succeeded; check: the file is sound
  RunFailed = 1,        // the radio did not take or match the file (dialog 122 or 121)
  CommFailure = 2,      // communication with the radio failed (dialog 113)
  ModelMismatch = 3,    // the file is for another radio model
  FileUnusable = 4,     // the file is missing, unreadable or damaged
  LinkUnavailable = 5,  // the serial port or the UDP socket could not be opened
  NotJudged = 6,        // error checking was off: success cannot be judged (dialog 120)
  Usage = 64,           // bad command line, or verify with error checking off
  Interrupted = 130,    // stopped by a signal before the run ended
};

inline int ToInt(ExitStatus status) { return static_cast<int>(status); }

// What the run left behind for the verdict.
struct RunOutcome {
  std::optional<int> dialog;              // the result or error dialog shown, if any
  std::vector<std::string> messageBoxes;  // every message box, in order
  bool linkOpenFailed = false;            // the link refused to open for the run
  bool interrupted = false;
};

ExitStatus ExitStatusFor(const RunOutcome& outcome);

// The verdict in a few words, for the last line the program prints.
// verifying: the run was a verify run rather than an update.
std::string DescribeExitStatus(ExitStatus status, bool verifying);

// The table of exit statuses, as the help and the README list them.
std::string ExitStatusTable();

// Passes everything to the real link and remembers whether it refused to
// open, which no dialog reports.
class RecordingLink final : public RadioLink {
 public:
  explicit RecordingLink(RadioLink& link) : link_(link) {}

  bool OpenFailed() const { return openFailed_; }

  bool OpenForRun() override {
    const bool opened = link_.OpenForRun();
    openFailed_ = !opened;
    return opened;
  }
  void Transmit(const std::uint8_t* data, std::size_t length) override { link_.Transmit(data, length); }
  void PurgeSerial() override { link_.PurgeSerial(); }
  void CloseForRun() override { link_.CloseForRun(); }

 private:
  RadioLink& link_;
  bool openFailed_ = false;
};

}  // namespace flash::cli
