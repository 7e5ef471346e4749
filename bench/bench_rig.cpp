#include "bench_rig.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

namespace flash::bench {

// ---- BenchHost ----

void BenchHost::SetTimer(int timerId, int milliseconds) {
  Timer* free = nullptr;
  for (Timer& timer : timers_) {
    if (timer.running && timer.id == timerId) {
      timer.periodMs = milliseconds;
      return;
    }
    if (!timer.running && free == nullptr) free = &timer;
  }
  if (free != nullptr) *free = Timer{timerId, milliseconds, true};
}

void BenchHost::KillTimer(int timerId) {
  for (Timer& timer : timers_) {
    if (timer.id == timerId) timer.running = false;
  }
}

bool BenchHost::TimerRunning(int timerId) const {
  for (const Timer& timer : timers_) {
    if (timer.running && timer.id == timerId) return true;
  }
  return false;
}

void BenchHost::SetStatusPane(int pane, const std::string& text) {
  // Assignment reuses the pane's storage: the panes do not grow with the file.
  if (pane >= 0 && pane < 3) statusPanes[static_cast<std::size_t>(pane)] = text;
}

std::optional<std::string> BenchHost::ChooseOpenFile(const OpenFileRequest&) { return fileToChoose; }

void BenchHost::MessageBox(const std::string&) { ++messageBoxes; }

void BenchHost::ShowDialog(int resourceId) {
  lastDialog = resourceId;
  ++dialogs;
}

// ---- InstantRadio ----

void InstantRadio::Transmit(const std::uint8_t* data, std::size_t length) {
  ++packets;
  const std::string_view packet(reinterpret_cast<const char*>(data), length);
  if (queued_ == kQueueSize) {
    overflowed = true;
    return;
  }
  Reply& reply = queue_[(head_ + queued_) % kQueueSize];
  int written = 0;
  if (packet == "?V\r") {
    written = std::snprintf(reply.text.data(), reply.text.size(), "VER 2101\r");
  } else if (packet == "XX\r" || packet == "ZZ\r") {
    written = std::snprintf(reply.text.data(), reply.text.size(), "READY\r");
  } else if (length >= 3 && data[length - 1] == 0x0D) {
    written = std::snprintf(reply.text.data(), reply.text.size(), ":%02X\r", unsigned{data[length - 2]});
  } else {
    ++unanswered;
    return;
  }
  reply.length = static_cast<std::size_t>(written);
  ++queued_;
}

bool InstantRadio::DeliverNext() {
  if (queued_ == 0 || engine_ == nullptr) return false;
  // Copied out first: the parser sends the next packet, which queues its own reply.
  const Reply reply = queue_[head_];
  head_ = (head_ + 1) % kQueueSize;
  --queued_;
  engine_->StopVersionTimer();
  engine_->ParseRadioReply(std::string_view(reply.text.data(), reply.length));
  return true;
}

// ---- The generated file ----

namespace {

void PutHexByte(std::string& line, unsigned value, unsigned& sum) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  line.push_back(kDigits[(value >> 4) & 0x0F]);
  line.push_back(kDigits[value & 0x0F]);
  sum += value;
}

void PutRecord(std::FILE* file, unsigned type, unsigned address, const unsigned char* bytes, unsigned count) {
  std::string line = ":";
  unsigned sum = 0;
  PutHexByte(line, count, sum);
  PutHexByte(line, (address >> 8) & 0xFF, sum);
  PutHexByte(line, address & 0xFF, sum);
  PutHexByte(line, type, sum);
  for (unsigned i = 0; i < count; ++i) PutHexByte(line, bytes[i], sum);
  unsigned ignored = 0;
  PutHexByte(line, (0x100 - (sum & 0xFF)) & 0xFF, ignored);
  line.append("\r\n");
  std::fwrite(line.data(), 1, line.size(), file);
}

}  // namespace

