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
    explicit ApduCard(ByteCard card) : m_card(std::move(card)) {}
    explicit ApduCard(SimCard& card) : m_card([&card](std::uint8_t b) { return card.receive(b).bytes; }) {}

    // One command APDU (ISO 7816-4 cases 1 to 4, short lengths); the response
    // APDU. A malformed APDU is answered 67 00 without reaching the card; a card
    // that breaks the T=0 rules or falls silent gives 6F 00.
    std::string transmit(const std::string& apdu);

private:
    ByteCard m_card;
};

}  // namespace puolukka::sim
