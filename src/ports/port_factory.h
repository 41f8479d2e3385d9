#pragma once

#include <string>

#include "app/clock.h"
#include "ports/device_port.h"

namespace puolukka {

// The backends of the program's port, by device text (as ports.ini gives it):
//   "virtual"            the virtual reader with the built-in demo card
//   "virtual:card.json"  the virtual reader with a card file (relative to startDirectory)
//   "rfc2217://host:port" a serial port behind an RFC 2217 device server
//   anything else        a serial device of the machine, e.g. /dev/ttyUSB0
DevicePort::Factory makeBackendFactory(Clock& clock, const std::string& startDirectory);

}  // namespace puolukka
