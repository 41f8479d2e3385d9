// Serves the virtual card reader over the network as an RFC 2217 serial device
// server, so the program can reach it with the port "rfc2217://HOST:PORT".
//
//   rfc2217_server --port 7000 [--bind ADDRESS] [--card path/card.json [--save]] [--once]

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/clock.h"
#include "ports/rfc2217_server.h"
#if __has_include("sim/virtual_reader.h")
#include "sim/virtual_reader.h"
#define PUOLUKKA_HAVE_VIRTUAL_READER 1
#endif

namespace {

constexpr const char* kUsage = "usage: %s --port N [--bind ADDRESS] [--card FILE [--save]] [--once]\n";

constexpr const char* kHelp =
    "Serves the virtual card reader as an RFC 2217 serial device server.\n"
    "\n"
    "  --port N          TCP port to listen on (0: a free one, printed at start)\n"
    "  --bind ADDRESS    local address to listen on (default 127.0.0.1, this machine\n"
    "                    only; 0.0.0.0 or :: for every address)\n"
    "  --card FILE       the card described in FILE instead of the built-in demo card;\n"
    "                    its changes (records, codes, attempts left) stay in memory\n"
    "  --save            write the card's changes back to FILE\n"
    "  --once            end when the first client has gone\n"
    "\n"
    "RFC 2217 has no authentication: whoever reaches the port drives the reader,\n"
    "reads and writes the card and uses up its PIN and PUK attempts. Listen on an\n"
    "address other than 127.0.0.1 only on a network whose users you trust.\n";

int usage(const char* program)
{
    std::fprintf(stderr, kUsage, program);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    int tcpPort = -1;
    std::string bindAddress = puolukka::Rfc2217Server::kLoopback;
    std::string cardFile;
    bool save = false;
    bool once = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::printf(kUsage, argv[0]);
            std::printf("\n%s", kHelp);
            return 0;
        }
        if (arg == "--port" && i + 1 < argc) {
            char* end = nullptr;
            const long value = std::strtol(argv[++i], &end, 10);
            if (end == argv[i] || *end != '\0' || value < 0 || value > 65535)
                return usage(argv[0]);
            tcpPort = int(value);
        } else if (arg == "--bind" && i + 1 < argc) {
            bindAddress = argv[++i];
        } else if (arg == "--card" && i + 1 < argc) {
            cardFile = argv[++i];
        } else if (arg == "--save") {
            save = true;
        } else if (arg == "--once") {
            once = true;
        } else {
            return usage(argv[0]);
        }
    }
    if (tcpPort < 0 || (save && cardFile.empty()))
        return usage(argv[0]);
    std::signal(SIGPIPE, SIG_IGN);

#ifdef PUOLUKKA_HAVE_VIRTUAL_READER
    // The virtual reader times its bytes by this clock, so the card answers in real time.
    puolukka::RealClock clock;
    std::unique_ptr<puolukka::SerialPort> port;
    if (save || cardFile.empty()) {
        std::string why;
        port = puolukka::makeVirtualReaderPort(clock, cardFile, &why);
        if (!why.empty()) {
            std::fprintf(stderr, "cannot start the virtual reader: %s\n", why.c_str());
            return 1;
        }
    } else {
        // A copy: the file is only read, so a tracked example card stays as it is.
        puolukka::sim::CardDescription card;
        std::string why;
        if (!puolukka::sim::loadCardFile(cardFile, &card, &why)) {
            std::fprintf(stderr, "cannot start the virtual reader: %s\n", why.c_str());
            return 1;
        }
        port = std::make_unique<puolukka::VirtualReaderPort>(clock, std::move(card));
    }
    port->setCommPort(1);
    if (!port->portOpen() && !port->setPortOpen(true)) {
        std::fprintf(stderr, "cannot open the virtual reader: %s\n", port->lastError().description.c_str());
        return 1;
    }
    port->setInputLen(0);

    puolukka::Rfc2217Server server(*port);
    std::string error;
    if (!server.listen(bindAddress, tcpPort, &error)) {
        std::fprintf(stderr, "cannot listen: %s\n", error.c_str());
        return 1;
    }
    std::printf("listening on %s:%d\n", bindAddress.c_str(), server.localPort());
    if (!cardFile.empty())
        std::printf(save ? "the card's changes are written to %s\n"
                         : "serving a copy of %s: the card's changes stay in memory (--save writes them back)\n",
                    cardFile.c_str());
    std::fflush(stdout);
    for (;;) {
        server.pump();
        if (once && server.clientsServed() > 0 && !server.clientConnected())
            break;
        // Short, so the card's answer bytes go out as they come.
        server.waitForActivity(2);
    }
    return 0;
#else
    (void)cardFile;
    (void)once;
    (void)save;
    std::fprintf(stderr, "the virtual reader is not part of this build\n");
    return 1;
#endif
}
