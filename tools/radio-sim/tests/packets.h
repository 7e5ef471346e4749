#pragma once
// Packets as the updater sends them, built for the tests.

#include <cstdint>
#include <string_view>
#include <vector>

namespace flash::radio_sim::test {

using Bytes = std::vector<std::uint8_t>;

Bytes Text(std::string_view text);
Bytes Concat(std::initializer_list<Bytes> parts);

// mode, LL, offset hi, offset lo, 00, data, CC (two's complement), 0x0D.
Bytes DataPacket(std::uint8_t mode, std::uint16_t offset, const Bytes& data);
// 'A', 02, 00, 00, 02, segment hi, segment lo, CC, 0x0D.
Bytes SegmentPacket(std::uint16_t segment);
// 'S', NN, address (width bytes), data, CC (ones' complement), 0x0D.
Bytes SRecordPacket(std::uint32_t address, int width, const Bytes& data);
// 'E' b1 b2 b3 CC 0x0D and 'G' b1 b2 b3 b4 CC 0x0D.
Bytes ErasePacket(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3);
Bytes GoPacket(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, std::uint8_t b4);

// The two's complement checksum a data packet carries.
std::uint8_t DataChecksum(const Bytes& packet);

}  // namespace flash::radio_sim::test
