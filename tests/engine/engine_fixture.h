#pragma once
// An engine wired to the test host, the scripted radio and a comms.txt in a
// temporary directory.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/flash_engine.h"
#include "logs/logs.h"
#include "scripted_radio.h"
#include "temp_dir.h"
#include "test_host.h"

namespace flash::testing {

class EngineFixture : public ::testing::Test {
 protected:
  EngineFixture() {
    host.onTimer = [this](int id) { engine.OnTimer(id); };
    radio.Attach(engine);
  }

  FlashRun& run() { return engine.Run(); }

  // Puts the engine in the middle of a run over the given file, so that
  // ProcessLine can be called line by line.
  void BeginStreaming(RunMode mode, const std::string& content) {
    const std::string path = dir.Write("710_test.ruf", content);
    run().Mode = mode;
    run().RufFile = std::fopen(path.c_str(), "rb");
    run().State = RunState::Streaming;
    run().LineReadThisRun = true;
    run().Busy = 1;
    logs.OpenCommsLog();
  }

  // Starts a run with a command over a file of the given name and content.
  void StartRun(int command, const std::string& content, const std::string& name = "710_test.ruf") {
    host.fileToChoose = dir.Write(name, content);
    engine.OnCommand(command);
  }

  // The packets sent, each as text.
  std::vector<std::string> SentTexts() const {
    std::vector<std::string> texts;
    for (const auto& packet : radio.sent) texts.push_back(packet.Text());
    return texts;
  }

  std::vector<std::string> CommsLines() const { return ReadCrLfLines(logs.CommsLogPath()); }

  // comms.txt lines without their time stamps ("13:05:09:0042").
  std::vector<std::string> CommsLinesUnstamped() const {
    std::vector<std::string> lines;
    for (const auto& line : CommsLines()) {
      const bool stamped = line.size() > 13 && line[2] == ':' && line[5] == ':' && line[8] == ':';
      lines.push_back(stamped ? line.substr(13) : line);
    }
    return lines;
  }

  TempDir dir;
  TestHost host;
  Logs logs{host, host, dir.File("comms.txt")};
  ScriptedRadio radio{host};
  FlashEngine engine{host, host, logs, radio};
};

// Bytes from a string of hexadecimal pairs separated by blanks: "42 10 0d".
std::vector<std::uint8_t> Bytes(const std::string& hex);

}  // namespace flash::testing
