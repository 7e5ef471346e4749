// The command line.

#include <gtest/gtest.h>

#include "radio-sim/options.h"

namespace flash::radio_sim {
namespace {

using std::chrono::milliseconds;

ParsedOptions Parse(std::initializer_list<std::string_view> args) {
  const std::vector<std::string_view> list(args);
  return ParseOptions(list);
}

TEST(RadioSimOptions, ReadsEveryOption) {
  const ParsedOptions parsed = Parse({"--udp", "127.0.0.1:4000", "--passcode", "0x12345", "--dsp", "1234",
                                      "--model=640", "--short-version", "--flash-size", "512K",
                                      "--srec-address-bytes", "3", "--erase-ms", "40", "--silent",
                                      "--drop", "3", "--drop", "5", "--bad-echo", "4:2", "--garbage", "6",
                                      "--split", "7:25", "--twice", "8", "--delay-ms", "10", "--hangup", "9",
                                      "--dump-bin", "a.bin", "--dump-hex", "a.hex", "--transcript", "t.txt",
                                      "--load-bin", "in.bin", "--exit-after-idle-ms", "0",
                                      "--max-packets", "100", "--resync-ms", "50"});
  ASSERT_TRUE(parsed.options.has_value()) << parsed.error;
  const SimOptions& o = *parsed.options;
  EXPECT_TRUE(o.udp);
  EXPECT_EQ(o.udpAddress, "127.0.0.1");
  EXPECT_EQ(o.udpPort, 4000);
  EXPECT_EQ(o.radio.passcode, 0x2345);  // the low 16 bits
  EXPECT_EQ(o.radio.dspVersion, 1234);
  EXPECT_EQ(o.radio.modelCode, 640);
  EXPECT_TRUE(o.radio.shortVersion);
  EXPECT_EQ(o.radio.flashSize, 512U * 1024U);
  EXPECT_EQ(o.radio.srecAddressBytes, 3);
  EXPECT_EQ(o.radio.eraseTime, milliseconds(40));
  const FaultPlan& f = o.radio.faults;
  EXPECT_TRUE(f.silent);
  EXPECT_EQ(f.drop, (std::set<std::uint64_t>{3, 5}));
  ASSERT_EQ(f.badEcho.size(), 1U);
  EXPECT_EQ(f.badEcho[0].first, 4U);
  EXPECT_EQ(f.badEcho[0].count, 2U);
  EXPECT_EQ(f.garbage, std::set<std::uint64_t>{6});
  EXPECT_EQ(f.split.at(7), milliseconds(25));
  EXPECT_EQ(f.twice, std::set<std::uint64_t>{8});
  EXPECT_EQ(f.delay, milliseconds(10));
  EXPECT_EQ(f.hangupAfter, 9U);
  EXPECT_EQ(o.dumpBin, "a.bin");
  EXPECT_EQ(o.dumpHex, "a.hex");
  EXPECT_EQ(o.transcript, "t.txt");
  EXPECT_EQ(o.loadBin, "in.bin");
  EXPECT_EQ(o.exitAfterIdle, milliseconds(0));
  EXPECT_EQ(o.radio.maxPackets, 100U);
  EXPECT_EQ(o.resyncTime, milliseconds(50));
}

TEST(RadioSimOptions, DefaultsToTheSerialPort) {
  const ParsedOptions parsed = Parse({"--link", "/tmp/radio", "--baud", "57600"});
  ASSERT_TRUE(parsed.options.has_value()) << parsed.error;
  EXPECT_FALSE(parsed.options->udp);
  EXPECT_EQ(parsed.options->linkPath, "/tmp/radio");
  EXPECT_EQ(parsed.options->baud, 57600U);
  EXPECT_EQ(parsed.options->radio.flashSize, std::size_t{1} << 20);
  EXPECT_FALSE(parsed.options->exitAfterIdle.has_value());
}

TEST(RadioSimOptions, RefusesBadCommandLines) {
  const std::vector<std::vector<std::string_view>> table = {
      {"--frobnicate"},
      {"--drop"},
      {"--drop", "0"},
      {"--drop", "x"},
      {"--bad-echo", "4"},
      {"--bad-echo", "4:0"},
      {"--split", ":5"},
      {"--dsp", "10000"},
      {"--srec-address-bytes", "1"},
      {"--flash-size", "0"},
      {"--flash-size", "1G"},
      {"--udp", "localhost:4000"},
      {"--udp", "127.0.0.1:70000"},
      {"--udp", "127.0.0.1:4000", "--link", "/tmp/x"},
      {"--udp", "127.0.0.1:4000", "--baud", "9600"},
      {"--baud", "0"},
      {"--silent=1"},
  };
  for (const auto& args : table) {
    const ParsedOptions parsed = ParseOptions(args);
    EXPECT_FALSE(parsed.options.has_value()) << args.front();
    EXPECT_FALSE(parsed.error.empty());
  }
}

}  // namespace
}  // namespace flash::radio_sim
