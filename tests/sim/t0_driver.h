#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/clock.h"
#include "card_fixture.h"
#include "sim/card_description.h"
#include "sim/virtual_reader.h"

namespace puolukka::test {

inline std::string hex(const std::string& bytes) { return sim::toHex(bytes); }
inline std::string bytesOf(const std::string& hexText)
{
    std::string b;
    sim::parseHex(hexText, &b);
    return b;
}

// Drives the reader as the program does: header, wait, data, wait, and reads
// back echo, procedure byte, data and status word. Written from ISO 7816-3 T=0,
// independent of the program's own command code.
class T0Driver {
public:
    T0Driver(VirtualReaderPort& port, VirtualClock& clock) : m_port(port), m_clock(clock) {}

    struct Answer {
        std::string data;  // response data of an outgoing command
        std::string sw;    // status word as four hex digits
    };

    // Writes the bytes of hex, waits waitMs and returns all that arrived.
    std::string exchange(const std::string& hexText, int waitMs = 50)
    {
        m_port.output(convert(bytesOf(hexText)));
        m_clock.sleepMs(waitMs);
        return convert(m_port.input());
    }

    // The header, its procedure byte, then the data whatever came back (as the program does);
    // what follows the echoes is the response data and the status word.
    Answer command(const std::string& header, const std::string& data = {}, int waitMs = 50)
    {
        auto after = [](const std::string& s, std::size_t n) { return s.size() > n ? s.substr(n) : std::string(); };
        std::string rest = after(exchange(header, waitMs), 5);
        if (!rest.empty() && rest[0] == bytesOf(header)[1])
            rest.erase(0, 1);
        if (!data.empty())
            rest = after(exchange(data, waitMs), data.size() / 2);
        if (rest.size() < 2)
            return {};
        return {rest.substr(0, rest.size() - 2), hex(rest.substr(rest.size() - 2))};
    }

    static std::string codeHex(std::string code) { return hex(code.append(8 - code.size(), '\xFF')); }
    // Pulses RTS on then off, waits 300 ms and returns what came.
    std::string resetByRts()
    {
        m_port.clearInBuffer();
        m_port.setRTSEnable(true);
        m_clock.sleepMs(250);
        m_port.setRTSEnable(false);
        m_clock.sleepMs(300);
        return convert(m_port.input());
    }

    bool inverse = false;  // transform both ways as the program does under inverse convention

private:
    std::string convert(std::string bytes) const
    {
        if (inverse)
            for (char& c : bytes)
                c = char(sim::inverseByte(std::uint8_t(c)));
        return bytes;
    }
    VirtualReaderPort& m_port;
    VirtualClock& m_clock;
};

// One command of a script: header, data (hex), the status word, and the response data when given.
struct Step {
    std::string header, data, sw, response = "*";  // "*": not checked
};

inline Step select(const std::string& id, const std::string& sw) { return {"A0A4000002", id, sw}; }
inline Step verify(const std::string& p2, const std::string& code, const std::string& sw)
{
    return {"A02000" + p2 + "08", T0Driver::codeHex(code), sw};
}

// Runs the steps in order on the fixture's card; each must leave no command half done.
inline void runScript(CardFixture& f, T0Driver& d, const std::vector<Step>& steps)
{
    for (const Step& s : steps) {
        const T0Driver::Answer a = d.command(s.header, s.data, 100);
        EXPECT_EQ(a.sw, s.sw) << s.header << " " << s.data;
        EXPECT_TRUE(s.response == "*" || hex(a.data) == s.response) << s.header << " answered " << hex(a.data);
        EXPECT_FALSE(f.card().commandPending()) << s.header;
    }
}

}  // namespace puolukka::test
