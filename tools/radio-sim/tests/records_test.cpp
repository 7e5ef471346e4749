// What the simulator records: the transcript and the flash image files.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "packets.h"
#include "radio-sim/flash_memory.h"
#include "radio-sim/simulated_radio.h"
#include "temp_dir.h"

namespace flash::radio_sim {
namespace {

using test::Bytes;
using test::Text;

std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(RadioSimRecords, TranscriptHasOneLinePerPacketAndASummary) {
  RadioConfig config;
  config.passcode = 0x0102;
  SimulatedRadio radio(config);
  const Bytes record = test::DataPacket('B', 0x0000, {0xAA});
  radio.OnDatagram(Bytes{0x01, 0x02, '?', 'V', '\r'});
  radio.OnDatagram(Bytes{0x09, 0x09, 'X'});
  for (int i = 0; i < 3; ++i) radio.OnDatagram(test::Concat({Bytes{0x01, 0x02}, record}));
  radio.OnDatagram(Bytes{0x01, 0x02, 'G', 'O', '\r'});

  std::ostringstream out;
  radio.GetTranscript().Write(out);
  EXPECT_EQ(out.str(),
            "1 query 3 3F 56 0D -> \"VER 2101 730\\r\"\n"
            "- rejected 3 09 09 58 -> none [wrong passcode]\n"
            "2 program 8 42 01 00 00 00 AA 55 0D -> \":55\\r\"\n"
            "3 program 8 42 01 00 00 00 AA 55 0D -> \":55\\r\"\n"
            "4 program 8 42 01 00 00 00 AA 55 0D -> \":55\\r\"\n"
            "5 text 3 47 4F 0D -> none\n"
            "summary: packets 5, bytes 30, retries 2, rejected 1\n");
}

TEST(RadioSimRecords, IntelHexCoversProgrammedRangesAcrossSegments) {
  FlashMemory memory(std::size_t{1} << 20);
  memory.Write(0x0010, Bytes{0x01, 0x02, 0x03});
  memory.Write(0x1FFFE, Bytes{0xA0, 0xA1, 0xA2});  // crosses into the segment at 0x20000
  memory.Write(0x20011, Bytes{0xFF, 0x00});         // 0xFF bytes are left out
  EXPECT_EQ(memory.ToIntelHex(),
            ":03001000010203E7\n"
            ":020000021000EC\n"
            ":02FFFE00A0A1C0\n"
            ":020000022000DC\n"
            ":01000000A25D\n"
            ":0100120000ED\n"
            ":00000001FF\n");
}

TEST(RadioSimRecords, LargeFlashUsesLinearAddressRecords) {
  FlashMemory memory(std::size_t{2} << 20);
  memory.Write(0x180000, Bytes{0x5A});
  EXPECT_EQ(memory.ToIntelHex(), ":020000040018E2\n:010000005AA5\n:00000001FF\n");
}

TEST(RadioSimRecords, BinaryImageLoadsAndDumps) {
  test::TempDir dir;
  const auto image = dir / "image.bin";
  std::ofstream(image, std::ios::binary) << std::string("\x01\x02\x03", 3);

  FlashMemory memory(16);
  std::string error;
  ASSERT_TRUE(memory.LoadBinary(image, error)) << error;
  EXPECT_TRUE(memory.Matches(0, Bytes{1, 2, 3, 0xFF}));

  ASSERT_TRUE(memory.DumpBinary(dir / "dump.bin", error)) << error;
  EXPECT_EQ(ReadFile(dir / "dump.bin"), std::string("\x01\x02\x03", 3) + std::string(13, '\xFF'));

  FlashMemory tooSmall(2);
  EXPECT_FALSE(tooSmall.LoadBinary(image, error));
  EXPECT_TRUE(tooSmall.Matches(0, Bytes{0xFF, 0xFF}));
  EXPECT_FALSE(memory.LoadBinary(dir / "missing.bin", error));
}

}  // namespace
}  // namespace flash::radio_sim
