#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/run_outcome.h"

namespace flash::cli {
namespace {

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> words{"flash-update-cli"};
  std::istringstream in(line);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

TEST(CliOptions, ReadsCommandsFilesAndOptions) {
  auto parsed = ParseCommandLine(Split("update 710_v2.ruf --port /dev/ttyUSB0 --check-errors --save-settings"));
  ASSERT_TRUE(parsed.options) << parsed.error;
  EXPECT_EQ(parsed.options->command, Command::Update);
  EXPECT_EQ(parsed.options->file, "710_v2.ruf");
  EXPECT_EQ(parsed.options->port, "/dev/ttyUSB0");
  EXPECT_TRUE(parsed.options->checkErrors);
  EXPECT_TRUE(parsed.options->saveSettings);
  EXPECT_FALSE(parsed.options->ignoreErrors);

  parsed = ParseCommandLine(Split("--udp=radio.local:49152 --passcode 65535 verify f.ruf"));
  ASSERT_TRUE(parsed.options) << parsed.error;
  EXPECT_EQ(parsed.options->command, Command::Verify);
  EXPECT_EQ(parsed.options->udpHost, "radio.local");
  EXPECT_EQ(parsed.options->udpPort, 49152);
  EXPECT_EQ(parsed.options->passcode, 65535);

  // "--" ends the options, so a file name may begin with a dash.
  parsed = ParseCommandLine({"flash-update-cli", "check", "--", "--odd.ruf"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  EXPECT_EQ(parsed.options->command, Command::Check);
  EXPECT_EQ(parsed.options->file, "--odd.ruf");

  // Help and version need nothing else, whatever else is there.
  for (const char* line : {"--help", "-h", "update --help", "bogus -v", "--version"}) {
    parsed = ParseCommandLine(Split(line));
    ASSERT_TRUE(parsed.options) << line;
    EXPECT_TRUE(parsed.options->help || parsed.options->version) << line;
  }
}

TEST(CliOptions, RefusesBadCommandLinesWithAReason) {
  const struct {
    const char* line;
    const char* reason;
  } cases[] = {
      {"", "no command"},
      {"flash 710.ruf", "unknown command flash"},
      {"update", "needs the RUF file"},
      {"update a.ruf b.ruf", "b.ruf is one too many"},
      {"update a.ruf --frobnicate", "unknown option --frobnicate"},
      {"update a.ruf --port", "--port needs a value"},
      {"update a.ruf --port=", "--port needs the name"},
      {"update a.ruf --udp 192.168.1.123", "HOST:PORT"},
      {"update a.ruf --udp :49152", "before the colon"},
      {"update a.ruf --udp host:65536", "0 to 65535"},
      {"update a.ruf --udp host:-1", "0 to 65535"},
      {"update a.ruf --udp host:", "0 to 65535"},
      {"update a.ruf --udp ::1:5000", "before the colon"},
      {"update a.ruf --passcode 70000", "--passcode must be"},
      {"update a.ruf --passcode 12ab", "--passcode must be"},
      {"update a.ruf --passcode -5", "--passcode must be"},
      {"update a.ruf --port COM1 --udp host:1", "give one"},
      {"update a.ruf --ignore-errors --check-errors", "contradict"},
      {"update a.ruf --check-errors=1", "takes no value"},
      {"update a.ruf --port /dev/serial/by-id/a-very-long-adapter-name-x", "39 characters"},
      {"check a.ruf --port COM1", "check reads the file only"},
      {"check a.ruf --save-settings", "check reads the file only"},
  };
  for (const auto& c : cases) {
    const auto parsed = ParseCommandLine(Split(c.line));
    EXPECT_FALSE(parsed.options) << c.line;
    EXPECT_NE(parsed.error.find(c.reason), std::string::npos) << c.line << ": " << parsed.error;
  }
}

TEST(CliOptions, OptionsOverrideTheSettingsFromUpdateIni) {
  const auto apply = [](const std::string& line, CommSettings settings, int ignoreErrors) {
    const auto parsed = ParseCommandLine(Split("update 710.ruf " + line));
    EXPECT_TRUE(parsed.options) << parsed.error;
    ApplyOptions(*parsed.options, settings, ignoreErrors);
    return std::pair{settings, ignoreErrors};
  };
  CommSettings ethernet;
  ethernet.IpAddress = "10.0.0.9";
  ethernet.UdpPort = 5000;
  ethernet.Passcode = 77;
  ethernet.SerialActive = 0;
  ethernet.EthernetActive = 1;

  // No options: the settings as read, error policy included (5 stays 5).
  EXPECT_EQ(apply("", ethernet, 5), std::pair(ethernet, 5));

  // --port selects the serial interface and keeps the Ethernet values for later.
  auto [serial, serialPolicy] = apply("--port /dev/ttyS1 --check-errors", ethernet, 1);
  EXPECT_EQ(serial.ComPort, "/dev/ttyS1");
  EXPECT_EQ(serial.SerialActive, 1);
  EXPECT_EQ(serial.EthernetActive, 0);
  EXPECT_EQ(serial.IpAddress, "10.0.0.9");
  EXPECT_EQ(serialPolicy, 0);

  // --udp selects Ethernet; --passcode changes only the passcode.
  auto [udp, udpPolicy] = apply("--udp 127.0.0.1:49200 --passcode 0 --ignore-errors", CommSettings{}, 0);
  EXPECT_EQ(udp.IpAddress, "127.0.0.1");
  EXPECT_EQ(udp.UdpPort, 49200);
  EXPECT_EQ(udp.Passcode, 0);
  EXPECT_EQ(udp.SerialActive, 0);
  EXPECT_EQ(udp.EthernetActive, 1);
  EXPECT_EQ(udp.ComPort, "COM1");
  EXPECT_EQ(udpPolicy, 1);
}

TEST(CliOptions, HelpListsEveryCommandOptionAndExitStatus) {
  const std::string help = HelpText();
  for (const char* word : {"update FILE", "verify FILE", "check FILE", "--port NAME", "--udp HOST:PORT",
                           "--passcode N", "--check-errors", "--ignore-errors", "--save-settings", "--help",
                           "--version", "update.ini", "comms.txt"}) {
    EXPECT_NE(help.find(word), std::string::npos) << word;
  }
  for (const int status : {0, 1, 2, 3, 4, 5, 6, 64, 130}) {
    EXPECT_NE(help.find("\n  " + std::to_string(status) + " "), std::string::npos) << status;
  }
}

}  // namespace
}  // namespace flash::cli
