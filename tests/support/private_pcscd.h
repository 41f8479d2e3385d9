#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "sim/card_description.h"
#include "sim/vpcd_card.h"

namespace puolukka::test {

// A pcscd of the tests' own with one vpcd reader: the PC/SC bench with real
// parts. It runs in the foreground with a private reader.conf folder (-c), a
// vpcd port of its own and its own client socket, handed over the way systemd
// does it (an already bound socket as fd 3, LISTEN_PID, LISTEN_FDS), because
// pcscd ignores PCSCLITE_CSOCK_NAME for its own socket; the clients of this
// process find it through PCSCLITE_CSOCK_NAME, which pcsc-lite reads once per
// process. Hence one per process: instance().
//
// pcscd still writes /run/pcscd/pcscd.pid and empties /run/pcscd when it ends,
// so it never runs beside a pcscd of the system, and only one private pcscd
// runs on the machine at a time (a lock file held until both this process and
// its pcscd are gone).
class PrivatePcscd {
public:
    static PrivatePcscd& instance();

    // Starts pcscd (if not running) and waits until its reader is there.
    // False with the reason when pcscd cannot run on this machine.
    bool start(std::string* whyNot);
    // Ends pcscd and waits for it; the lock is kept until the process ends.
    void stop();
    bool running() const { return m_pid > 0; }

    // The vpcd reader: a card connects to 127.0.0.1:vpcdPort().
    int vpcdPort() const { return m_vpcdPort; }
    static constexpr const char* kReaderName = "Puolukka vpcd 00 00";
    // Waits until pcscd sees a card in the reader (or none); false on time-out.
    bool waitForCard(bool present, int timeoutMs = 10000) const;
    // pcscd's own output, for a failure message.
    std::string log() const;

private:
    PrivatePcscd() = default;
    ~PrivatePcscd();
    bool prepare(std::string* whyNot);

    std::string m_folder;
    std::string m_socketPath;
    int m_vpcdPort = 0;
    int m_lockFd = -1;
    int m_pid = -1;
};

// True when the tests must not be skipped for want of pcscd (CI sets
// PUOLUKKA_REQUIRE_PCSCD=1): a machine that cannot run it is then a failure.
bool pcscdRequired();

// The virtual SIM served to the private pcscd's vpcd reader by a thread of its own.
class ServedCard {
public:
    explicit ServedCard(sim::CardDescription card, std::string cardFile = {});
    ~ServedCard();
    ServedCard(const ServedCard&) = delete;
    ServedCard& operator=(const ServedCard&) = delete;

    sim::VpcdCard& vpcd() { return m_vpcd; }
    // Pulls the card out or puts it back, and waits until pcscd has seen it.
    bool setInserted(bool inserted);

private:
    sim::VpcdCard m_vpcd;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace puolukka::test

// Skips the test with the reason when pcscd cannot run here, or fails it
// where the tests require pcscd.
#define PUOLUKKA_NEED_PCSCD()                                                                  \
    do {                                                                                       \
        std::string whyNot_;                                                                   \
        if (!::puolukka::test::PrivatePcscd::instance().start(&whyNot_)) {                     \
            if (::puolukka::test::pcscdRequired())                                             \
                FAIL() << "pcscd is required here but cannot run: " << whyNot_;                \
            GTEST_SKIP() << "no PC/SC bench: " << whyNot_;                                     \
        }                                                                                      \
    } while (false)