bool WriteHexFile(const std::string& path, int lines) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  std::uint32_t seed = 0x2468ACE1U;  // fixed data, so every run sends the same bytes
  int written = 0;
  int data = 0;
  while (written < lines - 1) {
    if (data % 4096 == 0) {
      const unsigned segment = static_cast<unsigned>(data / 4096 * 0x1000) & 0xFFFF;
      const unsigned char bytes[2] = {static_cast<unsigned char>(segment >> 8),
                                      static_cast<unsigned char>(segment & 0xFF)};
      PutRecord(file, 0x02, 0, bytes, 2);
      ++written;
      if (written == lines - 1) break;
    }
    unsigned char bytes[16];
    for (unsigned char& byte : bytes) {
      seed = seed * 1664525U + 1013904223U;
      byte = static_cast<unsigned char>(seed >> 24);
    }
    PutRecord(file, 0x00, static_cast<unsigned>(data % 4096) * 16, bytes, 16);
    ++data;
    ++written;
  }
  PutRecord(file, 0x01, 0, nullptr, 0);
  return std::fclose(file) == 0;
}

// ---- ScratchDir ----

ScratchDir::ScratchDir() {
  std::error_code error;
  std::string pattern = (std::filesystem::temp_directory_path(error) / "flash-bench-XXXXXX").string();
  if (error || ::mkdtemp(pattern.data()) == nullptr) return;
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  if (path_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

// ---- ProgramRig ----

ProgramRig::ProgramRig(std::string commsLogPath)
    : logs_(host_, clock_, std::move(commsLogPath)), engine_(host_, clock_, logs_, radio_) {
  radio_.Attach(engine_);
}

RunOutcome ProgramRig::Run(const std::string& rufPath, int expectedLines) {
  RunOutcome outcome;
  host_.fileToChoose = rufPath;
  host_.dialogs = 0;
  host_.lastDialog = 0;
  host_.messageBoxes = 0;
  const std::int64_t packetsBefore = radio_.packets;

  engine_.OnCommand(ID_UPDATE_RADIO);
  // The host's loop: one reply at a time, each after the send that caused it has returned.
  while (radio_.DeliverNext()) {
  }

  outcome.packets = radio_.packets - packetsBefore;
  outcome.logTextChars = logs_.LogText().size();
  const FlashRun& run = engine_.Run();
  // Every line but the end-of-file record sends a packet, and "?V\r" and "XX\r" go first.
  const std::int64_t expectedPackets = expectedLines - 1 + 2;
  if (radio_.overflowed || radio_.unanswered != 0) {
    outcome.problem = "the radio was sent packets it could not answer";
  } else if (engine_.RunActive()) {
    outcome.problem = "the run stopped waiting for a reply";
  } else if (host_.messageBoxes != 0) {
    outcome.problem = "the engine showed a message box";
  } else if (host_.dialogs != 1 || host_.lastDialog != IDD_UPDATE_SUCCESS) {
    outcome.problem = "the run did not end with the update success dialog";
  } else if (run.ChecksumErrors != 0 || run.FailureFlag != 0) {
    outcome.problem = "the run counted errors";
  } else if (run.LinesTotal != expectedLines) {
    outcome.problem = "the engine counted " + std::to_string(run.LinesTotal) + " data lines, not " +
                      std::to_string(expectedLines);
  } else if (outcome.packets != expectedPackets) {
    outcome.problem = "the engine sent " + std::to_string(outcome.packets) + " packets, not " +
                      std::to_string(expectedPackets);
  } else {
    outcome.ok = true;
  }
  return outcome;
}

// ---- Pause and memory ----

void PauseLikeTheEncoder() {
  volatile int countdown = 50000;
  while (countdown > 0) {
    const int left = countdown;
    countdown = left - 1;
  }
}

ProcessMemory ReadProcessMemory() {
  ProcessMemory memory;
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return memory;
  char line[256];
  while (std::fgets(line, sizeof line, status) != nullptr) {
    long value = 0;
    if (std::sscanf(line, "VmRSS: %ld kB", &value) == 1) memory.rssKb = value;
    if (std::sscanf(line, "VmHWM: %ld kB", &value) == 1) memory.hwmKb = value;
  }
  std::fclose(status);
  return memory;
}

}  // namespace flash::bench
