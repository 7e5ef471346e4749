#pragma once
// The operator's communication setup and the run's error policy, kept in
// update.ini in the current directory: read once when the main window is
// created, written once when it is destroyed. In between they live only here.
//
//   [SERIAL INTERFACE]     COMPORT, STOP ON ERRORS (the IgnoreErrors value itself)
//   [ETHERNET INTERFACE]   IP ADDRESS, UDP PORT, PASSCODE
//   [ACTIVE INTERFACE]     ETHERNET, SERIAL
//
// Neither operation reports anything: a missing or unreadable file gives the
// defaults, and a file that cannot be written is left as it was.

#include <cstdint>
#include <string>

namespace flash {

inline constexpr const char* kDefaultComPort = "COM1";
inline constexpr const char* kDefaultIpAddress = "192.168.1.123";
inline constexpr std::int32_t kDefaultUdpPort = 49152;
inline constexpr std::int32_t kDefaultPasscode = 5;
inline constexpr int kDefaultIgnoreErrors = 1;

// The communication settings. After LoadSettings exactly one of the two
// interface flags is 1.
struct CommSettings {
  std::string ComPort = kDefaultComPort;      // serial port to open
  std::string IpAddress = kDefaultIpAddress;  // the radio's address (or host name)
  std::int32_t UdpPort = kDefaultUdpPort;     // the radio's UDP port, as stored
  std::int32_t Passcode = kDefaultPasscode;   // low 16 bits prefix every datagram
  std::uint8_t EthernetActive = 0;            // the run talks over UDP
  std::uint8_t SerialActive = 1;              // the run talks over the serial port

  bool operator==(const CommSettings&) const = default;
};

// The full path of update.ini in the current directory at the moment of the
// call, however long that directory's path is.
std::string SettingsPath();

// Reads every setting from update.ini at SettingsPath() (or at path) into
// settings and ignoreErrors, the run record's IgnoreErrors (stored as read,
// not reduced to 0 or 1). Absent keys take their defaults; text values are cut
// to 39 characters; the interface flags are made exclusive, the serial
// interface winning a tie and standing in when neither is set.
void LoadSettings(CommSettings& settings, int& ignoreErrors);
void LoadSettings(const std::string& path, CommSettings& settings, int& ignoreErrors);

// Writes every setting to update.ini at SettingsPath() (or at path), keeping
// every other section, key and comment of the file where it stands. The file
// is replaced as a whole, so a failure leaves the old one intact.
void SaveSettings(const CommSettings& settings, int ignoreErrors);
void SaveSettings(const std::string& path, const CommSettings& settings, int ignoreErrors);

// Reads a decimal integer: leading white space and one sign, then digits up
// to the first other character; no digits read as 0, and a value beyond the
// 32-bit range is held at its nearest end.
std::int32_t ParseDecimalInteger(const std::string& text);

}  // namespace flash
