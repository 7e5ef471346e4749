#pragma once
// Opening the serial link at the start of a run: (re)opens the radio port for
// the main window and configures it for the radio (57600 baud, 8N1, RTS/CTS,
// carriage return as the event character).

#include <cstdint>
#include <string>

#include "link/serial/serial_wnd.h"
#include "logs/logs.h"
#include "services/event_loop.h"
#include "services/window_services.h"

namespace flash {

// Closes the port if it is open, opens comPort for window (notifications go
// out as the registered message with parameter 0 through loop), configures it
// and logs "Using Serial Interface \r\n". True when the port is open and
// configured. Otherwise the port is left closed, the log pane and a message
// box say which port failed and why, and the result is false: the run must
// not start.
bool OpenSerialLink(CRadioPort& port, const std::string& comPort, EventLoop& loop, MessageWindow& window,
                    Logs& logs, WindowServices& services);

// The report of a port that could not be opened (opening true) or set up,
// without a line end: the port name (with its device path where they differ),
// the OS's reason, and what the operator can do about a refused permission or
// a port in use.
std::string SerialLinkFailureText(const std::string& comPort, std::int32_t result, bool opening);

}  // namespace flash
