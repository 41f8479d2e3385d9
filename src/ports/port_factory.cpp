#include "ports/port_factory.h"

#include <memory>

#include "ports/posix_serial_port.h"
#include "ports/rfc2217_port.h"
#include "sim/virtual_reader.h"

namespace puolukka {

namespace {

std::string lowerCase(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

bool startsWith(const std::string& s, const std::string& prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

DevicePort::Factory makeBackendFactory(Clock& clock, const std::string& startDirectory)
{
    return [&clock, startDirectory](const std::string& device, PortError& error) -> std::unique_ptr<SerialPort> {
        const std::string lower = lowerCase(device);
        if (lower == "virtual" || startsWith(lower, "virtual:")) {
            std::string cardFile = lower == "virtual" ? std::string() : device.substr(8);
            if (!cardFile.empty() && cardFile.front() != '/')
                cardFile = startDirectory + "/" + cardFile;
            std::string why;
            std::unique_ptr<SerialPort> port = makeVirtualReaderPort(clock, cardFile, &why);
            // A card file that cannot be read is reported now and not kept, so that a
            // mended file is read again at the next open.
            if (!port || !why.empty()) {
                error = PortError{port_error::DeviceNotAvailable, "MSComm1",
                                  why.empty() ? "The virtual reader could not be started" : why};
                return nullptr;
            }
            return port;
        }
        if (startsWith(lower, "rfc2217://"))
            return std::make_unique<Rfc2217Port>(clock, device.substr(10));
        return std::make_unique<PosixSerialPort>(device);
    };
}

}  // namespace puolukka
