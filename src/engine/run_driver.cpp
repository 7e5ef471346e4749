// The run driver: the run commands, the start of a run, the line pump, the
// close of a completed run, the result dialogs and the single send path.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/flash_engine.h"
#include "engine/ruf_record.h"

namespace flash {
namespace {

struct ModeTexts {
  const char* status;
  const char* logLine;
};

ModeTexts TextsFor(RunMode mode) {
  switch (mode) {
    case RunMode::Program: return {"Program Flash", "Program Mode \r\n"};
    case RunMode::Verify: return {"Verify Flash", "Verify Mode \r\n"};
    default: return {"TESTING MODE", "TESTING MODE \r\n"};
  }
}

std::string FileNameOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int LeadingNumber(const char* text) {
  int value = 0;
  for (const char* c = text; *c >= '0' && *c <= '9'; ++c) value = value * 10 + (*c - '0');
  return value;
}

}  // namespace

FlashEngine::FlashEngine(WindowServices& window, Clock& clock, Logs& logs, RadioLink& link)
    : window_(window), clock_(clock), logs_(logs), link_(link) {}

FlashEngine::~FlashEngine() { CloseRufFile(); }

bool FlashEngine::CommandEnabled(int commandId) const {
  const bool free = run_.Busy == 0 && run_.State == RunState::Idle;
  switch (commandId) {
    case ID_UPDATE_RADIO:
    case ID_QUERY_MODE:
    case ID_TESTING_MODE: return free;
    case ID_VERIFY_PROGRAM: return free && run_.IgnoreErrors == 0;
    default: return true;
  }
}

bool FlashEngine::OnCommand(int commandId) {
  switch (commandId) {
    case ID_UPDATE_RADIO:
    case ID_VERIFY_PROGRAM:
    case ID_TESTING_MODE:
    case ID_QUERY_MODE:
      if (!CommandEnabled(commandId)) return true;  // a disabled command does nothing
      if (commandId == ID_QUERY_MODE) {
        run_.Mode = RunMode::Query;
      } else {
        StartRunCommand(commandId == ID_UPDATE_RADIO     ? RunMode::Program
                        : commandId == ID_VERIFY_PROGRAM ? RunMode::Verify
                                                         : RunMode::Testing);
      }
      return true;
    case ID_TOGGLE_IGNORE_ERRORS:
      run_.IgnoreErrors = run_.IgnoreErrors == 1 ? 0 : 1;
      return true;
    default:
      return false;
  }
}

void FlashEngine::StartRunCommand(RunMode mode) {
  run_.ChecksumRetries = 0;
  run_.ChecksumErrors = 0;
  run_.FailureFlag = 0;
  run_.Mode = mode;
  const ModeTexts texts = TextsFor(mode);
  logs_.SetStatus(kModePane, texts.status);
  logs_.AppendLog(texts.logLine);
  StartRun();
  if (mode != RunMode::Program) logs_.SetStatus(kModePane, "");
}

void FlashEngine::StartRun() {
  // A run that stopped (communication failure, model mismatch) left its file open.
  CloseRufFile();
  window_.HideSplash();
  run_.FileModelText[0] = '\0';
  logs_.ClearLog();
  window_.ShowLogPane();

  run_.State = RunState::ChoosingFile;
  const auto chosen = window_.ChooseOpenFile(OpenFileRequest{
      "Select Firmware Update File",
      {{"Firmware Files(*.ruf)", "*.ruf"}, {"All Files(*.*)", "*.*"}},
      "ruf",
      "*.ruf"});
  if (!chosen) {
    run_.State = RunState::Idle;
    return;
  }
  run_.State = RunState::Opening;
  const std::string& path = *chosen;

  if (run_.IgnoreErrors == 1) {
    logs_.AppendLog("\r\n *** Detected Command Line Switch to Ignore Radio Responses and Errors *** \r\n");
  }
  const std::string name = FileNameOf(path);
  std::snprintf(run_.FileModelText, sizeof run_.FileModelText, "%.3s", name.c_str());
  run_.FileModel = LeadingNumber(run_.FileModelText);

  logs_.AppendLog(std::string("\r\n Flash Rom Update File - ").append(path).append("\r\n\r\n"));
  if (run_.Mode == RunMode::Verify) logs_.AppendLog(" Please be patient while your radio is being verified.");
  if (run_.Mode == RunMode::Program) logs_.AppendLog(" Please be patient while your radio is being updated.");
  logs_.AppendLog("\r\n\r\n");

  run_.LastSegment = 0x5AA5;
  run_.Segment = 0xA55A;
  run_.ZzPending = 0;

  if (!CountAndCheckLines(path) || !OpenRufFile(path)) {
    run_.State = RunState::Idle;
    return;
  }

  run_.StartTime = clock_.NowSeconds();
  run_.LineNumber = 0;
  run_.FileLine = 0;
  run_.TimeoutRetries = 0;
  run_.ResendPending = 0;
  run_.LineReadThisRun = false;
  run_.ModelMatched = false;

  if (!link_.OpenForRun()) {
    CloseRufFile();
    run_.State = RunState::Idle;
    return;
  }
  logs_.OpenCommsLog();

  run_.ResponseTimeoutMs = kVersionTimeoutMs;
  window_.SetTimer(TIMER_VERSION, kVersionTimeoutMs);
  run_.Busy = 1;
  run_.State = RunState::VersionQuery;
  SendControlPacket("?V\r");
}

bool FlashEngine::OpenRufFile(const std::string& path) {
  run_.RufFile = std::fopen(path.c_str(), "rb");
  if (run_.RufFile != nullptr) return true;
  window_.MessageBox("Unable to open file");
  return false;
}

void FlashEngine::CloseRufFile() {
  if (run_.RufFile == nullptr) return;
  std::fclose(run_.RufFile);
  run_.RufFile = nullptr;
}

bool FlashEngine::CountAndCheckLines(const std::string& path) {
  if (!OpenRufFile(path)) return false;
  // A program run checks every record first: the radio's flash is never
  // written from a file known to be damaged.
  const bool checkRecords = run_.Mode == RunMode::Program;
  std::vector<std::pair<int, std::string>> problems;
  char line[kMaxLineChars + 1];
  int physicalLine = 0;
  bool atLineStart = true;
  run_.LinesTotal = 0;
  while (std::fgets(line, static_cast<int>(sizeof line), run_.RufFile) != nullptr) {
    const std::string_view text(line, std::strlen(line));
    if (atLineStart) physicalLine += 1;
    const bool startsLine = atLineStart;
    atLineStart = !text.empty() && text.back() == '\n';
    if (IsDataLine(text)) run_.LinesTotal += 1;
    if (!checkRecords) continue;
    if (!startsLine && !text.empty() && (text[0] == ':' || text[0] == 'S')) {
      problems.emplace_back(physicalLine, "is longer than 254 characters");
      continue;
    }
    if (auto problem = FindLineProblem(text)) problems.emplace_back(physicalLine, std::move(*problem));
  }
  CloseRufFile();

  char count[64];
  std::snprintf(count, sizeof count, " %d total data lines in file.", run_.LinesTotal);
  logs_.AppendLog(count);
  logs_.AppendLog("\r\n");
  if (problems.empty()) return true;

  logs_.AppendLog("\r\n The file is damaged, so nothing has been sent to the radio:\r\n");
  for (const auto& [number, problem] : problems) {
    logs_.AppendLog(" Line " + std::to_string(number) + " " + problem + "\r\n");
  }
  std::string message = "The update was not started: line " + std::to_string(problems.front().first) +
                        " of the file " + problems.front().second + ".";
  if (problems.size() > 1) {
    message += "\n\n" + std::to_string(problems.size()) + " lines are damaged; the log lists them all.";
  }
  message += "\n\nNothing has been sent to the radio. Get an undamaged copy of the file and try again.";
  window_.MessageBox(message);
  return false;
}

LineResult FlashEngine::PumpLines() {
  if (!RunActive()) return LineResult::WaitForRadio;  // nothing late resumes an ended run
  LineResult result = LineResult::NextLine;
  while (result == LineResult::NextLine) result = ProcessLine();
  if (result == LineResult::WaitForRadio) return result;

  run_.State = RunState::Ending;
  logs_.SetStatus(kProgressPane, "");
  run_.EndTime = clock_.NowSeconds();
  run_.ElapsedSeconds = static_cast<int>(run_.EndTime - run_.StartTime);
  char text[128];
  std::snprintf(text, sizeof text, "%d Lines Processed in %d Seconds\r\n", run_.LinesTotal, run_.ElapsedSeconds);
  logs_.AppendLog(text);
  std::snprintf(text, sizeof text, "%d Checksum Errors Encountered. Total time %d Seconds", run_.ChecksumErrors,
                run_.ElapsedSeconds);
  logs_.TraceNote("End of Processing", text);
  std::snprintf(text, sizeof text, "FailureFlag=%d Total Errors=%d", run_.FailureFlag, run_.ChecksumErrors);
  logs_.TraceNote("END OF ACTION", text);
  StopReplyTimer();
  CloseRun();
  if (run_.FailureFlag == 1 || run_.ChecksumErrors > 0) {
    ShowFailureResult();
  } else {
    ShowSuccessResult();
  }
  if (run_.State == RunState::Ending) run_.State = RunState::Idle;
  return LineResult::EndOfFile;
}

void FlashEngine::CloseRun() {
  run_.Busy = 0;
  logs_.CloseCommsLog();
  StopReplyTimer();
  window_.KillTimer(TIMER_VERSION);  // nothing of the run is left running
  logs_.AppendLog(" Close Communications Port\r\n");
  CloseRufFile();
  logs_.AppendLog(" Close File\r\n");
  run_.Busy = 0;
  link_.CloseForRun();
}

void FlashEngine::StopRun() {
  run_.State = RunState::Idle;
  StopReplyTimer();
  window_.KillTimer(TIMER_VERSION);
}

void FlashEngine::ShowSuccessResult() {
  if (run_.ResultDialogOpen != 0) return;
  run_.ResultDialogOpen = 1;
  logs_.SetStatus(kProgressPane, "");
  if (run_.IgnoreErrors == 1) {
    window_.ShowDialog(IDD_NOT_JUDGED);
  } else if (run_.Mode == RunMode::Program) {
    window_.ShowDialog(IDD_UPDATE_SUCCESS);
  } else if (run_.Mode == RunMode::Verify) {
    window_.ShowDialog(IDD_VERIFY_SUCCESS);
  }
  run_.ResultDialogOpen = 0;
}

void FlashEngine::ShowFailureResult() {
  if (run_.ResultDialogOpen != 0) return;
  run_.ResultDialogOpen = 1;
  logs_.SetStatus(kProgressPane, "");
  if (run_.IgnoreErrors == 1) {
    window_.ShowDialog(IDD_NOT_JUDGED);
    run_.ResultDialogOpen = 0;
    return;
  }
  if (run_.Mode == RunMode::Program) {
    window_.ShowDialog(IDD_UPDATE_FAILED);
  } else if (run_.Mode == RunMode::Verify) {
    window_.ShowDialog(IDD_VERIFY_FAILED);
  }
  run_.ResultDialogOpen = 0;
  run_.Busy = 0;
}

void FlashEngine::ShowCommError() {
  // The run is over: replies and expiries while the dialog is up change nothing.
  StopRun();
  logs_.SetStatus(kProgressPane, "");
  window_.WarningBeep();
  window_.ShowDialog(IDD_COMM_ERROR);
  run_.Busy = 0;
  logs_.SetStatus(kProgressPane, "");
}

void FlashEngine::SendToRadio(const std::uint8_t* data, std::size_t length) {
  logs_.TraceSent(HexTextLower(data, length));
  ArmReplyTimer();
  link_.Transmit(data, length);
}

void FlashEngine::SendText(std::string_view text) {
  SendToRadio(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

void FlashEngine::SendControlPacket(std::string_view packet) {
  run_.LastControlLength = std::min(packet.size(), sizeof run_.LastControlPacket);
  std::memcpy(run_.LastControlPacket, packet.data(), run_.LastControlLength);
  SendToRadio(run_.LastControlPacket, run_.LastControlLength);
}

}  // namespace flash
