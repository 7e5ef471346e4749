#pragma once
// The radio's flash memory: a byte image that starts erased (0xFF), with the
// writes, comparisons and erase the update firmware performs, and the image
// files the simulator loads at start and dumps at exit.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace flash::radio_sim {

class FlashMemory {
 public:
  static constexpr std::uint8_t kErased = 0xFF;

  explicit FlashMemory(std::size_t size);

  std::size_t Size() const { return bytes_.size(); }
  std::span<const std::uint8_t> Bytes() const { return bytes_; }

  // True when [address, address + length) lies inside the flash.
  bool Contains(std::uint64_t address, std::size_t length) const;

  // Writes the bytes at the address; false (and nothing written) when any of
  // them would fall outside the flash.
  bool Write(std::uint64_t address, std::span<const std::uint8_t> data);

  // Compares the bytes with the flash at the address. Out-of-range bytes never match.
  bool Matches(std::uint64_t address, std::span<const std::uint8_t> data) const;

  // Clears the whole flash to 0xFF.
  void Erase();

  // Preloads the flash from a binary image from address 0; the rest stays as it is.
  // An image larger than the flash is refused.
  bool LoadBinary(const std::filesystem::path& file, std::string& error);
  bool DumpBinary(const std::filesystem::path& file, std::string& error) const;
  bool DumpIntelHex(const std::filesystem::path& file, std::string& error) const;

  // Intel HEX text of the ranges that are not 0xFF: data records of at most 16
  // bytes that never cross a 64 KiB boundary, an address record whenever the
  // upper address changes (extended segment records while the flash fits in
  // 1 MiB, extended linear records for a larger flash), and the end record.
  std::string ToIntelHex() const;

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace flash::radio_sim
