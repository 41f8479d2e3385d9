#pragma once

// A test rig for the explorer and PIN operations over a scripted port: the
// reader echoes every byte, and each write takes the reply the test queued.

#include <string>
#include <vector>

#include "app/app.h"
#include "conversions/conversions.h"
#include "scripted_port.h"
#include "scripted_screen.h"

namespace puolukka::test {

inline std::string bytes(const std::string& hex) { return HexToBytes(hex); }

struct ScriptedCard {
    VirtualClock clock;
    ScriptedScreen screen;
    ScriptedPort port{clock};
    App app{screen, clock, port};

    ScriptedCard()
    {
        port.echo = true;
        port.setCommPort(1);
        port.setPortOpen(true);
        app.card.ClassByte = "A0";
        app.card.ShowInTerminal = 1;
    }

    // The reply to the next write, after 1 ms (hex digits).
    void reply(const std::string& hex) { port.queueReply(bytes(hex), 1); }
    // A SELECT answered "9F len": procedure byte A4 to the header, 9F len to the identifier.
    void selectReply(const std::string& length = "16")
    {
        reply("A4");
        reply("9F" + length);
    }
    // A GET RESPONSE answered with the description and 90 00.
    void descriptionReply(const std::string& description) { reply("C0" + description + "9000"); }

    // Every write as hex text.
    std::vector<std::string> writtenHex() const
    {
        std::vector<std::string> out;
        for (const std::string& w : port.writes)
            out.push_back(bytesToHex(w));
        return out;
    }
};

}  // namespace puolukka::test
