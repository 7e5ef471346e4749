#include "scripted_radio.h"

#include <cstdio>

namespace flash::testing {

std::optional<std::string> ScriptedRadio::CorrectReply(const std::vector<std::uint8_t>& packet, int model) {
  const std::string text(packet.begin(), packet.end());
  if (text == "?V\r") return model == 710 ? std::string("VER 2101\r") : "VER 2101 " + std::to_string(model) + "\r";
  if (text == "XX\r" || text == "ZZ\r") return std::string("READY\r");
  if (packet.size() < 3 || packet.back() != 0x0D) return std::nullopt;
  switch (packet[0]) {
    case 'B':
    case 'V':
    case 0x99:
    case 'S': {
      char echo[8];
      std::snprintf(echo, sizeof echo, ":%02X\r", packet[packet.size() - 2]);
      return std::string(echo);
    }
    case 'A': return std::string("A\r");
    case 'E': return std::string("E\r");
    case 'G': return std::string("G\r");
    default: return std::nullopt;
  }
}

ScriptedRadio::Responder ScriptedRadio::CorrectRadio(int model) {
  return [model](const std::vector<std::uint8_t>& packet, std::size_t) { return CorrectReply(packet, model); };
}

void ScriptedRadio::Deliver(const std::string& reply) {
  engine_->StopVersionTimer();
  engine_->ParseRadioReply(reply);
}

bool ScriptedRadio::OpenForRun() {
  ++opens;
  return openResult;
}

void ScriptedRadio::Transmit(const std::uint8_t* data, std::size_t length) {
  sent.push_back(SentPacket{host_.NowMs(), std::vector<std::uint8_t>(data, data + length)});
  if (!responder) return;
  auto reply = responder(sent.back().bytes, sent.size() - 1);
  if (!reply) return;
  host_.Schedule(replyDelayMs, [this, text = *reply] { Deliver(text); });
}

std::vector<SentPacket> ScriptedRadio::SentStartingWith(std::uint8_t first) const {
  std::vector<SentPacket> matching;
  for (const auto& packet : sent) {
    if (!packet.bytes.empty() && packet.bytes[0] == first) matching.push_back(packet);
  }
  return matching;
}

}  // namespace flash::testing
