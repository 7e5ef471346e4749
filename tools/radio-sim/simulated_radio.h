#pragma once
// The radio's side of the update protocol, without any transport: bytes and
// datagrams go in, reply actions (write these bytes, pause, hang up) come out.
// It owns the flash memory, the fault plan and the transcript. Given the same
// input it gives the same actions every time; the transports add the clock.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "radio-sim/flash_memory.h"
#include "radio-sim/packet_framer.h"
#include "radio-sim/transcript.h"

namespace flash::radio_sim {

// Faults, each keyed by packet number (packets count from 1 in arrival order,
// "?V\r" and texts included; rejected datagrams are not packets).
struct FaultPlan {
  struct EchoRun {
    std::uint64_t first = 0;  // the packet whose echo goes wrong first
    std::uint64_t count = 0;  // packets first .. first + count - 1
  };

  bool silent = false;                                       // no reply at all, ever
  std::set<std::uint64_t> drop;                              // no reply to these packets
  std::vector<EchoRun> badEcho;                              // checksum echoes off by one
  std::set<std::uint64_t> garbage;                           // junk in front of the reply
  std::map<std::uint64_t, std::chrono::milliseconds> split;  // reply in two writes, pause between
  std::set<std::uint64_t> twice;                             // reply written twice
  std::chrono::milliseconds delay{0};                        // pause before every reply
  std::optional<std::uint64_t> hangupAfter;                  // hang up after this packet's reply
};

struct RadioConfig {
  std::size_t flashSize = std::size_t{1} << 20;
  int dspVersion = 2101;  // 0 .. 9999, four digits at offset 4 of the version reply
  int modelCode = 730;    // at offset 9 of the version reply
  bool shortVersion = false;  // "VER dddd\r" without a model code
  int srecAddressBytes = 4;   // address bytes of an 'S' packet: 2, 3 or 4
  std::chrono::milliseconds eraseTime{0};
  std::uint16_t passcode = 0;  // the prefix every datagram must carry
  std::optional<std::uint64_t> maxPackets;  // packets past this are ignored
  FaultPlan faults;
};

// The bytes that --garbage puts in front of a reply; no carriage return, so
// they land in the same chunk as the reply they spoil.
inline constexpr std::string_view kGarbage = "\x01\x02junk";

struct Action {
  enum class Kind : std::uint8_t { Pause, Write, HangUp };
  Kind kind = Kind::Write;
  std::chrono::milliseconds pause{0};
  std::vector<std::uint8_t> bytes;

  bool operator==(const Action&) const = default;
};

class SimulatedRadio {
 public:
  explicit SimulatedRadio(RadioConfig config);

  // Serial line: bytes as they arrive, in any pieces.
  std::vector<Action> OnSerialBytes(std::span<const std::uint8_t> bytes);
  // Serial line: quiet for a while with a packet still incomplete.
  std::vector<Action> OnSerialIdle();
  bool HasPartialPacket() const { return framer_.HasPartial(); }

  // UDP: one datagram, passcode prefix included.
  std::vector<Action> OnDatagram(std::span<const std::uint8_t> datagram);

  FlashMemory& Flash() { return flash_; }
  const FlashMemory& Flash() const { return flash_; }
  const Transcript& GetTranscript() const { return transcript_; }
  std::uint64_t PacketCount() const { return packetCount_; }
  bool LimitReached() const;
  bool HungUp() const { return hungUp_; }
  std::uint32_t Segment() const { return segment_; }

  // The reply to "?V\r".
  std::string VersionReply() const;

 private:
  struct Answer {
    std::vector<std::uint8_t> reply;
    std::optional<std::uint8_t> echo;  // the value of a checksum echo, which --bad-echo may spoil
    std::string note;
  };

  static Answer EchoAnswer(std::uint8_t value, std::string note = {});
  void Process(const FramedUnit& unit, std::vector<Action>& actions);
  Answer AnswerPacket(PacketKind kind, std::span<const std::uint8_t> packet);
  Answer AnswerDataRecord(PacketKind kind, std::span<const std::uint8_t> packet);
  Answer AnswerSegment(std::span<const std::uint8_t> packet);
  Answer AnswerSRecord(std::span<const std::uint8_t> packet);
  bool BadEchoFor(std::uint64_t index) const;

  RadioConfig config_;
  FlashMemory flash_;
  PacketFramer framer_;
  Transcript transcript_;
  std::uint32_t segment_ = 0;
  std::uint64_t packetCount_ = 0;
  bool hungUp_ = false;
};

}  // namespace flash::radio_sim
