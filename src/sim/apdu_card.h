#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "sim/sim_card.h"

namespace puolukka::sim {

// The virtual SIM seen through a PC/SC reader: whole command APDUs in, whole
// response APDUs (data, SW1 SW2) out. The card itself still speaks T=0 byte by
// byte; this front plays the reader's part of ISO 7816-3 (10.3) for it: it
// sends the header, follows the procedure bytes (INS: all remaining data,
// its complement: one byte, 60: wait on), sends or collects the data and
// returns at the status word. Like pcsc-lite it sends no GET RESPONSE of its
// own after 9F xx: the host does.
class ApduCard {
public:
    // The card: what it sends in answer to each byte it receives.
    using ByteCard = std::function<std::string(std::uint8_t)>;
    // restart: what the reader does to a card that broke the exchange, so the
    // next command does not land in the middle of the broken one.
    explicit ApduCard(ByteCard card, std::function<void()> restart = {})
        : m_card(std::move(card)), m_restart(std::move(restart))
    {
    }
    // The virtual SIM; one left in the middle of a command is powered up afresh,
    // as a reader deactivates a card that stopped following T=0.
    explicit ApduCard(SimCard& card)
        : ApduCard([&card](std::uint8_t b) { return card.receive(b).bytes; },
                   [&card] {
                       if (card.commandPending())
                           card.powerUp();
                   })
    {
    }

    // One command APDU (ISO 7816-4 cases 1 to 4, short lengths); the response
    // APDU. A malformed APDU is answered 67 00 without reaching the card; a card
    // that breaks the T=0 rules or falls silent gives 6F 00 and is restarted.
    std::string transmit(const std::string& apdu);

private:
    std::string broken();

    ByteCard m_card;
    std::function<void()> m_restart;
};

}  // namespace puolukka::sim
