#include "fuzz_targets.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "engine/flash_engine.h"
#include "engine/ruf_record.h"
#include "logs/logs.h"
#include "scripted_radio.h"
#include "test_host.h"

namespace flash::testing {
namespace {

// Long enough for forty seconds of repeats on every line of a small file.
constexpr std::int64_t kPatienceMs = 60LL * 60 * 1000;

struct Rig {
  Rig() {
    host.onTimer = [this](int id) { engine.OnTimer(id); };
    radio.Attach(engine);
  }
  TestHost host;
  Logs logs{host, host, "/dev/null"};
  ScriptedRadio radio{host};
  FlashEngine engine{host, host, logs, radio};

  // Streams the file from memory as a run whose model has matched.
  void Stream(RunMode mode, const std::uint8_t* data, std::size_t size) {
    FlashRun& run = engine.Run();
    run.Mode = mode;
    run.RufFile = size == 0 ? nullptr : ::fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    run.State = RunState::VersionQuery;
    run.ModelMatched = true;
    run.Busy = 1;
    engine.PumpLines();
  }

  // Every run ends: the engine never waits without a timer.
  bool RunsToAnEnd() {
    for (std::int64_t t = 0; t < kPatienceMs && engine.RunActive(); t += 1000) host.Advance(1000);
    return !engine.RunActive();
  }
};

}  // namespace

bool FuzzRecordLines(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::size_t start = 0;
  while (start < text.size()) {
    const auto end = std::min(text.find('\n', start), text.size());
    const std::string_view line = text.substr(start, end - start + (end < text.size() ? 1 : 0));
    for (const std::string_view piece : {line, line.substr(0, std::min<std::size_t>(line.size(), kMaxLineChars))}) {
      if (!piece.empty() && piece[0] == ':') {
        const DecodedRecord record = DecodeIntelHex(piece);
        if (record.byteCount > record.bytes.size()) return false;
      }
      if (!piece.empty() && piece[0] == 'S') {
        const DecodedRecord record = DecodeSRecord(piece);
        if (record.byteCount > record.bytes.size()) return false;
      }
      FindLineProblem(piece);
      IsDataLine(piece);
    }
    start = end + 1;
  }
  return true;
}

bool FuzzRufFile(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return true;
  static constexpr RunMode kModes[] = {RunMode::Program, RunMode::Verify, RunMode::Testing};
  Rig rig;
  rig.Stream(kModes[data[0] % 3], data + 1, size - 1);
  return rig.RunsToAnEnd();
}

bool FuzzReplies(const std::uint8_t* data, std::size_t size) {
  static const std::string kFile =
      ":020000021000EC\r\n"
      ":10010000214601360121470136007EFE09D2190140\r\n"
      "#E000000\r\n"
      ":100110002146017E17C20001FF5F16002148011928\r\n";
  Rig rig;
  rig.radio.responder = nullptr;  // the fuzz input is all the radio says
  rig.engine.Run().IgnoreErrors = size > 0 ? data[0] % 3 : 0;
  rig.Stream(RunMode::Program, reinterpret_cast<const std::uint8_t*>(kFile.data()), kFile.size());
  std::size_t start = size > 0 ? 1 : 0;
  for (std::size_t i = start; i <= size; ++i) {
    if (i == size || data[i] == 0x0D) {
      const std::size_t count = std::min<std::size_t>(i - start + (i < size ? 1 : 0), 255);
      rig.engine.StopVersionTimer();
      rig.engine.ParseRadioReply(data + start, static_cast<std::uint8_t>(count));
      rig.host.Advance(1);
      start = i + 1;
    }
  }
  return rig.RunsToAnEnd();
}

}  // namespace flash::testing
