// Each fault option's effect on the radio's reply actions.

#include <gtest/gtest.h>

#include "packets.h"
#include "radio-sim/simulated_radio.h"

namespace flash::radio_sim {
namespace {

using std::chrono::milliseconds;
using test::Bytes;
using test::Text;

Action W(std::string_view text) { return {Action::Kind::Write, {}, Bytes(text.begin(), text.end())}; }
Action P(int ms) { return {Action::Kind::Pause, milliseconds(ms), {}}; }
const Action kHangUp{Action::Kind::HangUp, {}, {}};

// The run every case sees: version query, a data record, its repeat, the acknowledge.
const Bytes kRecord = test::DataPacket('B', 0x0000, {0x01, 0x02, 0x03});  // checksum 0xF7
const std::vector<Bytes> kRun = {Text("?V\r"), kRecord, kRecord, Text("ZZ\r")};

struct FaultCase {
  std::string name;
  FaultPlan plan;
  std::vector<std::vector<Action>> actions;  // per packet of kRun
};

RadioConfig WithFaults(const FaultPlan& plan) {
  RadioConfig config;
  config.faults = plan;
  return config;
}

FaultPlan Plan(const std::function<void(FaultPlan&)>& set) {
  FaultPlan plan;
  set(plan);
  return plan;
}

std::vector<FaultCase> Cases() {
  const std::string junk(kGarbage);
  return {
      {"none", {}, {{W("VER 2101 730\r")}, {W(":F7\r")}, {W(":F7\r")}, {W("READY\r")}}},
      {"silent", Plan([](FaultPlan& p) { p.silent = true; }), {{}, {}, {}, {}}},
      {"drop", Plan([](FaultPlan& p) { p.drop = {2}; }),
       {{W("VER 2101 730\r")}, {}, {W(":F7\r")}, {W("READY\r")}}},
      {"bad echo on a record and its repeat", Plan([](FaultPlan& p) { p.badEcho = {{2, 2}}; }),
       {{W("VER 2101 730\r")}, {W(":F8\r")}, {W(":F8\r")}, {W("READY\r")}}},
      {"bad echo leaves replies that are not echoes", Plan([](FaultPlan& p) { p.badEcho = {{1, 1}, {4, 1}}; }),
       {{W("VER 2101 730\r")}, {W(":F7\r")}, {W(":F7\r")}, {W("READY\r")}}},
      {"garbage", Plan([](FaultPlan& p) { p.garbage = {2}; }),
       {{W("VER 2101 730\r")}, {W(junk + ":F7\r")}, {W(":F7\r")}, {W("READY\r")}}},
      {"garbage where the reply is dropped", Plan([](FaultPlan& p) { p.garbage = {2}; p.drop = {2}; }),
       {{W("VER 2101 730\r")}, {W(junk)}, {W(":F7\r")}, {W("READY\r")}}},
      {"split", Plan([](FaultPlan& p) { p.split = {{4, milliseconds(30)}}; }),
       {{W("VER 2101 730\r")}, {W(":F7\r")}, {W(":F7\r")}, {W("REA"), P(30), W("DY\r")}}},
      {"twice", Plan([](FaultPlan& p) { p.twice = {1}; }),
       {{W("VER 2101 730\r"), W("VER 2101 730\r")}, {W(":F7\r")}, {W(":F7\r")}, {W("READY\r")}}},
      {"delay", Plan([](FaultPlan& p) { p.delay = milliseconds(50); }),
       {{P(50), W("VER 2101 730\r")}, {P(50), W(":F7\r")}, {P(50), W(":F7\r")}, {P(50), W("READY\r")}}},
      {"hang-up", Plan([](FaultPlan& p) { p.hangupAfter = 2; }),
       {{W("VER 2101 730\r")}, {W(":F7\r"), kHangUp}, {}, {}}},
  };
}

TEST(RadioSimFaults, EachFaultShapesTheReplies) {
  for (const FaultCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    SimulatedRadio radio(WithFaults(c.plan));
    ASSERT_EQ(test::DataChecksum(kRecord), 0xF7);
    for (std::size_t i = 0; i < kRun.size(); ++i) {
      EXPECT_EQ(radio.OnSerialBytes(kRun[i]), c.actions[i]) << "packet " << i + 1;
    }
  }
}

TEST(RadioSimFaults, HangUpStopsTheRadioAndIsRecorded) {
  SimulatedRadio radio(WithFaults(Plan([](FaultPlan& p) { p.hangupAfter = 1; })));
  radio.OnSerialBytes(Text("?V\r"));
  EXPECT_TRUE(radio.HungUp());
  radio.OnSerialBytes(Text("?V\r"));
  EXPECT_EQ(radio.PacketCount(), 1U);
  EXPECT_EQ(radio.GetTranscript().Entries().back().notes, std::vector<std::string>{"hang-up"});
}

TEST(RadioSimFaults, FaultsAreNotedInTheTranscript) {
  SimulatedRadio radio(WithFaults(Plan([](FaultPlan& p) {
    p.badEcho = {{1, 1}};
    p.garbage = {1};
    p.twice = {1};
  })));
  radio.OnSerialBytes(kRecord);
  EXPECT_EQ(Transcript::FormatLine(radio.GetTranscript().Entries().at(0)),
            "1 program 10 42 03 00 00 00 01 02 03 F7 0D -> \"\\x01\\x02junk:F8\\r\" [bad echo; garbage; twice]");
}

}  // namespace
}  // namespace flash::radio_sim
