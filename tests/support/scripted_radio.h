#pragma once
// A radio for engine tests: records every byte string the engine hands to the
// link and answers each packet with a reply chosen by a script, delivered a
// moment later through the test host's clock, the way the serial path does.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/flash_engine.h"
#include "engine/radio_link.h"
#include "test_host.h"

namespace flash::testing {

struct SentPacket {
  std::int64_t atMs;
  std::vector<std::uint8_t> bytes;
  std::string Text() const { return std::string(bytes.begin(), bytes.end()); }
};

class ScriptedRadio : public RadioLink {
 public:
  // Chooses the reply to a packet (index counts packets from 0); nothing: silence.
  using Responder = std::function<std::optional<std::string>(const std::vector<std::uint8_t>& packet, std::size_t index)>;

  explicit ScriptedRadio(TestHost& host) : host_(host) {}
  void Attach(FlashEngine& engine) { engine_ = &engine; }

  // The replies of a radio that works: the version reply for the model, READY
  // after an acknowledge, the right checksum echo for every record.
  static std::optional<std::string> CorrectReply(const std::vector<std::uint8_t>& packet, int model);
  static Responder CorrectRadio(int model);

  // Hands a reply to the engine as the serial path does: TIMER_VERSION stops, then the parser runs.
  void Deliver(const std::string& reply);

  bool OpenForRun() override;
  void Transmit(const std::uint8_t* data, std::size_t length) override;
  void PurgeSerial() override { ++purges; }
  void CloseForRun() override { ++closes; }

  // Packets whose first byte is the given one.
  std::vector<SentPacket> SentStartingWith(std::uint8_t first) const;

  Responder responder = CorrectRadio(710);
  std::int64_t replyDelayMs = 1;
  bool openResult = true;
  std::vector<SentPacket> sent;
  int opens = 0;
  int purges = 0;
  int closes = 0;

 private:
  TestHost& host_;
  FlashEngine* engine_ = nullptr;
};

}  // namespace flash::testing
