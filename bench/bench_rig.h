#pragma once
// What the engine benchmark drives: a window host with a plain event loop, an
// in-process radio that answers every packet at once, the generated RUF file,
// and one whole program run over it. Nothing here keeps a record that grows
// with the file, so the process's memory shows the engine's own.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/flash_engine.h"
#include "link/os/system_clock.h"
#include "logs/logs.h"
#include "services/window_services.h"

namespace flash::bench {

// A window without a window: timers are noted (an instant radio never lets
// one expire), the panes keep their last text, dialogs return at once.
class BenchHost final : public WindowServices {
 public:
  std::optional<std::string> fileToChoose;

  void SetTimer(int timerId, int milliseconds) override;
  void KillTimer(int timerId) override;
  void SetLogPaneText(const std::string& text) override { logPaneChars = text.size(); }
  void ShowLogPane() override {}
  void HideSplash() override {}
  void SetStatusPane(int pane, const std::string& text) override;
  std::optional<std::string> ChooseOpenFile(const OpenFileRequest& request) override;
  void MessageBox(const std::string& text) override;
  void ShowDialog(int resourceId) override;
  void WarningBeep() override {}

  bool TimerRunning(int timerId) const;

  std::size_t logPaneChars = 0;
  std::array<std::string, 3> statusPanes{};
  int lastDialog = 0;
  int dialogs = 0;
  int messageBoxes = 0;

 private:
  struct Timer {
    int id = 0;
    int periodMs = 0;
    bool running = false;
  };
  std::array<Timer, 4> timers_{};
};

// A radio on the far side of an instant link: it answers "?V\r" with
// "VER 2101\r", an acknowledge with "READY\r" and every data packet with the
// echo of its checksum byte. Replies wait in a small queue until the host's
// loop hands them to the engine, never from inside Transmit.
class InstantRadio final : public RadioLink {
 public:
  void Attach(FlashEngine& engine) { engine_ = &engine; }

  bool OpenForRun() override { return true; }
  void Transmit(const std::uint8_t* data, std::size_t length) override;
  void PurgeSerial() override {}
  void CloseForRun() override {}

  // Hands the oldest queued reply to the engine as the serial path does
  // (TIMER_VERSION stops, then the parser runs); false when none is queued.
  bool DeliverNext();

  std::int64_t packets = 0;
  std::int64_t unanswered = 0;  // packets this radio has no reply for
  bool overflowed = false;      // more replies queued than the queue holds

 private:
  struct Reply {
    std::array<char, 16> text{};
    std::size_t length = 0;
  };
  static constexpr std::size_t kQueueSize = 8;
  std::array<Reply, kQueueSize> queue_{};
  std::size_t head_ = 0;
  std::size_t queued_ = 0;
  FlashEngine* engine_ = nullptr;
};

// Writes the Intel HEX file the benchmark sends: 16-byte data records, an
// extended segment record before every 4096 data records, and the end-of-file
// record last; exactly `lines` lines in all. False when it cannot be written.
bool WriteHexFile(const std::string& path, int lines);

// A temporary directory, removed with what it holds.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  bool Ok() const { return !path_.empty(); }
  std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

struct RunOutcome {
  bool ok = false;
  std::string problem;      // why the run is not the expected success
  std::int64_t packets = 0; // packets the engine sent
  std::size_t logTextChars = 0;
};

// One engine with its logs, wired to the host, the instant radio and a
// comms.txt of its own.
class ProgramRig {
 public:
  explicit ProgramRig(std::string commsLogPath);
  // A whole "Update Radio" run over the file, driven until the engine is idle again.
  RunOutcome Run(const std::string& rufPath, int expectedLines);

 private:
  BenchHost host_;
  SystemClock clock_;
  Logs logs_;
  InstantRadio radio_;
  FlashEngine engine_;
};

// The engine's pause before each line, copied from the line encoder so that
// the benchmark can time the same loop in the same build.
void PauseLikeTheEncoder();

// VmRSS and VmHWM of this process in kB, from /proc/self/status; -1 if unreadable.
struct ProcessMemory {
  long rssKb = -1;
  long hwmKb = -1;
};
ProcessMemory ReadProcessMemory();

}  // namespace flash::bench
