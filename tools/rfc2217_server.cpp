// Serves the virtual card reader over the network as an RFC 2217 serial device
// server, so the program can reach it with the port "rfc2217://127.0.0.1:PORT".
//
//   rfc2217_server --port 7000 [--card path/card.json] [--once]

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

int usage(const char* program)
{
    std::fprintf(stderr, "usage: %s --port N [--card card.json] [--once]\n", program);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    int tcpPort = -1;
    std::string cardFile;
    bool once = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--port" && i + 1 < argc) {
            char* end = nullptr;
            const long value = std::strtol(argv[++i], &end, 10);
            if (end == argv[i] || *end != '\0' || value < 0 || value > 65535)
                return usage(argv[0]);
            tcpPort = int(value);
        } else if (arg == "--card" && i + 1 < argc) {
            cardFile = argv[++i];
        } else if (arg == "--once") {
            once = true;
        } else {
            return usage(argv[0]);
        }
    }
    if (tcpPort < 0)
        return usage(argv[0]);
    std::signal(SIGPIPE, SIG_IGN);

#ifdef PUOLUKKA_HAVE_VIRTUAL_READER
    // The virtual reader times its bytes by this clock, so the card answers in real time.
    puolukka::RealClock clock;
    std::string why;
    std::unique_ptr<puolukka::SerialPort> port = puolukka::makeVirtualReaderPort(clock, cardFile, &why);
    if (!port) {
        std::fprintf(stderr, "cannot start the virtual reader: %s\n", why.c_str());
        return 1;
    }
    port->setCommPort(1);
    if (!port->portOpen() && !port->setPortOpen(true)) {
        std::fprintf(stderr, "cannot open the virtual reader: %s\n", port->lastError().description.c_str());
        return 1;
    }
    port->setInputLen(0);

    puolukka::Rfc2217Server server(*port);
    std::string error;
    if (!server.listen(tcpPort, &error)) {
        std::fprintf(stderr, "cannot listen: %s\n", error.c_str());
        return 1;
    }
    std::printf("listening on 127.0.0.1:%d\n", server.localPort());
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
    std::fprintf(stderr, "the virtual reader is not part of this build\n");
    return 1;
#endif
}
