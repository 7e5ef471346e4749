#include "radio-sim/simulated_radio.h"

#include <cstdio>
#include <utility>

namespace flash::radio_sim {

namespace {

std::vector<std::uint8_t> TextBytes(std::string_view text) {
  return {text.begin(), text.end()};
}

// ':' and the checksum as two upper-case hex digits, then '\r'.
std::vector<std::uint8_t> Echo(std::uint8_t checksum) {
  char text[8];
  std::snprintf(text, sizeof text, ":%02X\r", static_cast<unsigned>(checksum));
  return TextBytes(text);
}

std::uint8_t WrongEcho(std::uint8_t checksum) { return static_cast<std::uint8_t>(checksum + 1U); }

std::uint8_t TwosComplement(unsigned sum) { return static_cast<std::uint8_t>((0x100U - (sum & 0xFFU)) & 0xFFU); }
std::uint8_t OnesComplement(unsigned sum) { return static_cast<std::uint8_t>(~sum & 0xFFU); }

unsigned Sum(std::span<const std::uint8_t> bytes) {
  unsigned sum = 0;
  for (std::uint8_t b : bytes) sum += b;
  return sum;
}

Action Pause(std::chrono::milliseconds time) { return {Action::Kind::Pause, time, {}}; }
Action Write(std::vector<std::uint8_t> bytes) { return {Action::Kind::Write, {}, std::move(bytes)}; }

}  // namespace

SimulatedRadio::SimulatedRadio(RadioConfig config)
    : config_(std::move(config)), flash_(config_.flashSize) {}

bool SimulatedRadio::LimitReached() const {
  return config_.maxPackets.has_value() && packetCount_ >= *config_.maxPackets;
}

std::string SimulatedRadio::VersionReply() const {
  char text[40];
  if (config_.shortVersion) {
    std::snprintf(text, sizeof text, "VER %04d\r", config_.dspVersion);
  } else {
    std::snprintf(text, sizeof text, "VER %04d %d\r", config_.dspVersion, config_.modelCode);
  }
  return text;
}

std::vector<Action> SimulatedRadio::OnSerialBytes(std::span<const std::uint8_t> bytes) {
  std::vector<Action> actions;
  framer_.Feed(bytes);
  while (auto unit = framer_.Next()) Process(*unit, actions);
  return actions;
}

std::vector<Action> SimulatedRadio::OnSerialIdle() {
  std::vector<Action> actions;
  if (auto unit = framer_.Flush()) Process(*unit, actions);
  while (auto unit = framer_.Next()) Process(*unit, actions);
  return actions;
}

std::vector<Action> SimulatedRadio::OnDatagram(std::span<const std::uint8_t> datagram) {
  std::vector<Action> actions;
  if (hungUp_ || LimitReached()) return actions;
  const bool prefixed = datagram.size() >= 2 && datagram[0] == (config_.passcode >> 8U) &&
                        datagram[1] == (config_.passcode & 0xFFU);
  if (!prefixed) {
    TranscriptEntry entry;
    entry.kind = "rejected";
    entry.bytes.assign(datagram.begin(), datagram.end());
    entry.notes.push_back("wrong passcode");
    transcript_.Add(std::move(entry));
    return actions;
  }
  FramedUnit unit;
  unit.bytes.assign(datagram.begin() + 2, datagram.end());
  unit.kind = ClassifyUnit(unit.bytes);
  Process(unit, actions);
  return actions;
}

bool SimulatedRadio::BadEchoFor(std::uint64_t index) const {
  for (const FaultPlan::EchoRun& run : config_.faults.badEcho) {
    if (index >= run.first && index - run.first < run.count) return true;
  }
  return false;
}

void SimulatedRadio::Process(const FramedUnit& unit, std::vector<Action>& actions) {
  if (hungUp_ || LimitReached()) return;
  const std::uint64_t index = ++packetCount_;
  const FaultPlan& faults = config_.faults;

  Answer answer = AnswerPacket(unit.kind, unit.bytes);
  TranscriptEntry entry;
  entry.index = index;
  entry.kind = KindName(unit.kind);
  entry.bytes = unit.bytes;
  if (!answer.note.empty()) entry.notes.push_back(answer.note);

  // The radio is busy for the erase time whether or not its reply gets out.
  if (unit.kind == PacketKind::Erase && config_.eraseTime.count() > 0) {
    actions.push_back(Pause(config_.eraseTime));
  }

  std::vector<std::uint8_t> reply = std::move(answer.reply);
  if (faults.silent) {
    if (!reply.empty()) entry.notes.push_back("silent");
    reply.clear();
  }
  if (!faults.silent && answer.echo.has_value() && BadEchoFor(index)) {
    reply = Echo(WrongEcho(*answer.echo));
    entry.notes.push_back("bad echo");
  }
  if (!reply.empty() && faults.drop.contains(index)) {
    reply.clear();
    entry.notes.push_back("dropped");
  }
  if (!faults.silent && faults.garbage.contains(index)) {
    reply.insert(reply.begin(), kGarbage.begin(), kGarbage.end());
    entry.notes.push_back("garbage");
  }

  if (!reply.empty()) {
    if (faults.delay.count() > 0) actions.push_back(Pause(faults.delay));
    const auto split = faults.split.find(index);
    if (split != faults.split.end() && reply.size() >= 2) {
      const auto half = static_cast<std::ptrdiff_t>(reply.size() / 2);
      actions.push_back(Write({reply.begin(), reply.begin() + half}));
      actions.push_back(Pause(split->second));
      actions.push_back(Write({reply.begin() + half, reply.end()}));
      entry.notes.push_back("split " + std::to_string(split->second.count()) + " ms");
    } else {
      actions.push_back(Write(reply));
    }
    if (faults.twice.contains(index)) {
      actions.push_back(Write(reply));
      entry.notes.push_back("twice");
    }
    entry.replied = true;
    entry.reply = std::move(reply);
  }

  if (faults.hangupAfter == index) {
    actions.push_back({Action::Kind::HangUp, {}, {}});
    entry.notes.push_back("hang-up");
    hungUp_ = true;
  }
  transcript_.Add(std::move(entry));
}

SimulatedRadio::Answer SimulatedRadio::EchoAnswer(std::uint8_t value, std::string note) {
  return {Echo(value), value, std::move(note)};
}

SimulatedRadio::Answer SimulatedRadio::AnswerPacket(PacketKind kind,
                                                    std::span<const std::uint8_t> packet) {
  switch (kind) {
    case PacketKind::Query:
      return {TextBytes(VersionReply()), std::nullopt, {}};
    case PacketKind::Acknowledge:
      return {TextBytes("READY\r"), std::nullopt, {}};
    case PacketKind::Program:
    case PacketKind::Verify:
    case PacketKind::Testing:
      return AnswerDataRecord(kind, packet);
    case PacketKind::Segment:
      return AnswerSegment(packet);
    case PacketKind::SRecord:
      return AnswerSRecord(packet);
    case PacketKind::Erase:
      flash_.Erase();
      return {TextBytes("E\r"), std::nullopt, "flash erased"};
    case PacketKind::Go:
      return {TextBytes("G\r"), std::nullopt, {}};
    case PacketKind::Unlock:
    case PacketKind::PassThrough:
      return {};
    case PacketKind::Fragment:
      return {{}, std::nullopt, "incomplete packet"};
    case PacketKind::Unknown:
      break;
  }
  return {TextBytes("Z\r"), std::nullopt, "not understood"};
}

// mode, LL, addr hi, addr lo, 00, data, CC, 0x0D. The echo is computed over what
// arrived, so a packet damaged on the way is answered with a wrong echo.
SimulatedRadio::Answer SimulatedRadio::AnswerDataRecord(PacketKind kind,
                                                        std::span<const std::uint8_t> packet) {
  const std::size_t count = packet[1];
  const auto data = packet.subspan(5, count);
  const std::uint8_t checksum = TwosComplement(Sum(packet.subspan(1, count + 4)));
  const std::uint64_t address = std::uint64_t{segment_} * 16U + ((std::uint64_t{packet[2]} << 8U) | packet[3]);

  if (checksum != packet[5 + count]) return EchoAnswer(checksum, "checksum differs, ignored");
  if (!flash_.Contains(address, data.size())) return EchoAnswer(WrongEcho(checksum), "outside the flash");
  if (kind == PacketKind::Verify && !flash_.Matches(address, data)) {
    return EchoAnswer(WrongEcho(checksum), "differs from the flash");
  }
  if (kind == PacketKind::Program) flash_.Write(address, data);
  return EchoAnswer(checksum);
}

// 'A', 02, 00, 00, 02, segment hi, segment lo, CC, 0x0D. A damaged one would put
// every later record in the wrong place, so it is refused rather than acknowledged.
SimulatedRadio::Answer SimulatedRadio::AnswerSegment(std::span<const std::uint8_t> packet) {
  const std::size_t count = packet[1];
  if (TwosComplement(Sum(packet.subspan(1, count + 4))) != packet[5 + count]) {
    return {TextBytes("Z\r"), std::nullopt, "checksum differs, ignored"};
  }
  segment_ = (std::uint32_t{packet[5]} << 8U) | packet[6];
  return {TextBytes("A\r"), std::nullopt, {}};
}

// 'S', NN, address, data, CC, 0x0D: the type digit does not travel, so the
// address width is configured. A record with no data bytes (a termination
// record) is echoed and writes nothing.
SimulatedRadio::Answer SimulatedRadio::AnswerSRecord(std::span<const std::uint8_t> packet) {
  const std::size_t count = packet[1];
  const auto body = packet.subspan(2, count - 1);
  const std::uint8_t checksum = OnesComplement(packet[1] + Sum(body));
  if (checksum != packet[count + 1]) return EchoAnswer(checksum, "checksum differs, ignored");

  const auto width = static_cast<std::size_t>(config_.srecAddressBytes);
  if (body.size() <= width) return EchoAnswer(checksum, "no data");
  std::uint64_t address = 0;
  for (std::size_t i = 0; i < width; ++i) address = (address << 8U) | body[i];
  if (!flash_.Write(address, body.subspan(width))) return EchoAnswer(WrongEcho(checksum), "outside the flash");
  return EchoAnswer(checksum);
}

}  // namespace flash::radio_sim
