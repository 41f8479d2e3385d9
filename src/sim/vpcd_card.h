#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "sim/apdu_card.h"
#include "sim/card_description.h"
#include "sim/sim_card.h"

namespace puolukka::sim {

// The virtual SIM as the card in a vpcd reader (the virtual reader driver of
// pcscd, Debian package vsmartcard-vpcd). vpcd listens on a TCP port; the card
// connects to it and is "in the reader" while the connection is up. Every
// message both ways is a 2-byte big-endian length and a payload. A 1-byte
// payload from vpcd is a control: 00 power off, 01 power on, 02 reset, 04 send
// the answer to reset; a longer one is a command APDU, answered with the
// response APDU.
//
// Nothing runs on its own: serveOnce() does one round (connect or disconnect as
// asked, then answer what has arrived), so a tool loops on it and a test runs it
// in a thread of its own.
class VpcdCard {
public:
    // cardFile: changes the card makes (records, codes, counters) are written back there.
    explicit VpcdCard(CardDescription card, std::string cardFile = {});
    ~VpcdCard();
    VpcdCard(const VpcdCard&) = delete;
    VpcdCard& operator=(const VpcdCard&) = delete;

    // Where vpcd listens. The card goes in at the next round.
    void setAddress(std::string host, int port);
    // Puts the card in (connects) or pulls it out (disconnects) at the next round.
    void setInserted(bool inserted) { m_wantInserted = inserted; }
    bool inserted() const { return m_connected; }
    // Seen with every command APDU before the card gets it; returning false
    // pulls the card out instead of answering (a card removed mid-transfer).
    void setBeforeCommand(std::function<bool(const std::string& apdu)> hook) { m_beforeCommand = std::move(hook); }

    // One round: connects or disconnects as asked, then waits up to waitMs for a
    // message and answers it. Returns false when a connection attempt failed
    // (*error says why; the next round tries again).
    bool serveOnce(int waitMs, std::string* error = nullptr);

    // The answer to one message from vpcd; empty when none is due.
    std::string answer(const std::string& payload);

    // The card, under the lock the serving round holds while it answers.
    template <class F>
    auto withCard(F&& f)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return f(m_card);
    }
    int commandsAnswered() const { return m_commands; }
    // Power-ups and resets vpcd asked for.
    int resets() const { return m_resets; }
    std::string saveError();

private:
    bool connectSocket(std::string* error);
    void closeSocket();
    bool readMessage(std::string* payload);
    bool sendMessage(const std::string& payload);

    std::mutex m_mutex;
    SimCard m_card;
    ApduCard m_apdu{m_card};
    std::string m_cardFile;
    std::string m_saveError;
    std::function<bool(const std::string&)> m_beforeCommand;

    std::string m_host = "127.0.0.1";
    int m_port = 35963;  // Debian's vpcd reader (DEVICENAME /dev/null:0x8C7B)
    int m_fd = -1;
    std::atomic<bool> m_wantInserted{true};
    std::atomic<bool> m_connected{false};
    std::atomic<int> m_commands{0};
    std::atomic<int> m_resets{0};
};

}  // namespace puolukka::sim
