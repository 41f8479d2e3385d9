// The virtual card's command processing (GSM 11.11 over T=0), fed any bytes
// from the reader. The input picks the card (the demo card, with CHV1 enabled
// or not) and then a sequence of steps: bytes for the card, a reset, a byte the
// card could not take. Properties: an answer is at most a procedure byte, 256
// data bytes and a status word; and whenever the card changed something it
// keeps in its file, the card file written from it reads back the same card
// (the virtual reader writes every change back to virtual:card.json).
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "sim/card_description.h"
#include "sim/sim_card.h"

using namespace puolukka;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput in(data, size);
    sim::CardDescription description = sim::demoCard();
    description.chv1Enabled = in.flag();
    sim::SimCard card(description);
    while (!in.empty()) {
        switch (in.number(0, 7)) {
        case 6:
            card.powerUp();
            (void)card.answerToReset();
            break;
        case 7:
            card.ignore(in.byte(), "parity error");
            break;
        default:
            for (const char byte : in.piece()) {
                const sim::Reaction reaction = card.receive(static_cast<std::uint8_t>(byte));
                fuzz::check(reaction.bytes.size() <= 1 + 256 + 2, "an answer fits T=0");
                fuzz::check(reaction.delayUs >= 0, "the card answers after, not before");
            }
            break;
        }
        if (card.takeChanged()) {
            const std::string written = sim::cardToJson(card.description());
            sim::CardDescription again;
            std::string error;
            fuzz::check(sim::cardFromJson(written, "card.json", &again, &error), "a changed card file reads back");
            fuzz::check(sim::cardToJson(again) == written, "a changed card file reads back the same card");
        }
        if (!card.commandPending())
            card.clearTrace();  // the trace is the card's memory of the command under way
    }
    return 0;
}
