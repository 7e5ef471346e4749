#pragma once
// What a run reports, in three places: the log text shown in the log pane, the
// three status bar panes, and the communication log file comms.txt with
// time-stamped traces of the traffic and short notes.

#include <cstdio>
#include <string>
#include <string_view>

#include "services/clock.h"
#include "services/window_services.h"

namespace flash {

// Status bar panes.
inline constexpr int kProgressPane = 0;
inline constexpr int kModelPane = 1;
inline constexpr int kModePane = 2;

class Logs {
 public:
  // commsLogPath: where OpenCommsLog creates the communication log; the
  // program uses "comms.txt" in the current directory.
  Logs(WindowServices& window, Clock& clock, std::string commsLogPath = "comms.txt");
  ~Logs();
  Logs(const Logs&) = delete;
  Logs& operator=(const Logs&) = delete;

  // The log text: everything appended since the last run began.
  const std::string& LogText() const { return logText_; }
  // Empties the log text and the log pane (the start of a run).
  void ClearLog();
  // Appends to the log text and shows the whole text in the log pane.
  void AppendLog(std::string_view text);
  // Shows the text in a status pane at once.
  void SetStatus(int pane, std::string_view text);

  // Creates the communication log afresh; a failure is silent and leaves it closed.
  void OpenCommsLog();
  void CloseCommsLog();
  bool CommsLogOpen() const { return commsLog_ != nullptr; }
  const std::string& CommsLogPath() const { return commsLogPath_; }

  // Writes text straight into the communication log while it is open; each
  // "\n" becomes a carriage return and line feed, as a text-mode file writes it.
  void WriteCommsLog(std::string_view text);

  // Time-stamped lines of the communication log.
  void TraceSent(std::string_view hexText);
  void TraceReceived(std::string_view hexText);
  void TraceNote(std::string_view source, std::string_view text);

  // "%02u:%02u:%02u:%04u" of the UTC time of day.
  static std::string FormatTimeStamp(const UtcTimeOfDay& time);

 private:
  void WriteTimeStamp();

  WindowServices& window_;
  Clock& clock_;
  std::string commsLogPath_;
  std::string logText_;
  std::FILE* commsLog_ = nullptr;
};

}  // namespace flash

namespace flash {

// The traffic as hexadecimal text, each byte as two digits and a blank:
// lower case for bytes sent ("%02x "), upper case for bytes received ("%02hX ").
std::string HexTextLower(const unsigned char* data, std::size_t length);
std::string HexTextUpper(const unsigned char* data, std::size_t length);

}  // namespace flash
