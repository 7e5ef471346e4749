#include "cli_test_support.h"

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <memory>

namespace flash::cli::testing {
namespace {

std::string Hex(unsigned value) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", value & 0xFFU);
  return text;
}

}  // namespace

void EnsureQtApp() {
  static int argc = 1;
  static char name[] = "cli_tests";
  static char* argv[] = {name, nullptr};
  static const auto app = std::make_unique<QCoreApplication>(argc, argv);
}

bool ProcessEventsUntil(const std::function<bool()>& done) {
  EnsureQtApp();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  return true;
}

std::string IntelRecord(std::uint8_t type, std::uint16_t address, const std::vector<std::uint8_t>& data,
                        int checksumDelta) {
  unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8U) + (address & 0xFFU) + type;
  std::string line = ":" + Hex(static_cast<unsigned>(data.size())) + Hex(address >> 8U) + Hex(address) + Hex(type);
  for (const auto byte : data) {
    line += Hex(byte);
    sum += byte;
  }
  return line + Hex(static_cast<unsigned>(0x100 - static_cast<int>(sum & 0xFFU) + checksumDelta)) + "\r\n";
}

std::string SegmentRecord(std::uint16_t segment) {
  return IntelRecord(0x02, 0, {static_cast<std::uint8_t>(segment >> 8U), static_cast<std::uint8_t>(segment)});
}

std::string SRecord(int type, std::uint32_t address, int addressBytes, const std::vector<std::uint8_t>& data) {
  const unsigned count = static_cast<unsigned>(addressBytes) + static_cast<unsigned>(data.size()) + 1;
  std::string line = "S" + std::to_string(type) + Hex(count);
  unsigned sum = count;
  for (int i = addressBytes - 1; i >= 0; --i) {
    const unsigned byte = address >> (8 * static_cast<unsigned>(i)) & 0xFFU;
    line += Hex(byte);
    sum += byte;
  }
  for (const auto byte : data) {
    line += Hex(byte);
    sum += byte;
  }
  return line + Hex(~sum) + "\r\n";
}

std::vector<std::uint8_t> Bytes(std::size_t n) {
  std::vector<std::uint8_t> bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i);
  return bytes;
}

}  // namespace flash::cli::testing
