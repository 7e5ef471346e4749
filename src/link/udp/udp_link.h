#pragma once
// The Ethernet half of the radio link: opening the socket at the start of a
// run, closing it when a run completes, and the datagram sent to the radio.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "link/udp/radio_socket.h"
#include "logs/logs.h"
#include "services/window_services.h"

namespace flash {

// What the link remembers between runs.
struct UdpLinkState {
  bool socketCreated = false;              // the socket is created and bound
  int lastUdpPort = 1;                     // port of the last connection made
  std::string lastUdpAddress = "0.0.0.0";  // address text of the last connection made
};

// At the start of an Ethernet run: creates, binds and connects the socket as
// needed. An unchanged address and port keep an existing connected socket as
// it is; without a socket, creation is tried at every start. A failed creation
// shows a message box. Returns true when the run may go on (a socket exists).
bool OpenEthernetLink(UdpLinkState& state, CRadioSocket& socket, const std::string& ipAddress, int udpPort,
                      Logs& logs, WindowServices& window);

// At the end of a completed run: forgets the endpoint and closes the socket,
// so the next Ethernet run creates and connects a fresh one.
void CloseEthernetAfterRun(UdpLinkState& state, CRadioSocket& socket);

// The message box text of a failed socket creation: the error number and
// what it means for the operator.
std::string SocketCreateErrorText(int error, int udpPort);

// Datagram to the radio:
//   byte 0      bits 15..8 of the passcode (its two's-complement form)
//   byte 1      bits 7..0
//   bytes 2..   the packet, unchanged (length + 2 bytes in all)
std::vector<std::uint8_t> BuildDatagram(int passcode, const std::uint8_t* packet, std::size_t length);

}  // namespace flash
