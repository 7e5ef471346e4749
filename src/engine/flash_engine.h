#pragma once
// The flash engine: one update, verify or testing run over one RUF file. It
// reacts to events (a command, a reply chunk, a timer expiry) and acts only
// through the window services, the logs and the radio link, so given the same
// events it sends the same bytes in the same order.
//
// Where its operations live:
//   line_encoder.cpp   ProcessLine: one RUF line into one packet
//   run_driver.cpp     the run commands, StartRun, PumpLines, CloseRun, the results, SendToRadio
//   reply_parser.cpp   ParseRadioReply and the model check
//   reply_timers.cpp   ArmReplyTimer, StopReplyTimer, OnTimer, the WM_NEXT_LINE handler

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/flash_run.h"
#include "engine/radio_link.h"
#include "logs/logs.h"
#include "services/clock.h"
#include "services/window_services.h"

namespace flash {

class FlashEngine {
 public:
  FlashEngine(WindowServices& window, Clock& clock, Logs& logs, RadioLink& link);
  ~FlashEngine();
  FlashEngine(const FlashEngine&) = delete;
  FlashEngine& operator=(const FlashEngine&) = delete;

  FlashRun& Run() { return run_; }
  const FlashRun& Run() const { return run_; }

  // A command of the main window; false when it is not one of the engine's.
  bool OnCommand(int commandId);
  // Whether a command is enabled now: the window greys out the others, and a
  // disabled command that reaches the engine does nothing.
  bool CommandEnabled(int commandId) const;

  // Reply chunks from the links, on the window thread.
  void ParseRadioReply(const std::uint8_t* text, std::uint8_t count);
  void ParseRadioReply(std::string_view text);
  // Window timer expiry.
  void OnTimer(int timerId);
  // The WM_NEXT_LINE handler.
  int OnNextLine();
  // Stops TIMER_VERSION: the links call it when data arrives from the radio.
  void StopVersionTimer();
  // The link is gone (the serial device hung up or was unplugged): a run
  // under way ends with the communication error at once, instead of
  // repeating into a dead port for forty seconds.
  void OnLinkLost(std::string_view reason);

  // Operations of the run, public so that hosts and tests can reach them by name.
  void StartRun();
  LineResult PumpLines();
  LineResult ProcessLine();
  void CloseRun();
  void ShowSuccessResult();
  void ShowFailureResult();
  void ShowCommError();
  void SendToRadio(const std::uint8_t* data, std::size_t length);
  void ArmReplyTimer();
  void StopReplyTimer();

  // A run is under way: "?V\r" has gone out and the run has not ended or stopped.
  bool RunActive() const {
    return run_.State == RunState::VersionQuery || run_.State == RunState::Streaming;
  }

 private:
  void StartRunCommand(RunMode mode);
  bool OpenRufFile(const std::string& path);
  bool CountAndCheckLines(const std::string& path);
  void CloseRufFile();
  void StopRun();
  void SendText(std::string_view text);
  // The version query and the acknowledges: remembered for a repeat before the first RUF line.
  void SendControlPacket(std::string_view packet);

  // Line encoder pieces.
  LineResult EncodeComment();
  LineResult EncodeDirective();
  LineResult EncodeIntelHex();
  LineResult EncodeSRecord();
  LineResult SkipUnrecognisedLine();
  LineResult RejectUnreadableRecord(std::string_view problem);
  void SendPacket(std::size_t length);
  std::string_view CurrentLine() const;

  // Reply parser pieces.
  void CheckChecksumEcho(std::string_view text);
  void CheckVersionReply(std::string_view text);

  WindowServices& window_;
  Clock& clock_;
  Logs& logs_;
  RadioLink& link_;
  FlashRun run_;
};

}  // namespace flash
