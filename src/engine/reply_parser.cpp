// ParseRadioReply: the one place where what the radio sends back is judged.
// Each chunk moves the run on, asks for a repeat, or leaves the run waiting
// for the reply timer.

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "engine/flash_engine.h"
#include "engine/radio_models.h"

namespace flash {
namespace {

// A decimal number (leading blanks, optional sign) at the offset, if one can be read there.
std::optional<int> NumberAt(std::string_view text, std::size_t offset) {
  if (offset >= text.size()) return std::nullopt;
  std::size_t i = offset;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  bool digits = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    digits = true;
    if (value < INT_MAX) value = value * 10 + (text[i] - '0');
  }
  if (!digits) return std::nullopt;
  if (value > INT_MAX) value = INT_MAX;
  return static_cast<int>(negative ? -value : value);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool Contains(std::string_view text, std::string_view word) { return text.find(word) != std::string_view::npos; }

}  // namespace

void FlashEngine::ParseRadioReply(std::string_view text) {
  const std::size_t count = std::min<std::size_t>(text.size(), 255);
  ParseRadioReply(reinterpret_cast<const std::uint8_t*>(text.data()), static_cast<std::uint8_t>(count));
}

void FlashEngine::ParseRadioReply(const std::uint8_t* bytes, std::uint8_t count) {
  run_.ZzPending = 0;
  if (!RunActive()) {
    // No run: a late reply is recorded where the log is open, and changes nothing.
    if (logs_.CommsLogOpen()) logs_.TraceReceived(HexTextUpper(bytes, count) + "\r");
    return;
  }
  if (run_.Mode == RunMode::Testing || run_.IgnoreErrors == 1) {
    PumpLines();
    return;
  }
  logs_.TraceReceived(HexTextUpper(bytes, count) + "\r");

  // The text ends after count bytes, or earlier at a NUL byte.
  const char* chars = reinterpret_cast<const char*>(bytes);
  const std::string_view text(chars, strnlen(chars, count));
  const char first = text.empty() ? '\0' : text[0];

  // Until the radio's model has matched the file's, only a version reply counts.
  const bool modelUnchecked = run_.State == RunState::VersionQuery && !run_.ModelMatched;
  const bool advances = Contains(text, "READY") || first == ':' || first == 'E' || first == 'G' ||
                        first == 'A' || (first != 'Z' && first != 'S' && Contains(text, "DSP"));
  if (modelUnchecked && advances) {
    logs_.TraceNote("serial response parser", " Reply ignored: the radio's model has not been checked yet ");
    return;
  }

  if (Contains(text, "READY")) {
    PumpLines();
  } else if (first == ':') {
    CheckChecksumEcho(text);
  } else if (first == 'Z') {
    // The radio's bad-command reply: the reply timer repeats the packet.
  } else if (first == 'E' || first == 'G' || first == 'A') {
    PumpLines();
  } else if (first == 'S') {
    // No action.
  } else if (Contains(text, "DSP")) {
    PumpLines();
  } else if (Contains(text, "VER")) {
    CheckVersionReply(text);
  } else {
    logs_.TraceNote("serial response parser", " I didn't understand the response ");
  }
}

void FlashEngine::CheckChecksumEcho(std::string_view text) {
  // ':' then at most two hexadecimal digits, after any blanks.
  std::size_t i = 1;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  int value = 0;
  int digits = 0;
  for (; i < text.size() && digits < 2 && HexDigit(text[i]) >= 0; ++i, ++digits) value = value * 16 + HexDigit(text[i]);
  if (digits > 0) run_.LastEcho = static_cast<std::uint8_t>(value);

  if (run_.LastEcho == run_.ExpectedEcho) {
    PumpLines();
    return;
  }
  run_.ChecksumRetries = static_cast<std::int8_t>(run_.ChecksumRetries + 1);
  if (run_.ChecksumRetries <= kMaxChecksumRetries) {
    run_.ResendPending = 1;
    PumpLines();
    return;
  }
  // The line is given up; the run goes on with the next one and will fail.
  run_.ResendPending = 0;
  run_.ChecksumRetries = 0;
  run_.ChecksumErrors += 1;
  run_.FailureFlag = 1;
  StopReplyTimer();
  PumpLines();
}

void FlashEngine::CheckVersionReply(std::string_view text) {
  StopVersionTimer();
  if (auto dsp = NumberAt(text, 4)) run_.DspVersion = *dsp;
  char versionText[48];
  std::snprintf(versionText, sizeof versionText, "DSP VERSION %1.3f",
                static_cast<double>(static_cast<std::uint32_t>(run_.DspVersion)) / 1000.0);
  if (auto model = NumberAt(text, 9)) run_.RadioModel = *model;

  const auto table = RadioModelTable();
  const RadioModel* row = &table[0];
  if (run_.RadioModel != 0 && text.size() > 8) {
    row = nullptr;
    for (std::size_t i = 1; i < table.size(); ++i) {
      if (table[i].code == run_.RadioModel) row = &table[i];
    }
  }
  if (row == nullptr) {
    // A model this updater does not know: nothing is sent; the reply timer takes over.
    logs_.SetStatus(kModePane, versionText);
    char line[160];
    std::snprintf(line, sizeof line, " The radio reports model %d, which this updater does not know (%s).",
                  run_.RadioModel, versionText);
    logs_.AppendLog(line);
    logs_.AppendLog("\r\n");
    return;
  }

  logs_.SetStatus(kModelPane, row->statusText);
  if (run_.FileModel != row->code) {
    run_.Busy = 0;
    StopRun();
    window_.MessageBox(row->mismatchMessage);
    return;
  }
  run_.ModelMatched = true;
  switch (row->acknowledge) {
    case ModelAcknowledge::XX:
      run_.ResponseTimeoutMs = kLineTimeoutMs;
      SendControlPacket("XX\r");
      break;
    case ModelAcknowledge::ZZ:
      SendControlPacket("ZZ\r");
      break;
    case ModelAcknowledge::ZZWithWait:
      run_.ResponseTimeoutMs = kModel730TimeoutMs;
      run_.ZzPending = 1;
      SendControlPacket("ZZ\r");
      break;
  }
}

}  // namespace flash
