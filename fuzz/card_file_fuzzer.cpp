// Card description files (virtual:card.json): any text. Properties: reading
// never ends the program, a refused file says which file and why, and a card
// that was read is written back (as the virtual card saves its changes) to a
// text that reads back to the same card. A card wired for reset answers one.
#include <cstdint>
#include <string>

#include "app/clock.h"
#include "fuzz_input.h"
#include "sim/card_description.h"
#include "sim/virtual_reader.h"

using namespace puolukka;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    sim::CardDescription card;
    std::string error;
    if (!sim::cardFromJson(text, "card.json", &card, &error)) {
        fuzz::check(error.starts_with("Card file card.json: "), "a refused file names the file");
        return 0;
    }
    fuzz::check(error.empty(), "a card that was read has no error");
    const std::string written = sim::cardToJson(card);
    sim::CardDescription again;
    fuzz::check(sim::cardFromJson(written, "written.json", &again, &error), "a written card file reads back");
    fuzz::check(sim::cardToJson(again) == written, "a written card file reads back the same card");

    // The reader with this card: a reset on RTS gives its answer to reset.
    VirtualClock clock;
    VirtualReaderPort port(clock, card);
    port.setSettings(card.inverse ? "9600,O,8,1" : "9600,E,8,1");
    port.setPortOpen(true);
    port.setRTSEnable(true);
    port.setDTREnable(true);
    clock.sleepMs(10);
    port.setRTSEnable(false);
    port.setDTREnable(false);
    clock.sleepMs(200);
    (void)port.input();
    (void)port.pollEvents();
    if (card.resetOnRts || card.resetOnDtr)
        fuzz::check(!port.trace().empty(), "a card wired for reset answers a reset");
    return 0;
}
