// The RFC 2217 device server fed whatever a network client may send, over a
// socketpair in virtual time, with a scripted serial line behind it (the
// reader's tied lines echo every byte written). The input is a sequence of
// steps: bytes from the client (any bytes, or a well-formed piece of Telnet
// stream), a pump of the server, bytes and line events arriving on the serial
// line, the client going away. Properties: the line receives exactly the data
// of the client's Telnet stream, in order, and, when the client sent only
// well-formed pieces, exactly the data they carried; while no purge was asked
// for, the client receives every byte the line gave; and the server's own
// stream is well formed (it reads the same whole or in pieces).
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "app/clock.h"
#include "fuzz_input.h"
#include "ports/rfc2217_server.h"
#include "scripted_port.h"
#include "telnet_stream.h"

using namespace puolukka;

namespace {

const int kLineEvents[] = {comm_event::Break, comm_event::Frame, comm_event::Overrun, comm_event::RxParity,
                           comm_event::RxOver, comm_event::Cd, comm_event::Cts, comm_event::Dsr,
                           comm_event::Ring, comm_event::Receive};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput in(data, size);
    const auto [near, client] = fuzz::socketPair();

    VirtualClock clock;
    test::ScriptedPort port{clock};
    port.echo = true;
    port.setCommPort(1);
    port.setPortOpen(true);
    Rfc2217Server server(port);
    server.adoptClient(near);

    std::string fromClient;
    std::string toClient;
    std::string lineBytes;  // what the line gave while the client was there
    bool clientGone = false;
    bool wellFormed = true;  // and the data the client meant to send while so
    std::string meant;
    while (!in.empty()) {
        switch (in.number(0, 6)) {
        case 0:
        case 1: {
            const std::string bytes = in.piece();
            if (!clientGone && fuzz::sendAll(client, bytes)) {
                fromClient += bytes;
                wellFormed = false;
            }
            break;
        }
        case 6: {
            std::string data;
            const std::string bytes = fuzz::telnetPiece(in, data);
            if (!clientGone && fuzz::sendAll(client, bytes)) {
                fromClient += bytes;
                meant += data;
            }
            break;
        }
        case 2:
            server.pump();
            break;
        case 3: {
            const std::string bytes = in.piece();
            port.deliver(bytes);
            if (server.clientConnected())
                lineBytes += bytes;
            break;
        }
        case 4:
            port.events.push_back(kLineEvents[in.number(0, 9)]);
            port.cd = in.flag();
            port.cts = in.flag();
            port.dsr = in.flag();
            break;
        case 5:
            ::shutdown(client, SHUT_WR);  // the client goes away
            clientGone = true;
            break;
        }
        fuzz::drain(client, toClient);
        clock.advanceUs(1000);
    }
    for (int round = 0; round < 4; ++round) {
        server.pump();
        fuzz::drain(client, toClient);
    }
    ::close(client);

    std::string written;
    for (const std::string& w : port.writes)
        written += w;
    const fuzz::TelnetStream sent = fuzz::readTelnet(fromClient);
    fuzz::check(written == sent.data, "the line receives the client's data, in order");
    if (wellFormed)
        fuzz::check(written == meant, "the line receives the data the client meant");
    const fuzz::TelnetStream answer = fuzz::readTelnet(toClient);
    const fuzz::TelnetStream inPieces = fuzz::readTelnet(toClient, 1);
    fuzz::check(inPieces.data == answer.data && inPieces.commands == answer.commands,
                "the server's stream reads the same in pieces");
    if (!sent.purged && !clientGone && server.clientConnected())
        fuzz::check(answer.data.size() == written.size() + lineBytes.size() || port.pendingCount() > 0,
                    "the client receives every byte of the line");
    return 0;
}
