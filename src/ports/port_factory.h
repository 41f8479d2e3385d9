#pragma once

#include <string>

#include "app/clock.h"
#include "ports/device_port.h"

namespace puolukka {

// The backends of the program's port, by device text (as ports.ini gives it):
//   "virtual"            the virtual reader with the built-in demo card
//   "virtual:card.json"  the virtual reader with a card file (relative to startDirectory)
//   "rfc2217://host:port" a serial port behind an RFC 2217 device server
//   "pcsc", "pcsc:TEXT"  a card in a PC/SC reader (the first holding a card, or
//                        the first whose name contains TEXT)
//   anything else        a serial device of the machine, e.g. /dev/ttyUSB0
DevicePort::Factory makeBackendFactory(Clock& clock, const std::string& startDirectory);

// What the settings dialog shows as the device of port n: the text of ports.ini,
// and for a PC/SC reader "pcsc: <reader name>" (the reader the open port uses,
// else the one the text names now; the text itself when none fits).
std::string deviceCaption(const DevicePort& port, int n);

}  // namespace puolukka
