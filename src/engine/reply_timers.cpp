// The two window timers that guard the conversation with the radio:
// TIMER_RESPONSE after every packet, TIMER_VERSION once per run from "?V\r".

#include <string>

#include "engine/flash_engine.h"

namespace flash {

void FlashEngine::ArmReplyTimer() {
  if (run_.IgnoreErrors == 0) run_.ResponseTimeoutMs = kCheckedReplyTimeoutMs;
  window_.KillTimer(TIMER_RESPONSE);
  window_.SetTimer(TIMER_RESPONSE, run_.ResponseTimeoutMs);
}

void FlashEngine::StopReplyTimer() { window_.KillTimer(TIMER_RESPONSE); }

void FlashEngine::StopVersionTimer() { window_.KillTimer(TIMER_VERSION); }

void FlashEngine::OnLinkLost(std::string_view reason) {
  if (!RunActive()) return;
  logs_.AppendLog(std::string(" ").append(reason).append("\r\n"));
  ShowCommError();
}

int FlashEngine::OnNextLine() {
  PumpLines();
  return 0;
}

void FlashEngine::OnTimer(int timerId) {
  if (timerId == TIMER_RESPONSE) {
    StopReplyTimer();
    if (!RunActive()) return;
    if (run_.IgnoreErrors == 1) {
      // Ignore-errors mode: the time-out only paces the run.
      OnNextLine();
      return;
    }
    if (run_.TimeoutRetries > kMaxTimeoutRetries) {
      ShowCommError();
      return;
    }
    run_.TimeoutRetries = static_cast<std::int8_t>(run_.TimeoutRetries + 1);
    run_.ResendPending = 1;
    OnNextLine();
    return;
  }
  if (timerId == TIMER_VERSION) {
    StopVersionTimer();
    if (!RunActive()) return;
    // The radio sent nothing in time: the run ends here.
    ShowCommError();
    link_.PurgeSerial();
  }
}

}  // namespace flash
