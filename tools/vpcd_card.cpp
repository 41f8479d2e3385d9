// Puts the virtual SIM into a vpcd reader of pcscd, so that the program (with
// "COM1 = pcsc" in ports.ini) or any PC/SC tool reaches it as a card in a
// USB reader. vpcd must be listening (pcscd started with its reader.conf);
// the card waits for it and goes back in when pcscd restarts.
//
//   vpcd_card [--card card.json] [--host 127.0.0.1] [--port 35963]
//
// Without --card the built-in demo card is used (changes are not kept).

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sim/card_description.h"
#include "sim/vpcd_card.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void onSignal(int)
{
    g_stop = 1;
}

int usage(const char* program)
{
    std::fprintf(stderr, "usage: %s [--card card.json] [--host HOST] [--port N]\n", program);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string cardFile;
    std::string host = "127.0.0.1";
    int port = 35963;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--card" && i + 1 < argc) {
            cardFile = argv[++i];
        } else if (arg == "--host" && i + 1 < argc) {
            host = argv[++i];
        } else if (arg == "--port" && i + 1 < argc) {
            char* end = nullptr;
            const long value = std::strtol(argv[++i], &end, 10);
            if (end == argv[i] || *end != '\0' || value < 1 || value > 65535)
                return usage(argv[0]);
            port = int(value);
        } else {
            return usage(argv[0]);
        }
    }

    puolukka::sim::CardDescription card = puolukka::sim::demoCard();
    if (!cardFile.empty()) {
        std::string why;
        if (!puolukka::sim::loadCardFile(cardFile, &card, &why)) {
            std::fprintf(stderr, "cannot read the card: %s\n", why.c_str());
            return 1;
        }
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGPIPE, SIG_IGN);

    puolukka::sim::VpcdCard vpcd(std::move(card), cardFile);
    vpcd.setAddress(host, port);
    bool wasIn = false;
    std::string lastError;
    while (!g_stop) {
        std::string error;
        const bool ok = vpcd.serveOnce(100, &error);
        if (!ok && error != lastError)
            std::fprintf(stderr, "waiting for vpcd: %s\n", error.c_str());
        lastError = ok ? std::string() : error;
        if (vpcd.inserted() != wasIn) {
            wasIn = vpcd.inserted();
            std::printf(wasIn ? "card in the vpcd reader at %s:%d\n" : "card out of the reader (%s:%d)\n",
                        host.c_str(), port);
            std::fflush(stdout);
        }
        const std::string saveError = vpcd.saveError();
        if (!saveError.empty()) {
            std::fprintf(stderr, "cannot save the card: %s\n", saveError.c_str());
            return 1;
        }
    }
    return 0;
}
