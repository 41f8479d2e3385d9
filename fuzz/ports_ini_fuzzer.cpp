// ports.ini and the network addresses it may name. Properties: every port
// number has a device, a device is one line, a file read with CR LF
// line ends gives the same map and warnings as with LF, and an RFC 2217
// address is taken apart without touching the network.
#include <cstdint>
#include <string>

#include "app/clock.h"
#include "fuzz_input.h"
#include "ports/ports_ini.h"
#include "ports/rfc2217_port.h"

using namespace puolukka;

namespace {

std::string withCrLf(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    PortsMap lf;
    PortsMap crlf;
    lf.parse(text);
    crlf.parse(withCrLf(text));
    fuzz::check(lf.warnings() == crlf.warnings(), "CR LF and LF files give the same warnings");
    VirtualClock clock;
    for (int n = 0; n <= 100; ++n) {
        const std::string device = lf.deviceForPort(n);
        fuzz::check(device == crlf.deviceForPort(n), "CR LF and LF files give the same devices");
        fuzz::check(n < 1 || !device.empty(), "every port number from 1 up has a device");
        fuzz::check(device.find('\n') == std::string::npos, "a device is one line");
        if (device.rfind("rfc2217://", 0) == 0) {
            const Rfc2217Port port(clock, device);  // parses the address; connects only when opened
            fuzz::check(port.name() == device, "the port is named by its address");
        }
    }
    return 0;
}
