#include "cli/cli_options.h"

#include <cstddef>
#include <string_view>

#include "cli/run_outcome.h"

namespace flash::cli {
namespace {

// LoadSettings keeps 39 characters of a text value; a longer one would not
// survive --save-settings.
constexpr std::size_t kMaxSettingChars = 39;

// A number the Setup dialog would take: decimal digits only, 0 to 65535.
std::optional<std::int32_t> ParseUnsigned16(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  std::int32_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > 65535) return std::nullopt;
  return value;
}

bool ParseUdpEndpoint(std::string_view text, CliOptions& options, std::string& error) {
  const auto colon = text.rfind(':');
  if (colon == std::string_view::npos) {
    error = "--udp needs HOST:PORT, for example --udp 192.168.1.123:49152";
    return false;
  }
  const std::string_view host = text.substr(0, colon);
  const auto port = ParseUnsigned16(text.substr(colon + 1));
  if (host.empty() || host.find(':') != std::string_view::npos) {
    error = "--udp needs an IPv4 address or a host name before the colon, for example --udp 192.168.1.123:49152";
    return false;
  }
  if (host.size() > kMaxSettingChars) {
    error = "--udp: the host name is longer than 39 characters, which update.ini cannot hold";
    return false;
  }
  if (!port) {
    error = "--udp: the UDP port must be a number from 0 to 65535";
    return false;
  }
  options.udpHost = std::string(host);
  options.udpPort = *port;
  return true;
}

constexpr std::string_view kValueOptions[] = {"--port", "--udp", "--passcode"};

bool TakesValue(std::string_view name) {
  for (const auto option : kValueOptions) {
    if (option == name) return true;
  }
  return false;
}

bool ApplyValueOption(std::string_view name, std::string_view value, CliOptions& options, std::string& error) {
  if (name == "--port") {
    if (value.empty()) {
      error = "--port needs the name of a serial port, for example --port /dev/ttyUSB0";
      return false;
    }
    if (value.size() > kMaxSettingChars) {
      error = "--port: the port name is longer than 39 characters, which update.ini cannot hold";
      return false;
    }
    options.port = std::string(value);
    return true;
  }
  if (name == "--udp") return ParseUdpEndpoint(value, options, error);
  const auto passcode = ParseUnsigned16(value);
  if (!passcode) {
    error = "--passcode must be a number from 0 to 65535";
    return false;
  }
  options.passcode = *passcode;
  return true;
}

bool ApplyFlag(std::string_view name, CliOptions& options) {
  if (name == "--ignore-errors") {
    options.ignoreErrors = true;
  } else if (name == "--check-errors") {
    options.checkErrors = true;
  } else if (name == "--save-settings") {
    options.saveSettings = true;
  } else if (name == "-h" || name == "--help") {
    options.help = true;
  } else if (name == "-v" || name == "--version") {
    options.version = true;
  } else {
    return false;
  }
  return true;
}

ParsedCommandLine Fail(std::string error) { return ParsedCommandLine{std::nullopt, std::move(error)}; }

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CliOptions options;
  std::vector<std::string> positional;
  std::string error;
  bool optionsEnded = false;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      positional.emplace_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    const auto equals = argument.find('=');
    const std::string_view name = argument.substr(0, equals);
    if (TakesValue(name)) {
      std::string_view value;
      if (equals != std::string_view::npos) {
        value = argument.substr(equals + 1);
      } else if (i + 1 < arguments.size()) {
        value = arguments[++i];
      } else {
        return Fail(std::string(name) + " needs a value");
      }
      if (!ApplyValueOption(name, value, options, error)) return Fail(error);
      continue;
    }
    if (equals != std::string_view::npos && ApplyFlag(name, options)) {
      return Fail(std::string(name) + " takes no value");
    }
    if (!ApplyFlag(argument, options)) return Fail("unknown option " + std::string(argument));
  }
  if (options.help || options.version) return ParsedCommandLine{options, {}};

  if (positional.empty()) return Fail("no command given: use update, verify or check");
  const std::string& command = positional[0];
  if (command == "update") {
    options.command = Command::Update;
  } else if (command == "verify") {
    options.command = Command::Verify;
  } else if (command == "check") {
    options.command = Command::Check;
  } else {
    return Fail("unknown command " + command + ": use update, verify or check");
  }
  if (positional.size() < 2) return Fail(command + " needs the RUF file to use");
  if (positional.size() > 2) return Fail("one RUF file at a time: " + positional[2] + " is one too many");
  options.file = positional[1];

  if (options.port && options.udpHost) return Fail("--port and --udp select different interfaces: give one");
  if (options.ignoreErrors && options.checkErrors) {
    return Fail("--ignore-errors and --check-errors contradict each other: give one");
  }
  if (options.command == Command::Check &&
      (options.port || options.udpHost || options.passcode || options.ignoreErrors || options.checkErrors ||
       options.saveSettings)) {
    return Fail("check reads the file only: it takes no link, error or settings options");
  }
  return ParsedCommandLine{options, {}};
}

void ApplyOptions(const CliOptions& options, CommSettings& settings, int& ignoreErrors) {
  if (options.port) {
    settings.ComPort = *options.port;
    settings.SerialActive = 1;
    settings.EthernetActive = 0;
  }
  if (options.udpHost) {
    settings.IpAddress = *options.udpHost;
    settings.UdpPort = options.udpPort.value_or(settings.UdpPort);
    settings.SerialActive = 0;
    settings.EthernetActive = 1;
  }
  if (options.passcode) settings.Passcode = *options.passcode;
  if (options.ignoreErrors) ignoreErrors = 1;
  if (options.checkErrors) ignoreErrors = 0;
}

std::string HelpText() {
  return std::string("Usage: ") + kProgramName + " COMMAND FILE [OPTIONS]\n"
         "\n"
         "Updates or verifies a radio's flash memory from a Rom Update File (.ruf),\n"
         "or checks such a file without a radio.\n"
         "\n"
         "Commands:\n"
         "  update FILE       write FILE into the radio's flash memory\n"
         "  verify FILE       have the radio compare its flash memory with FILE\n"
         "                    (needs error checking on: see --check-errors)\n"
         "  check FILE        read FILE without a radio: its model number, line counts,\n"
         "                    the address ranges it writes, and every damaged line\n"
         "\n"
         "Options (update and verify):\n"
         "  --port NAME       talk to the radio over the serial port NAME\n"
         "  --udp HOST:PORT   talk to the radio over Ethernet (UDP) at HOST:PORT\n"
         "  --passcode N      the radio's Ethernet passcode, 0 to 65535\n"
         "  --check-errors    check every reply of the radio (STOP ON ERRORS=0)\n"
         "  --ignore-errors   do not check the radio's replies (STOP ON ERRORS=1):\n"
         "                    the file is sent, but success cannot be judged\n"
         "  --save-settings   write the settings in effect back to update.ini\n"
         "  -h, --help        show this help and exit\n"
         "  -v, --version     show the version and exit\n"
         "\n"
         "The settings come from update.ini in the current directory, as the\n"
         "graphical updater reads them; the options above override them for this run.\n"
         "update.ini is written only with --save-settings. A fresh installation has\n"
         "error checking off. The communication log is written to comms.txt in the\n"
         "current directory.\n"
         "\n"
         "Exit status:\n" +
         ExitStatusTable();
}

std::string VersionText() {
#ifdef FLASH_VERSION
  return std::string(kProgramName) + " " + FLASH_VERSION + "\n";
#else
  return std::string(kProgramName) + "\n";
#endif
}

}  // namespace flash::cli
