#pragma once

#include <cstdint>
#include <string>

#include "app/app.h"
#include "app/clock.h"
#include "scripted_screen.h"
#include "sim/card_description.h"
#include "sim/virtual_reader.h"

namespace puolukka::test {

// Variations of the demo card for tests.
struct CardOptions {
    bool inverse = false;          // inverse convention: ATR 3F ..., odd parity on the line
    bool pin1Enabled = true;
    int adnRecordLength = 28;      // the demo entries are re-encoded to this length (names cut to fit)
    int adnRecordCount = 100;
    int extraDelayMs = 0;          // a slow card: extra thinking before every procedure byte and status
    bool resetAssertedWhenOn = true;
};

// The folder XDG_DATA_HOME points at while the tests run (set by the first
// CardFixture): a folder of the test process, removed when it ends.
std::string testDataHome();

// The demo card changed as the options say.
sim::CardDescription makeCard(const CardOptions& options);

// The program as start-up leaves it, with the virtual reader and the demo card
// (or the card given) on COM1: class byte "A0", settings 9600,E,8,1, port open,
// RThreshold 1, SThreshold 1, InputLen 0, ShowInTerminal 1, InverseConvention 0.
// Nothing has been reset yet.
class CardFixture {
public:
    CardFixture() : CardFixture(sim::demoCard()) {}
    explicit CardFixture(const CardOptions& options) : CardFixture(makeCard(options)) {}
    // cardFile: the card writes its changes back to that file.
    explicit CardFixture(sim::CardDescription card, std::string cardFile = {});
    CardFixture(const CardFixture&) = delete;
    CardFixture& operator=(const CardFixture&) = delete;

    // Shorthands for the card in the reader.
    sim::SimCard& card() { return port.card(); }
    std::string adnRecord(int number) { return port.card().recordOf(0x6F3A, number); }

    VirtualClock clock;
    ScriptedScreen screen;
    VirtualReaderPort port;
    App app;
};

}  // namespace puolukka::test
