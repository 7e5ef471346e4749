#include "radio-sim/flash_memory.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace flash::radio_sim {

namespace {

constexpr std::size_t kHexRecordBytes = 16;
constexpr std::size_t kOneMiB = std::size_t{1} << 20;

// One Intel HEX record: ':' LL AAAA TT data CC, CC the two's complement of the byte sum.
void AppendRecord(std::string& out, std::uint16_t offset, std::uint8_t type,
                  std::span<const std::uint8_t> data) {
  char field[16];
  unsigned sum = static_cast<unsigned>(data.size()) + (offset >> 8U) + (offset & 0xFFU) + type;
  std::snprintf(field, sizeof field, ":%02X%04X%02X", static_cast<unsigned>(data.size()),
                static_cast<unsigned>(offset), static_cast<unsigned>(type));
  out += field;
  for (std::uint8_t byte : data) {
    std::snprintf(field, sizeof field, "%02X", static_cast<unsigned>(byte));
    out += field;
    sum += byte;
  }
  std::snprintf(field, sizeof field, "%02X\n", (0x100U - (sum & 0xFFU)) & 0xFFU);
  out += field;
}

}  // namespace

FlashMemory::FlashMemory(std::size_t size) : bytes_(size, kErased) {}

bool FlashMemory::Contains(std::uint64_t address, std::size_t length) const {
  return address <= bytes_.size() && length <= bytes_.size() - address;
}

bool FlashMemory::Write(std::uint64_t address, std::span<const std::uint8_t> data) {
  if (!Contains(address, data.size())) return false;
  std::copy(data.begin(), data.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(address));
  return true;
}

bool FlashMemory::Matches(std::uint64_t address, std::span<const std::uint8_t> data) const {
  if (!Contains(address, data.size())) return false;
  return std::equal(data.begin(), data.end(),
                    bytes_.begin() + static_cast<std::ptrdiff_t>(address));
}

void FlashMemory::Erase() { std::fill(bytes_.begin(), bytes_.end(), kErased); }

bool FlashMemory::LoadBinary(const std::filesystem::path& file, std::string& error) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    error = "cannot open " + file.string();
    return false;
  }
  std::vector<char> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    error = "cannot read " + file.string();
    return false;
  }
  if (image.size() > bytes_.size()) {
    error = file.string() + " holds " + std::to_string(image.size()) +
            " bytes, more than the flash's " + std::to_string(bytes_.size());
    return false;
  }
  std::transform(image.begin(), image.end(), bytes_.begin(),
                 [](char c) { return static_cast<std::uint8_t>(c); });
  return true;
}

bool FlashMemory::DumpBinary(const std::filesystem::path& file, std::string& error) const {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes_.data()), static_cast<std::streamsize>(bytes_.size()));
  out.close();
  if (!out) {
    error = "cannot write " + file.string();
    return false;
  }
  return true;
}

bool FlashMemory::DumpIntelHex(const std::filesystem::path& file, std::string& error) const {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << ToIntelHex();
  out.close();
  if (!out) {
    error = "cannot write " + file.string();
    return false;
  }
  return true;
}

std::string FlashMemory::ToIntelHex() const {
  std::string out;
  const bool linear = bytes_.size() > kOneMiB;
  std::size_t upper = 0;  // address bits 16 and up that the last address record set
  std::size_t address = 0;
  while (address < bytes_.size()) {
    if (bytes_[address] == kErased) {
      ++address;
      continue;
    }
    // A run of programmed bytes, cut at 16 bytes and at the next 64 KiB boundary.
    const std::size_t boundary = (address | 0xFFFFU) + 1;
    std::size_t end = address;
    while (end < bytes_.size() && end < boundary && end - address < kHexRecordBytes &&
           bytes_[end] != kErased) {
      ++end;
    }
    if ((address >> 16U) != upper) {
      upper = address >> 16U;
      const auto value = static_cast<std::uint16_t>(linear ? upper : upper << 12U);
      const std::uint8_t record[2] = {static_cast<std::uint8_t>(value >> 8U),
                                      static_cast<std::uint8_t>(value & 0xFFU)};
      AppendRecord(out, 0, linear ? 0x04 : 0x02, record);
    }
    AppendRecord(out, static_cast<std::uint16_t>(address & 0xFFFFU), 0x00,
                 std::span<const std::uint8_t>(bytes_).subspan(address, end - address));
    address = end;
  }
  out += ":00000001FF\n";
  return out;
}

}  // namespace flash::radio_sim
