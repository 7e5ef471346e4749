// Cutting the serial byte stream into packets, and naming datagrams.

#include <gtest/gtest.h>

#include "packets.h"
#include "radio-sim/packet_framer.h"

namespace flash::radio_sim {
namespace {

using test::Bytes;
using test::Concat;
using test::Text;

struct Expected {
  Bytes bytes;
  PacketKind kind;
};

// One of every kind; the binary ones carry 0x0D in their length, address and data fields.
std::vector<Expected> EveryKind() {
  return {
      {Text("?V\r"), PacketKind::Query},
      {Text("ZZ\r"), PacketKind::Acknowledge},
      {test::DataPacket('B', 0x0D0D, {0x0D, 0x0D, 0x01, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D}), PacketKind::Program},
      {test::DataPacket('V', 0x0100, {0x0D, 0x42, 0x0D}), PacketKind::Verify},
      {test::DataPacket(0x99, 0x0200, {0xFF}), PacketKind::Testing},
      {test::SegmentPacket(0x0D0D), PacketKind::Segment},
      {test::SRecordPacket(0x00000D0D, 4, {0x0D, 0x53, 0x0D}), PacketKind::SRecord},
      {test::ErasePacket(0x0D, 0x0D, 0x0D), PacketKind::Erase},
      {test::GoPacket(0x0D, 0x00, 0x0D, 0x45), PacketKind::Go},
      {Text("UNLOCKBOOT\r"), PacketKind::Unlock},
      {Text("XX\r"), PacketKind::Acknowledge},
      {Text("MODE 3\r"), PacketKind::PassThrough},
      {Text("\n\r"), PacketKind::PassThrough},
      {Text("Bad Text\r"), PacketKind::PassThrough},
      {Text("ERASE\r"), PacketKind::PassThrough},  // an 'E' whose checksum fails is text
      {Bytes{0x01, 0x02, 0x0D}, PacketKind::Unknown},
  };
}

std::vector<Expected> Drain(PacketFramer& framer) {
  std::vector<Expected> units;
  while (auto unit = framer.Next()) units.push_back({unit->bytes, unit->kind});
  return units;
}

void ExpectUnits(const std::vector<Expected>& got, const std::vector<Expected>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(got[i].bytes, want[i].bytes) << "unit " << i;
    EXPECT_EQ(got[i].kind, want[i].kind) << "unit " << i << " " << KindName(got[i].kind);
  }
}

TEST(RadioSimFraming, EveryKindInOneStreamCutAtAnyPoint) {
  const std::vector<Expected> want = EveryKind();
  Bytes stream;
  for (const Expected& e : want) stream.insert(stream.end(), e.bytes.begin(), e.bytes.end());

  for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
    PacketFramer framer;
    framer.Feed(std::span(stream).first(cut));
    std::vector<Expected> got = Drain(framer);
    framer.Feed(std::span(stream).subspan(cut));
    for (Expected& e : Drain(framer)) got.push_back(std::move(e));
    SCOPED_TRACE("cut at " + std::to_string(cut));
    ExpectUnits(got, want);
    EXPECT_FALSE(framer.HasPartial());
  }
}

TEST(RadioSimFraming, ByteByByteGivesTheSameUnits) {
  const std::vector<Expected> want = EveryKind();
  PacketFramer framer;
  std::vector<Expected> got;
  for (const Expected& e : want) {
    for (std::uint8_t byte : e.bytes) {
      framer.Feed(std::span(&byte, 1));
      for (Expected& unit : Drain(framer)) got.push_back(std::move(unit));
    }
  }
  ExpectUnits(got, want);
}

TEST(RadioSimFraming, BrokenPacketFallsBackToTextAndTheStreamRecovers) {
  Bytes broken = test::DataPacket('B', 0x0010, {0x11, 0x22});
  broken.back() = 0x00;  // terminator lost
  const Bytes next = test::DataPacket('B', 0x0012, {0x33});
  PacketFramer framer;
  framer.Feed(Concat({broken, Text("\r"), next}));
  ExpectUnits(Drain(framer), {{Concat({broken, Text("\r")}), PacketKind::Unknown}, {next, PacketKind::Program}});
}

TEST(RadioSimFraming, QuietLineCutsTextThatClaimsAnSRecordLength) {
  // "S" then 'E' (0x45) reads as an S-record of 72 bytes; the data packet behind
  // it waits for an answer, so nothing more comes until the line is cut.
  const Bytes packet = test::DataPacket('B', 0x0000, {0xAA});
  PacketFramer framer;
  framer.Feed(Concat({Text("SET FOO\r\n"), Text("\r"), packet}));
  EXPECT_TRUE(Drain(framer).empty());
  ASSERT_TRUE(framer.HasPartial());

  std::vector<Expected> got;
  const auto flushed = framer.Flush();
  ASSERT_TRUE(flushed.has_value());
  got.push_back({flushed->bytes, flushed->kind});
  for (Expected& e : Drain(framer)) got.push_back(std::move(e));
  ExpectUnits(got, {{Text("SET FOO\r"), PacketKind::PassThrough},
                    {Text("\n\r"), PacketKind::PassThrough},
                    {packet, PacketKind::Program}});
}

TEST(RadioSimFraming, QuietLineDropsBytesWithoutCarriageReturnAsFragment) {
  PacketFramer framer;
  framer.Feed(Bytes{'B', 0x10, 0x00});
  EXPECT_FALSE(framer.Next().has_value());
  const auto unit = framer.Flush();
  ASSERT_TRUE(unit.has_value());
  EXPECT_EQ(unit->kind, PacketKind::Fragment);
  EXPECT_EQ(unit->bytes.size(), 3U);
  EXPECT_FALSE(framer.HasPartial());
}

TEST(RadioSimFraming, EndlessTextIsCutAtTheUnitLimit) {
  PacketFramer framer;
  framer.Feed(Bytes(PacketFramer::kMaxUnit + 10, 'x'));
  const auto unit = framer.Next();
  ASSERT_TRUE(unit.has_value());
  EXPECT_EQ(unit->kind, PacketKind::Fragment);
  EXPECT_EQ(unit->bytes.size(), PacketFramer::kMaxUnit);
  EXPECT_FALSE(framer.Next().has_value());
}

TEST(RadioSimFraming, DatagramsAreNamedWhole) {
  const std::vector<Expected> table = {
      {Text("?V\r"), PacketKind::Query},
      {test::DataPacket('B', 0, {0x0D}), PacketKind::Program},
      {test::SRecordPacket(0x1000, 4, {1, 2}), PacketKind::SRecord},
      {Text("SET FOO\r\n"), PacketKind::PassThrough},  // ends in LF on UDP
      {Text("\r"), PacketKind::PassThrough},
      {Concat({test::DataPacket('B', 0, {1}), Text("\r")}), PacketKind::Unknown},  // one byte too many
      {Bytes{'B', 0x01, 0x00}, PacketKind::Unknown},
      {Bytes{}, PacketKind::Unknown},
      {Text("?V"), PacketKind::PassThrough},
  };
  for (const Expected& e : table) {
    EXPECT_EQ(ClassifyUnit(e.bytes), e.kind) << KindName(e.kind);
  }
}

}  // namespace
}  // namespace flash::radio_sim
