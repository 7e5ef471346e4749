#include "logs/logs.h"

#include <cstdio>
#include <utility>

namespace flash {

Logs::Logs(WindowServices& window, Clock& clock, std::string commsLogPath)
    : window_(window), clock_(clock), commsLogPath_(std::move(commsLogPath)) {}

Logs::~Logs() { CloseCommsLog(); }

void Logs::ClearLog() {
  logText_.clear();
  window_.SetLogPaneText(logText_);
}

void Logs::AppendLog(std::string_view text) {
  logText_.append(text);
  window_.SetLogPaneText(logText_);
}

void Logs::SetStatus(int pane, std::string_view text) { window_.SetStatusPane(pane, std::string(text)); }

void Logs::OpenCommsLog() {
  // A log that a stopped run left open is closed first, so every run writes its own file.
  CloseCommsLog();
  commsLog_ = std::fopen(commsLogPath_.c_str(), "wb");
  if (commsLog_ == nullptr) return;  // silent: the run goes on without a communication log
  WriteCommsLog("Log File Begin\n");
}

void Logs::CloseCommsLog() {
  if (commsLog_ == nullptr) return;
  std::fclose(commsLog_);
  commsLog_ = nullptr;
}

void Logs::WriteCommsLog(std::string_view text) {
  if (commsLog_ == nullptr) return;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n') continue;
    std::fwrite(text.data() + start, 1, i - start, commsLog_);
    std::fwrite("\r\n", 1, 2, commsLog_);
    start = i + 1;
  }
  std::fwrite(text.data() + start, 1, text.size() - start, commsLog_);
  // Each line reaches the file as it is written, so a crash keeps the trace.
  if (!text.empty() && text.back() == '\n') std::fflush(commsLog_);
}

std::string Logs::FormatTimeStamp(const UtcTimeOfDay& time) {
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "%02u:%02u:%02u:%04u", time.hour, time.minute, time.second,
                time.millisecond);
  return stamp;
}

void Logs::WriteTimeStamp() {
  if (commsLog_ == nullptr) return;
  WriteCommsLog(FormatTimeStamp(clock_.UtcNow()));
}

void Logs::TraceSent(std::string_view hexText) {
  if (commsLog_ == nullptr) return;
  WriteTimeStamp();
  WriteCommsLog(std::string(" R< ").append(hexText).append("\n"));
}

void Logs::TraceReceived(std::string_view hexText) {
  if (commsLog_ == nullptr) return;
  WriteTimeStamp();
  WriteCommsLog(std::string(" R> ").append(hexText).append("\n"));
}

void Logs::TraceNote(std::string_view source, std::string_view text) {
  if (commsLog_ == nullptr) return;
  WriteTimeStamp();
  WriteCommsLog(std::string("[[").append(source).append(" ").append(text).append("]]\n"));
}

}  // namespace flash

namespace flash {
namespace {

std::string HexText(const unsigned char* data, std::size_t length, const char* digits) {
  std::string text;
  text.reserve(length * 3);
  for (std::size_t i = 0; i < length; ++i) {
    text.push_back(digits[data[i] >> 4]);
    text.push_back(digits[data[i] & 0x0F]);
    text.push_back(' ');
  }
  return text;
}

}  // namespace

std::string HexTextLower(const unsigned char* data, std::size_t length) {
  return HexText(data, length, "0123456789abcdef");
}

std::string HexTextUpper(const unsigned char* data, std::size_t length) {
  return HexText(data, length, "0123456789ABCDEF");
}

}  // namespace flash
