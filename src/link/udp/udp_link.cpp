#include "link/udp/udp_link.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace flash {

bool OpenEthernetLink(UdpLinkState& state, CRadioSocket& socket, const std::string& ipAddress, int udpPort,
                      Logs& logs, WindowServices& window) {
  logs.AppendLog("Using Ethernet Interface \r\n");

  // The remembered endpoint only saves work on a socket that is already
  // connected to it; it never stands in for a socket that does not exist.
  if (state.socketCreated && socket.IsConnected() && udpPort == state.lastUdpPort &&
      ipAddress == state.lastUdpAddress) {
    return true;
  }
  state.lastUdpPort = udpPort;
  state.lastUdpAddress = ipAddress;

  if (!state.socketCreated || !socket.IsOpen()) {
    state.socketCreated = socket.Create(udpPort);
    if (!state.socketCreated) {
      window.MessageBox(SocketCreateErrorText(socket.LastError(), udpPort));
      return false;
    }
  }
  // A failure is not shown: the run goes on as if the radio were silent and
  // ends through the reply time-outs.
  socket.Connect(ipAddress, udpPort);
  return true;
}

void CloseEthernetAfterRun(UdpLinkState& state, CRadioSocket& socket) {
  state.lastUdpPort = 1;
  state.lastUdpAddress.assign(1, ' ');
  state.socketCreated = false;
  socket.Close();
}

std::string SocketCreateErrorText(int error, int udpPort) {
  const char* const reason = std::strerror(error);
  char advice[256];
  switch (error) {
    case EADDRINUSE:
      std::snprintf(advice, sizeof advice, "The local UDP port %d is already in use by another program (%s).",
                    udpPort, reason);
      break;
    case EACCES:
      std::snprintf(advice, sizeof advice,
                    "The local UDP port %d may only be used with administrator rights; choose a port above "
                    "1023 (%s).",
                    udpPort, reason);
      break;
    case EINVAL:
      std::snprintf(advice, sizeof advice,
                    "The UDP port %d is outside the range of port numbers, 1 to 65535 (%s).", udpPort,
                    reason);
      break;
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
      std::snprintf(advice, sizeof advice, "The system cannot open another network socket now (%s).", reason);
      break;
    default:
      std::snprintf(advice, sizeof advice, "The network socket for UDP port %d could not be opened (%s).",
                    udpPort, reason);
      break;
  }
  char text[320];
  std::snprintf(text, sizeof text, "Socket Create returned error code %d\n\n%s", error, advice);
  return text;
}

std::vector<std::uint8_t> BuildDatagram(int passcode, const std::uint8_t* packet, std::size_t length) {
  const auto low16 = static_cast<std::uint32_t>(passcode) & 0xFFFFu;
  std::vector<std::uint8_t> datagram;
  datagram.reserve(length + 2);
  datagram.push_back(static_cast<std::uint8_t>(low16 >> 8));
  datagram.push_back(static_cast<std::uint8_t>(low16 & 0xFFu));
  if (length != 0) datagram.insert(datagram.end(), packet, packet + length);
  return datagram;
}

}  // namespace flash
