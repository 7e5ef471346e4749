#pragma once
// The simulator's command line.

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "radio-sim/simulated_radio.h"

namespace flash::radio_sim {

struct SimOptions {
  RadioConfig radio;

  // Transport: the serial pseudo-terminal unless a UDP address is given.
  bool udp = false;
  std::string udpAddress;
  std::uint16_t udpPort = 0;
  std::string linkPath;  // symlink to the pseudo-terminal, removed at exit

  unsigned baud = 0;                        // 0: no line-time emulation
  std::chrono::milliseconds resyncTime{200};  // quiet time that cuts an incomplete packet
  std::optional<std::chrono::milliseconds> exitAfterIdle;

  std::string loadBin;
  std::string dumpBin;
  std::string dumpHex;
  std::string transcript;

  bool help = false;
};

struct ParsedOptions {
  std::optional<SimOptions> options;  // empty on error
  std::string error;
};

// The arguments after the program name.
ParsedOptions ParseOptions(std::span<const std::string_view> args);

std::string UsageText();

}  // namespace flash::radio_sim
