#include "ports/port_factory.h"

#include <memory>

#include "ports/pcsc_port.h"
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
        if (isPcscDevice(device))
            return std::make_unique<PcscPort>(clock, device);
        if (startsWith(lower, "rfc2217://"))
            return std::make_unique<Rfc2217Port>(clock, device.substr(10));
        return std::make_unique<PosixSerialPort>(device);
    };
}

std::string deviceCaption(const DevicePort& port, int n)
{
    const std::string device = port.device(n);
    if (!isPcscDevice(device))
        return device;
    if (port.portOpen() && port.commPort() == n)
        if (const auto* open = dynamic_cast<const PcscPort*>(port.backend()))
            return open->name();
    std::vector<PcscReader> readers;
    if (!listPcscReaders(readers))
        return device;
    const int chosen = choosePcscReader(device, readers);
    return chosen < 0 ? device : "pcsc: " + readers[std::size_t(chosen)].name;
}

}  // namespace puolukka
