#include "link/serial/open_serial_link.h"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <vector>

namespace flash {

namespace {

constexpr std::uint32_t kRunQueueSize = 2048;
constexpr std::uint32_t kRunEventMask = EV_RXFLAG | EV_ERR;  // 0x0082

std::string PortLabel(const std::string& comPort) {
  if (comPort.empty()) return "(no name)";
  const std::string path = ResolveSerialDeviceName(comPort);
  return path == comPort ? comPort : comPort + " (" + path + ")";
}

// The group that owns the device, when it is one an operator can join.
std::string OwningGroup(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || info.st_gid == 0) return {};
  group entry{};
  group* found = nullptr;
  std::vector<char> buffer(4096);
  if (::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return {};
  return found->gr_name;
}

}  // namespace

std::string SerialLinkFailureText(const std::string& comPort, std::int32_t result, bool opening) {
  std::string text = (opening ? "Cannot open serial port " : "Cannot set up serial port ") + PortLabel(comPort) +
                     ": " + DescribeSerialResult(result) + ".";
  if (result == EACCES || result == EPERM) {
    const std::string group = OwningGroup(ResolveSerialDeviceName(comPort));
    text += group.empty() || group == "dialout"
                ? " Your user must belong to the group that owns the device, usually \"dialout\""
                : " Your user must belong to the group \"" + group + "\" that owns the device";
    text += " (add it with: sudo usermod -aG " + (group.empty() ? std::string("dialout") : group) +
            " $USER, then log in again).";
  } else if (result == EBUSY) {
    text += " Another program is using the port.";
  }
  return text;
}

bool OpenSerialLink(CRadioPort& port, const std::string& comPort, EventLoop& loop, MessageWindow& window,
                    Logs& logs, WindowServices& services) {
  const auto report = [&](std::int32_t result, bool opening) {
    port.ClosePort();
    const std::string text = SerialLinkFailureText(comPort, result, opening);
    logs.AppendLog(text + "\r\n");
    services.MessageBox(text);
    return false;
  };

  if (port.IsPortOpen()) port.ClosePort();
  if (const auto result = port.OpenForWindow(comPort, loop, &window, 0, 0, kRunQueueSize, kRunQueueSize);
      result != 0) {
    return report(result, true);
  }
  std::int32_t result = port.ConfigureLine(57600, 8, NOPARITY, ONESTOPBIT);
  if (result == 0) result = port.SetFlowControl(FLOW_HARDWARE);
  if (result == 0 && !port.SetWriteTimeouts(1, 1)) result = EIO;  // only when the port closed meanwhile
  if (result == 0) result = port.SetEventCharacter('\r', false);
  if (result == 0) result = port.SetEventMask(kRunEventMask);
  if (result == 0) result = port.PurgeBuffers();
  if (result != 0) return report(result, false);
  logs.AppendLog("Using Serial Interface \r\n");
  return true;
}

}  // namespace flash
