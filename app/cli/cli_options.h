#pragma once
// The command line of flash-update-cli:
//   flash-update-cli update FILE [options]
//   flash-update-cli verify FILE [options]
//   flash-update-cli check FILE
// and the way its options override the settings read from update.ini.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "settings/settings.h"

namespace flash::cli {

inline constexpr const char* kProgramName = "flash-update-cli";

enum class Command { Update, Verify, Check };

struct CliOptions {
  Command command = Command::Update;
  std::string file;
  std::optional<std::string> port;  // --port NAME: the serial interface
  std::optional<std::string> udpHost;  // --udp HOST:PORT: the Ethernet interface
  std::optional<std::int32_t> udpPort;
  std::optional<std::int32_t> passcode;
  bool ignoreErrors = false;  // --ignore-errors
  bool checkErrors = false;   // --check-errors
  bool saveSettings = false;  // --save-settings
  bool help = false;
  bool version = false;
};

struct ParsedCommandLine {
  std::optional<CliOptions> options;  // nothing when the command line is wrong
  std::string error;                  // what is wrong, for the operator
};

// arguments: the whole command line, the program's name first.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The options over the settings from update.ini: a link option selects its
// interface, and the error options set IgnoreErrors (0 checks replies).
void ApplyOptions(const CliOptions& options, CommSettings& settings, int& ignoreErrors);

std::string HelpText();
std::string VersionText();

}  // namespace flash::cli
