#include "cli/console_window.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "engine/result_dialogs.h"
#include "logs/logs.h"

namespace flash::cli {
namespace {

double SteadyNow() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Clears the terminal line the cursor is on and returns to its start.
constexpr const char* kEraseLine = "\r\033[K";

}  // namespace

std::string ConsoleText(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\r') continue;
    if (c == '\n' || c == '\t' || (byte >= 0x20 && byte != 0x7F)) {
      result.push_back(c);
    } else {
      result.push_back('?');
    }
  }
  return result;
}

ConsoleWindow::ConsoleWindow(std::ostream& out, std::ostream& err, bool terminal, SteadySeconds now)
    : out_(out), err_(err), terminal_(terminal), now_(now ? std::move(now) : SteadySeconds(SteadyNow)) {}

ConsoleWindow::~ConsoleWindow() = default;

void ConsoleWindow::SetTimer(int timerId, int milliseconds) { timers_.Set(timerId, milliseconds); }

void ConsoleWindow::KillTimer(int timerId) { timers_.Kill(timerId); }

bool ConsoleWindow::TimerRunning(int timerId) const { return timers_.Running(timerId); }

void ConsoleWindow::SetLogPaneText(const std::string& text) {
  // The pane is handed the whole log each time: write only what is new. A log
  // that was emptied, shortened or replaced is written afresh from its start.
  const bool continues = text.size() >= shownLog_.size() &&
                         std::memcmp(text.data(), shownLog_.data(), shownLog_.size()) == 0;
  const std::string_view fresh = continues ? std::string_view(text).substr(shownLog_.size()) : std::string_view(text);
  shownLog_ = text;
  if (fresh.empty()) return;
  WriteLogText(ConsoleText(fresh));
}

void ConsoleWindow::WriteLogText(std::string_view text) {
  if (text.empty()) return;
  EraseBar();
  out_ << text;
  logAtLineStart_ = text.back() == '\n';
  // The bar comes back once the log has finished its line.
  if (logAtLineStart_) DrawBar();
  out_.flush();
}

void ConsoleWindow::EraseBar() {
  if (!barShown_) return;
  out_ << kEraseLine;
  barShown_ = false;
}

void ConsoleWindow::DrawBar() {
  if (!terminal_ || !progress_) return;
  if (!logAtLineStart_) {
    out_ << '\n';
    logAtLineStart_ = true;
  }
  out_ << kEraseLine << FormatProgressBar(*progress_, meter_.Rate());
  barShown_ = true;
}

void ConsoleWindow::EndCurrentLine() {
  EraseBar();
  if (!logAtLineStart_) {
    out_ << '\n';
    logAtLineStart_ = true;
  }
  out_.flush();
}

void ConsoleWindow::ShowProgress(const LineProgress& progress) {
  if (!progress_) meter_.Reset();
  progress_ = progress;
  meter_.Observe(progress, now_());
  if (terminal_) {
    DrawBar();
  } else if (meter_.WantsPlainLine()) {
    if (!logAtLineStart_) out_ << '\n';
    out_ << "Progress: " << FormatProgressText(progress, meter_.Rate()) << '\n';
    logAtLineStart_ = true;
  }
  out_.flush();
}

void ConsoleWindow::SetStatusPane(int pane, const std::string& text) {
  if (pane == kProgressPane) {
    if (const auto progress = ParseProgressText(text)) {
      ShowProgress(*progress);
      return;
    }
    // Any other text ends the progress display (the engine empties the pane
    // when the file is done and around the communication-failure dialog).
    EraseBar();
    progress_.reset();
    if (text.find_first_not_of(' ') != std::string::npos) {
      EndCurrentLine();
      out_ << ConsoleText(text) << '\n';
    }
    out_.flush();
    return;
  }
  if (pane == kModelPane && !text.empty() && text != radioModel_) {
    // The model the radio reported: the log does not say it.
    radioModel_ = text;
    EndCurrentLine();
    out_ << " Radio: " << ConsoleText(text) << '\n';
    DrawBar();
    out_.flush();
  }
  // Pane 2 repeats what the log says (the mode, an unknown radio's version).
}

std::optional<std::string> ConsoleWindow::ChooseOpenFile(const OpenFileRequest&) { return chosenFile_; }

void ConsoleWindow::MessageBox(const std::string& text) {
  messageBoxes_.push_back(text);
  EndCurrentLine();
  err_ << ConsoleText(text) << '\n';
  err_.flush();
  DrawBar();
  out_.flush();
}

void ConsoleWindow::ShowDialog(int resourceId) {
  shownDialog_ = resourceId;
  EndCurrentLine();
  if (const auto dialog = FindResultDialog(resourceId)) {
    out_ << "\n[" << dialog->caption << "]\n" << ConsoleText(dialog->text) << "\n\n";
  } else {
    out_ << "\n[Dialog " << resourceId << "]\n\n";
  }
  DrawBar();
  out_.flush();
}

void ConsoleWindow::WarningBeep() {
  if (!terminal_) return;
  out_ << '\a';
  out_.flush();
}

}  // namespace flash::cli
