#include "packets.h"

namespace flash::radio_sim::test {

namespace {
std::uint8_t Low(unsigned value) { return static_cast<std::uint8_t>(value & 0xFFU); }
}  // namespace

Bytes Text(std::string_view text) { return {text.begin(), text.end()}; }

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes DataPacket(std::uint8_t mode, std::uint16_t offset, const Bytes& data) {
  Bytes p = {mode, Low(static_cast<unsigned>(data.size())), Low(offset >> 8U), Low(offset), 0x00};
  p.insert(p.end(), data.begin(), data.end());
  unsigned sum = 0;
  for (std::size_t i = 1; i < p.size(); ++i) sum += p[i];
  p.push_back(Low(0x100U - (sum & 0xFFU)));
  p.push_back(0x0D);
  return p;
}

Bytes SegmentPacket(std::uint16_t segment) {
  Bytes p = DataPacket('A', 0, {Low(segment >> 8U), Low(segment)});
  p[4] = 0x02;
  p[p.size() - 2] = Low(p[p.size() - 2] - 2U);
  return p;
}

Bytes SRecordPacket(std::uint32_t address, int width, const Bytes& data) {
  Bytes body;
  for (int i = width - 1; i >= 0; --i) body.push_back(Low(address >> (8U * static_cast<unsigned>(i))));
  body.insert(body.end(), data.begin(), data.end());
  const auto count = Low(static_cast<unsigned>(body.size()) + 1U);
  Bytes p = {'S', count};
  p.insert(p.end(), body.begin(), body.end());
  unsigned sum = count;
  for (std::uint8_t b : body) sum += b;
  p.push_back(Low(~sum));
  p.push_back(0x0D);
  return p;
}

Bytes ErasePacket(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
  return {'E', b1, b2, b3, Low(0x100U - ((0U + b1 + b2 + b3) & 0xFFU)), 0x0D};
}

Bytes GoPacket(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, std::uint8_t b4) {
  return {'G', b1, b2, b3, b4, Low(0x100U - ((0U + b1 + b2 + b3 + b4) & 0xFFU)), 0x0D};
}

std::uint8_t DataChecksum(const Bytes& packet) { return packet[packet.size() - 2]; }

}  // namespace flash::radio_sim::test
