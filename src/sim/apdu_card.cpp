#include "sim/apdu_card.h"

#include <algorithm>
#include <cstdint>

namespace puolukka::sim {

namespace {

const std::string kWrongLength("\x67\x00", 2);
const std::string kTechnicalProblem("\x6F\x00", 2);
constexpr std::uint8_t kNull = 0x60;

bool isStatusByte(std::uint8_t b)
{
    return ((b & 0xF0) == 0x60 && b != kNull) || (b & 0xF0) == 0x90;
}

}  // namespace

std::string ApduCard::broken()
{
    if (m_restart)
        m_restart();
    return kTechnicalProblem;
}

std::string ApduCard::transmit(const std::string& apdu)
{
    if (apdu.size() < 4)
        return kWrongLength;
    // The T=0 header: P3 is Lc for a command with data (case 3, and case 4
    // whose Le the card's GET RESPONSE answers later), else Le, 00 meaning 256.
    std::string header = apdu.substr(0, 4);
    std::string data;
    std::size_t expected = 0;
    if (apdu.size() <= 5) {
        const auto le = apdu.size() == 5 ? static_cast<std::uint8_t>(apdu[4]) : 0;
        header.push_back(char(le));
        expected = le == 0 ? 256 : le;
    } else {
        const auto lc = static_cast<std::size_t>(static_cast<std::uint8_t>(apdu[4]));
        if (lc == 0 || (apdu.size() != 5 + lc && apdu.size() != 6 + lc))
            return kWrongLength;  // extended lengths are not for a SIM
        header.push_back(apdu[4]);
        data = apdu.substr(5, lc);
    }

    std::string pending;
    for (char c : header)
        pending += m_card(std::uint8_t(c));
    const auto ins = static_cast<std::uint8_t>(header[1]);
    std::string response;
    std::size_t sent = 0;
    // Every round takes one byte from the card or gives it one, so this ends.
    while (!pending.empty()) {
        const auto b = static_cast<std::uint8_t>(pending[0]);
        pending.erase(0, 1);
        if (b == kNull)
            continue;
        if (isStatusByte(b)) {
            if (pending.empty())
                return broken();
            return response + char(b) + pending[0];
        }
        if (b != ins && b != std::uint8_t(ins ^ 0xFF))
            return broken();
        const bool all = b == ins;
        if (!data.empty()) {
            if (sent == data.size())
                return broken();  // the card asks for more than the command has
            const std::size_t n = all ? data.size() - sent : 1;
            for (std::size_t i = 0; i < n; ++i)
                pending += m_card(std::uint8_t(data[sent++]));
            continue;
        }
        const std::size_t room = expected - response.size();
        const std::size_t n = std::min(all ? room : std::min<std::size_t>(room, 1), pending.size());
        response += pending.substr(0, n);
        pending.erase(0, n);
    }
    return broken();
}

}  // namespace puolukka::sim
