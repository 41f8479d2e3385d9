#pragma once

// Test rigs for the explorer: the virtual card, and a scripted port whose reader
// echoes every byte and answers each write with the reply the test queued.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/app.h"
#include "card_fixture.h"
#include "conversions/conversions.h"
#include "scripted_port.h"
#include "scripted_screen.h"

namespace puolukka::test {

using Strings = std::vector<std::string>;

struct ScriptedCard {
    VirtualClock clock;
    ScriptedScreen screen;
    ScriptedPort port{clock};
    App app{screen, clock, port};

    ScriptedCard()
    {
        port.echo = true, port.setCommPort(1), port.setPortOpen(true);
        app.card.ClassByte = "A0", app.card.ShowInTerminal = 1;
    }
    // The reply to the next write, after 1 ms (hex digits).
    void reply(const std::string& hex) { port.queueReply(HexToBytes(hex), 1); }
    // A SELECT answered "9F len": procedure byte A4 to the header, 9F len to the identifier.
    void selectReply(const std::string& length) { reply("A4"), reply("9F" + length); }
    // A GET RESPONSE answered with the description and 90 00.
    void descriptionReply(const std::string& description) { reply("C0" + description + "9000"); }
    // Every write as hex text, from the n-th on.
    Strings written(std::size_t from = 0) const
    {
        Strings out;
        for (std::size_t i = from; i < port.writes.size(); ++i)
            out.push_back(bytesToHex(port.writes[i]));
        return out;
    }
};

// The parts appear in the text in this order.
inline void expectInOrder(const std::string& text, const Strings& parts)
{
    std::size_t at = 0;
    for (const std::string& part : parts) {
        at = text.find(part, at);
        ASSERT_NE(at, std::string::npos) << "missing, or out of order: " << part;
        at += part.size();
    }
}

}  // namespace puolukka::test
