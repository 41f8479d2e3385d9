#pragma once

#include <string>

#include "app/clock.h"
#include "sim/card_description.h"
#include "sim/virtual_reader.h"

namespace puolukka::test {

// Drives the reader as the program does: header, wait, data, wait, and reads
// back echo, procedure byte, data and status word. Written from ISO 7816-3 T=0,
// independent of the program's own command code.
class T0Driver {
public:
    T0Driver(VirtualReaderPort& port, VirtualClock& clock) : m_port(port), m_clock(clock) {}

    struct Answer {
        std::string headerChunk;  // everything read after the header
        std::string dataChunk;    // everything read after the data (empty when none was sent)
        std::string procedure;    // the procedure byte, when the card sent one
        std::string data;         // response data of an outgoing command
        std::string sw;           // status word as four hex digits
    };

    // Writes the bytes of hex, waits waitMs and returns all that arrived.
    std::string exchange(const std::string& hex, int waitMs = 50)
    {
        std::string bytes;
        sim::parseHex(hex, &bytes);
        if (inverse) for (char& c : bytes) c = char(sim::inverseByte(std::uint8_t(c)));
        m_port.output(bytes);
        m_clock.sleepMs(waitMs);
        std::string in = m_port.input();
        if (inverse) for (char& c : in) c = char(sim::inverseByte(std::uint8_t(c)));
        return in;
    }

    Answer command(const std::string& header, const std::string& data = {}, int waitMs = 50)
    {
        Answer a;
        std::string headerBytes;
        sim::parseHex(header, &headerBytes);
        a.headerChunk = exchange(header, waitMs);
        std::string rest = a.headerChunk.size() >= 5 ? a.headerChunk.substr(5) : std::string();
        if (!rest.empty() && rest[0] == headerBytes[1]) {
            a.procedure = rest.substr(0, 1);
            rest.erase(0, 1);
        }
        // Like the program, the data go out whatever came back after the header.
        if (!data.empty()) {
            a.dataChunk = exchange(data, waitMs);
            std::string dataBytes;
            sim::parseHex(data, &dataBytes);
            rest = a.dataChunk.size() >= dataBytes.size() ? a.dataChunk.substr(dataBytes.size()) : std::string();
        }
        if (rest.size() >= 2) {
            a.sw = sim::toHex(rest.substr(rest.size() - 2));
            a.data = rest.substr(0, rest.size() - 2);
        }
        return a;
    }

    // The usual steps, each returning the final status word.
    std::string select(const std::string& id) { return command("A0A4000002", id).sw; }
    std::string verifyChv1(const std::string& code) { return command("A020000108", codeHex(code)).sw; }
    static std::string codeHex(const std::string& code)
    {
        std::string padded = code;
        padded.resize(8, '\xFF');
        return sim::toHex(padded);
    }
    // Pulses RTS on then off, waits 300 ms and returns what came.
    std::string resetByRts()
    {
        m_port.clearInBuffer();
        m_port.setRTSEnable(true);
        m_clock.sleepMs(250);
        m_port.setRTSEnable(false);
        m_clock.sleepMs(300);
        std::string in = m_port.input();
        if (inverse) for (char& c : in) c = char(sim::inverseByte(std::uint8_t(c)));
        return in;
    }

    bool inverse = false;  // transform both ways as the program does under inverse convention

private:
    VirtualReaderPort& m_port;
    VirtualClock& m_clock;
};

}  // namespace puolukka::test
