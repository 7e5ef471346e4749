#include "settings/settings.h"

#include <unistd.h>

#include <cstdlib>
#include <limits>
#include <memory>
#include <string_view>

#include "settings/ini_file.h"

namespace flash {

namespace {

constexpr std::string_view kFileName = "update.ini";

constexpr std::string_view kSerialSection = "SERIAL INTERFACE";
constexpr std::string_view kEthernetSection = "ETHERNET INTERFACE";
constexpr std::string_view kActiveSection = "ACTIVE INTERFACE";

constexpr std::string_view kComPortKey = "COMPORT";
constexpr std::string_view kStopOnErrorsKey = "STOP ON ERRORS";
constexpr std::string_view kIpAddressKey = "IP ADDRESS";
constexpr std::string_view kUdpPortKey = "UDP PORT";
constexpr std::string_view kPasscodeKey = "PASSCODE";
constexpr std::string_view kEthernetKey = "ETHERNET";
constexpr std::string_view kSerialKey = "SERIAL";

// Values are read as at most this many characters; the rest is dropped.
constexpr std::size_t kValueLength = 39;

std::string ReadText(const IniFile& file, std::string_view section, std::string_view key,
                     std::string_view fallback) {
  std::string value = file.Get(section, key).value_or(std::string(fallback));
  if (value.size() > kValueLength) value.resize(kValueLength);
  return value;
}

std::int32_t ReadInteger(const IniFile& file, std::string_view section, std::string_view key,
                         std::string_view fallback) {
  return ParseDecimalInteger(ReadText(file, section, key, fallback));
}

std::uint8_t ReadFlag(const IniFile& file, std::string_view section, std::string_view key,
                      std::string_view fallback) {
  return ReadInteger(file, section, key, fallback) != 0 ? 1 : 0;
}

}  // namespace

std::int32_t ParseDecimalInteger(const std::string& text) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  std::int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    // Stops growing once past the range; the end of the range is the answer.
    if (magnitude <= kMax + 1) magnitude = magnitude * 10 + (text[i] - '0');
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value > kMax) return std::numeric_limits<std::int32_t>::max();
  if (value < kMin) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

std::string SettingsPath() {
  std::unique_ptr<char, decltype(&std::free)> directory(::getcwd(nullptr, 0), &std::free);
  // Without a current directory (it was removed) the bare name still names
  // the file there, and opening it fails as it should.
  if (!directory) return std::string(kFileName);
  std::string path = directory.get();
  if (path.empty() || path.back() != '/') path += '/';
  path += kFileName;
  return path;
}

void LoadSettings(CommSettings& settings, int& ignoreErrors) {
  LoadSettings(SettingsPath(), settings, ignoreErrors);
}

void LoadSettings(const std::string& path, CommSettings& settings, int& ignoreErrors) {
  // A file that is there but cannot be read counts as absent: the defaults apply.
  IniFile file;
  LoadIniFile(path, file);

  settings.ComPort = ReadText(file, kSerialSection, kComPortKey, kDefaultComPort);
  ignoreErrors = ReadInteger(file, kSerialSection, kStopOnErrorsKey, "1");
  settings.IpAddress = ReadText(file, kEthernetSection, kIpAddressKey, kDefaultIpAddress);
  settings.UdpPort = ReadInteger(file, kEthernetSection, kUdpPortKey, std::to_string(kDefaultUdpPort));
  settings.Passcode =
      ReadInteger(file, kEthernetSection, kPasscodeKey, std::to_string(kDefaultPasscode));
  settings.EthernetActive = ReadFlag(file, kActiveSection, kEthernetKey, "0");
  settings.SerialActive = ReadFlag(file, kActiveSection, kSerialKey, "1");

  // Exactly one interface: serial wins a tie and stands in for "neither".
  if (settings.SerialActive == 0 && settings.EthernetActive == 0) settings.SerialActive = 1;
  if (settings.SerialActive == 1 && settings.EthernetActive == 1) settings.EthernetActive = 0;
}

void SaveSettings(const CommSettings& settings, int ignoreErrors) {
  SaveSettings(SettingsPath(), settings, ignoreErrors);
}

void SaveSettings(const std::string& path, const CommSettings& settings, int ignoreErrors) {
  IniFile file;
  // Writing over a file that is there but could not be read would lose
  // whatever else it holds; such a save is dropped instead, like any other
  // failed write.
  if (LoadIniFile(path, file) == IniLoad::kUnreadable) return;

  file.Set(kSerialSection, kComPortKey, settings.ComPort);
  file.Set(kSerialSection, kStopOnErrorsKey, std::to_string(ignoreErrors));
  file.Set(kEthernetSection, kIpAddressKey, settings.IpAddress);
  file.Set(kEthernetSection, kUdpPortKey, std::to_string(settings.UdpPort));
  file.Set(kEthernetSection, kPasscodeKey, std::to_string(settings.Passcode));
  file.Set(kActiveSection, kEthernetKey, std::to_string(settings.EthernetActive));
  file.Set(kActiveSection, kSerialKey, std::to_string(settings.SerialActive));

  // The save is silent: a failure leaves the old file as it was.
  StoreIniFile(path, file);
}

}  // namespace flash
