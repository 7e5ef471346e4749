#include "engine_fixture.h"

#include <sstream>

namespace flash::testing {

std::vector<std::uint8_t> Bytes(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  std::istringstream in(hex);
  std::string pair;
  while (in >> pair) bytes.push_back(static_cast<std::uint8_t>(std::stoi(pair, nullptr, 16)));
  return bytes;
}

}  // namespace flash::testing
