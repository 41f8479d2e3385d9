// The RFC 2217 network port fed whatever a device server may send, over a
// socketpair in virtual time. The input holds the server's bytes for the
// opening, then a sequence of steps: more bytes from the server (any bytes, or
// a well-formed piece of Telnet stream), and the program's calls on the port
// (read, write, poll, purge, settings, lines). Properties: the port delivers
// exactly the data of the server's Telnet stream, in order, and, when the
// server sent only well-formed pieces after the opening, exactly the data those
// pieces carried; the server receives exactly the data the program wrote,
// escaped; a Telnet stream reads the same whole or in pieces; a port that does
// not open says why.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "app/clock.h"
#include "fuzz_input.h"
#include "ports/rfc2217_port.h"
#include "telnet_stream.h"

using namespace puolukka;

namespace {

const char* const kSettings[] = {"9600,E,8,1", "9600,O,8,2", "115200,N,8,1", "300,M,7,1.5", "1200,S,5,1", "x"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput in(data, size);
    const auto [near, server] = fuzz::socketPair();

    VirtualClock clock;
    Rfc2217Port port(clock, "rfc2217://fuzz:2217");
    port.setSettings(kSettings[in.number(0, 3)]);
    port.setHandshaking(in.number(0, 3));
    port.setInputLen(in.number(0, 4));

    std::string fromServer = in.bytes(std::size_t(in.number(0, 1023)));
    fuzz::sendAll(server, fromServer);
    std::string toServer;
    const bool opened = port.openConnected(near);
    fuzz::drain(server, toServer);
    if (!opened) {
        fuzz::check(port.lastError().number == port_error::DeviceNotAvailable && !port.portOpen(),
                    "a port that does not open says why");
        ::close(server);
        return 0;
    }

    std::string received;
    std::string written;
    bool serverGone = false;
    bool purged = false;
    // The data the server meant to send, while everything it sent was well formed.
    bool wellFormed = fuzz::endsClean(fromServer);
    std::string meant = fuzz::readTelnet(fromServer).data;
    while (!in.empty()) {
        switch (in.number(0, 10)) {
        case 0: {
            const std::string bytes = in.piece();
            if (!serverGone) {
                fuzz::sendAll(server, bytes);
                fromServer += bytes;
                wellFormed = false;
            }
            break;
        }
        case 10: {
            std::string data;
            const std::string bytes = fuzz::telnetPiece(in, data);
            if (!serverGone) {
                fuzz::sendAll(server, bytes);
                fromServer += bytes;
                meant += data;
            }
            break;
        }
        case 1:
            received += port.input();
            break;
        case 2:
            (void)port.pollEvents();
            break;
        case 3:
            (void)port.inBufferCount();
            break;
        case 4: {
            const std::string bytes = in.piece();
            if (port.output(bytes))
                written += bytes;
            break;
        }
        case 5:
            port.clearInBuffer();
            purged = true;
            break;
        case 6:
            port.clearOutBuffer();
            break;
        case 7:
            port.setSettings(kSettings[in.number(0, 5)]);
            port.setRTSEnable(in.flag());
            port.setDTREnable(in.flag());
            port.setHandshaking(in.number(-1, 4));
            break;
        case 8:
            (void)port.cdHolding();
            (void)port.ctsHolding();
            (void)port.dsrHolding();
            break;
        case 9:
            ::shutdown(server, SHUT_WR);  // the server goes away
            serverGone = true;
            break;
        }
        fuzz::drain(server, toServer);
        clock.advanceUs(1000);
    }
    port.setInputLen(0);
    for (std::string more = port.input(); !more.empty(); more = port.input())
        received += more;
    fuzz::drain(server, toServer);
    ::close(server);

    const fuzz::TelnetStream sent = fuzz::readTelnet(fromServer);
    if (!purged) {
        fuzz::check(received == sent.data, "the port delivers the server's data, in order");
        if (wellFormed)
            fuzz::check(received == meant, "the port delivers the data the server meant");
    }
    fuzz::check(fuzz::readTelnet(toServer).data == written, "the server receives the data written, in order");
    const fuzz::TelnetStream inPieces = fuzz::readTelnet(fromServer, 1);
    fuzz::check(inPieces.data == sent.data && inPieces.commands == sent.commands,
                "a stream reads the same in pieces");
    return 0;
}
