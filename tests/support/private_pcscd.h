#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "sim/card_description.h"
#include "sim/vpcd_card.h"

namespace puolukka::test {

// A pcscd of the tests' own with one vpcd reader, in the foreground with a
// private reader.conf folder, vpcd port and client socket. pcscd ignores
// PCSCLITE_CSOCK_NAME for its own socket, so it is handed a bound one as fd 3
// (LISTEN_PID, LISTEN_FDS); pcsc-lite reads that variable once per process,
// hence one per process. pcscd still writes /run/pcscd, so it never runs
// beside a system pcscd, and a lock file keeps to one private pcscd at a time.
class PrivatePcscd {
public:
    static PrivatePcscd& instance();

    // Starts pcscd and waits for its reader; false with the reason when it cannot run.
    bool start(std::string* whyNot);
    void stop();
    bool running() const { return m_pid > 0; }

    int vpcdPort() const { return m_vpcdPort; }
    static constexpr const char* kReaderName = "Puolukka vpcd 00 00";
    // Waits until pcscd sees a card in the reader (or none); false on time-out.
    bool waitForCard(bool present, int timeoutMs = 10000) const;
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

// PUOLUKKA_REQUIRE_PCSCD=1 (CI): a machine without pcscd fails instead of skipping.
bool pcscdRequired();

// The virtual SIM served to the vpcd reader by a thread of its own.
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

#define PUOLUKKA_NEED_PCSCD()                                                                  \
    do {                                                                                       \
        std::string whyNot_;                                                                   \
        if (!::puolukka::test::PrivatePcscd::instance().start(&whyNot_)) {                     \
            if (::puolukka::test::pcscdRequired())                                             \
                FAIL() << "pcscd is required here but cannot run: " << whyNot_;                \
            GTEST_SKIP() << "no PC/SC bench: " << whyNot_;                                     \
        }                                                                                      \
    } while (false)
