#include "cli/radio_run.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "cli/console_window.h"
#include "qt_host/qt_event_loop.h"
#include "engine/flash_engine.h"
#include "link/framing/radio_links.h"
#include "link/os/system_clock.h"
#include "logs/logs.h"
#include "settings/settings.h"

namespace flash::cli {
namespace {

// SIGINT, SIGTERM and SIGHUP end the event loop through a pipe, so the run's
// files and the serial port are closed as at any other end. A second signal
// of the same kind takes its default action.
class InterruptWatch {
 public:
  explicit InterruptWatch(EventLoop& loop) : loop_(loop) {
    if (pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) {
      fds_[0] = fds_[1] = -1;
      return;
    }
    writeFd_ = fds_[1];
    struct sigaction action {};
    action.sa_handler = &InterruptWatch::OnSignal;
    action.sa_flags = static_cast<int>(SA_RESETHAND);
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &action, &previous_[i]);
    loop_.WatchReadable(fds_[0], [this] {
      char drain[16];
      while (read(fds_[0], drain, sizeof drain) > 0) {
      }
      interrupted_ = true;
      QCoreApplication::exit(0);
    });
  }
  ~InterruptWatch() {
    if (fds_[0] < 0) return;
    for (std::size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &previous_[i], nullptr);
    loop_.UnwatchReadable(fds_[0]);
    writeFd_ = -1;
    close(fds_[0]);
    close(fds_[1]);
  }
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  bool Interrupted() const { return interrupted_; }

 private:
  static constexpr std::array<int, 3> kSignals{SIGINT, SIGTERM, SIGHUP};

  static void OnSignal(int) {
    const int saved = errno;
    if (writeFd_ >= 0) {
      const char byte = 1;
      [[maybe_unused]] const auto written = write(writeFd_, &byte, 1);
    }
    errno = saved;
  }

  static inline volatile sig_atomic_t writeFd_ = -1;
  EventLoop& loop_;
  int fds_[2] = {-1, -1};
  std::array<struct sigaction, 3> previous_{};
  bool interrupted_ = false;
};

void WarnErrorCheckingOff(std::ostream& err) {
  err << "Warning: error checking is off. The radio's replies will not be checked, so\n"
         "whether the update succeeds cannot be judged: every packet is sent, whatever\n"
         "the radio answers. To have the replies checked, run again with --check-errors,\n"
         "or set STOP ON ERRORS=0 in the [SERIAL INTERFACE] section of update.ini\n"
         "(the graphical updater's Setup dialog does this with its \"Stop On Errors\" box).\n\n";
}

void ExplainVerifyNeedsChecking(std::ostream& err, int ignoreErrors) {
  err << kProgramName << ": verify needs error checking on, and it is off";
  if (ignoreErrors != 1) err << " (update.ini holds STOP ON ERRORS=" << ignoreErrors << ")";
  err << ".\nA verify run is judged by the radio's replies alone. Run again with --check-errors,\n"
         "or set STOP ON ERRORS=0 in the [SERIAL INTERFACE] section of update.ini.\n";
}

bool SaveAndConfirm(const CommSettings& settings, int ignoreErrors, std::ostream& out, std::ostream& err) {
  const std::string path = SettingsPath();
  SaveSettings(path, settings, ignoreErrors);
  // SaveSettings reports nothing: read the file back to tell the operator.
  CommSettings saved;
  int savedIgnoreErrors = -1;
  LoadSettings(path, saved, savedIgnoreErrors);
  if (saved == settings && savedIgnoreErrors == ignoreErrors) {
    out << "Settings saved to " << path << "\n";
    return true;
  }
  err << kProgramName << ": could not write the settings to " << path << "\n";
  return false;
}

}  // namespace

ExitStatus RunRadioCommand(const CliOptions& options, std::ostream& out, std::ostream& err, bool terminal) {
  const bool verifying = options.command == Command::Verify;
  CommSettings settings;
  int ignoreErrors = kDefaultIgnoreErrors;
  LoadSettings(settings, ignoreErrors);
  ApplyOptions(options, settings, ignoreErrors);

  SystemClock clock;
  QtEventLoop loop;
  ConsoleWindow window(out, err, terminal);
  Logs logs(window, clock);
  RadioLinks links(settings, loop, logs, window);
  RecordingLink link(links);
  FlashEngine engine(window, clock, logs, link);
  engine.Run().IgnoreErrors = ignoreErrors;

  const int command = verifying ? ID_VERIFY_PROGRAM : ID_UPDATE_RADIO;
  if (!engine.CommandEnabled(command)) {
    ExplainVerifyNeedsChecking(err, ignoreErrors);
    return ExitStatus::Usage;
  }

  std::error_code error;
  const std::filesystem::path file = std::filesystem::absolute(options.file, error);
  if (error || !std::filesystem::exists(file, error)) {
    err << kProgramName << ": " << options.file << ": no such file\n";
    return ExitStatus::FileUnusable;
  }
  if (!std::filesystem::is_regular_file(file, error)) {
    err << kProgramName << ": " << options.file << ": not a regular file\n";
    return ExitStatus::FileUnusable;
  }
  window.SetChosenFile(file.string());

  if (options.saveSettings) SaveAndConfirm(settings, ignoreErrors, out, err);
  if (ignoreErrors == 1) WarnErrorCheckingOff(err);
  err.flush();

  // The run has ended once it is idle again after any of its events.
  bool ended = false;
  const auto checkEnded = [&] {
    if (ended || engine.RunActive() || engine.Run().State != RunState::Idle) return;
    ended = true;
    QCoreApplication::exit(0);
  };
  links.SetReplyHandlers(
      [&](const std::uint8_t* data, std::uint8_t count) {
        engine.ParseRadioReply(data, count);
        checkEnded();
      },
      [&] { engine.StopVersionTimer(); });
  links.SetLinkLostHandler([&](const std::string& reason) {
    engine.OnLinkLost(reason);
    checkEnded();
  });
  window.SetTimerHandler([&](int timerId) {
    engine.OnTimer(timerId);
    checkEnded();
  });
  InterruptWatch interrupt(loop);
  loop.Post([&] {
    engine.OnCommand(command);
    checkEnded();
  });
  QCoreApplication::exec();

  RunOutcome outcome;
  outcome.dialog = window.ShownDialog();
  outcome.messageBoxes = window.MessageBoxes();
  outcome.linkOpenFailed = link.OpenFailed();
  outcome.interrupted = interrupt.Interrupted() && !ended;
  if (outcome.interrupted && logs.CommsLogOpen()) logs.TraceNote(kProgramName, "Interrupted by a signal");

  window.EndCurrentLine();
  const ExitStatus status = ExitStatusFor(outcome);
  std::ostream& verdict = status == ExitStatus::Success ? out : err;
  verdict << kProgramName << ": " << DescribeExitStatus(status, verifying) << " (exit status " << ToInt(status)
          << ")\n";
  verdict.flush();
  return status;
}

}  // namespace flash::cli
