// The PC/SC port's translation between the program's T=0 bytes and APDUs, fed
// any input: the byte stream the program writes is gathered into command
// APDUs, each answered by any response APDU, which becomes the T=0 bytes the
// program reads; and the virtual SIM's APDU front (the card of the vpcd bench)
// is sent any APDU. Properties: every byte written ends in exactly one APDU or
// waits for the rest of its command; an APDU is a header alone, a header with
// Le, or a header with P3 data bytes, as the instruction table says; a
// procedure byte is asked for only for data to the card; the T=0 answer ends
// with the response's status word and never carries more than P3 bytes; the
// program's T=0 exchange reads a whole answer as complete with the same data
// and status; the card answers every APDU with a status word and is never left
// in the middle of a command.
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "link/exchange.h"
#include "link/t0_exchange.h"
#include "ports/t0_apdu.h"
#include "scripted_app.h"
#include "sim/apdu_card.h"
#include "sim/card_description.h"
#include "sim/sim_card.h"

using namespace puolukka;

namespace {

// The program's own T=0 exchange over a port that answers as the PC/SC port does.
void readAsTheProgramDoes(const std::string& header, const std::string& response, const std::string& answer)
{
    const auto ins = static_cast<std::uint8_t>(header[1]);
    const auto p3 = static_cast<std::uint8_t>(header[4]);
    const std::size_t le = p3 == 0 ? 256 : p3;
    const auto isStatusByte = [](std::uint8_t b) { return ((b & 0xF0) == 0x60 && b != 0x60) || (b & 0xF0) == 0x90; };
    // Only a whole answer to a read is compared, with a status word T=0 allows
    // and an INS that T=0 allows (ISO 7816-3: never 6X or 9X).
    if (dataDirection(ins) != DataDirection::FromCard || response.size() != le + 2 ||
        !isStatusByte(static_cast<std::uint8_t>(response[le])) || (ins & 0xF0) == 0x60 || (ins & 0xF0) == 0x90)
        return;
    fuzz::ScriptedApp rig;
    rig.port.echo = true;
    rig.port.queueReply(answer);
    const T0Answer got =
        exchangeT0(t0Line(rig.app), header, T0Expect{5, T0Expect::Until::DataAndStatus, ins, int(le)});
    fuzz::check(got.status == T0Status::Complete, "a whole answer reads as complete");
    fuzz::check(got.data == response.substr(0, le), "the data read are the response's");
    fuzz::check(got.status2 == response.substr(le), "the status word read is the response's");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput in(data, size);
    T0CommandGatherer gatherer;
    std::string pending;  // bytes of the command under way
    sim::SimCard card(sim::demoCard());
    sim::ApduCard front(card);
    while (!in.empty()) {
        switch (in.number(0, 3)) {
        case 2:
            gatherer.clear();
            pending.clear();
            break;
        case 3: {
            const std::string response = front.transmit(in.piece());
            fuzz::check(response.size() >= 2 && response.size() <= 256 + 2, "the card answers with a status word");
            fuzz::check(!card.commandPending(), "the card is not left in the middle of a command");
            break;
        }
        default:
            for (const char c : in.piece()) {
                pending.push_back(c);
                const T0CommandGatherer::Step step = gatherer.feed(static_cast<std::uint8_t>(c));
                const auto ins = static_cast<std::uint8_t>(pending.size() > 1 ? pending[1] : 0);
                const auto p3 = static_cast<std::uint8_t>(pending.size() > 4 ? pending[4] : 0);
                const bool toCard = dataDirection(ins) == DataDirection::ToCard;
                switch (step.kind) {
                case T0CommandGatherer::Step::Kind::None:
                    fuzz::check(gatherer.midCommand(), "a byte taken belongs to a command under way");
                    break;
                case T0CommandGatherer::Step::Kind::Acknowledge:
                    fuzz::check(pending.size() == 5 && toCard && p3 > 0, "data to the card are asked for");
                    fuzz::check(std::uint8_t(step.procedure) == ins, "the procedure byte is INS");
                    break;
                case T0CommandGatherer::Step::Kind::Transmit: {
                    const std::string expected = toCard && p3 == 0 ? pending.substr(0, 4) : pending;
                    fuzz::check(step.apdu == expected, "the APDU is the bytes written");
                    fuzz::check(pending.size() == (toCard ? 5u + p3 : 5u), "the APDU is one whole command");
                    fuzz::check(!gatherer.midCommand() && gatherer.lastHeader() == pending.substr(0, 5),
                                "the next byte starts a new command");
                    const std::string response = in.piece();
                    const std::string answer = t0AnswerOf(gatherer.lastHeader(), response);
                    if (response.size() < 2) {
                        fuzz::check(answer.empty(), "no status word, no answer");
                    } else {
                        fuzz::check(answer.substr(answer.size() - 2) == response.substr(response.size() - 2),
                                    "the answer ends with the status word");
                        fuzz::check(answer.size() <= 1 + 256 + 2, "no more than P3 data bytes");
                        fuzz::check(!toCard || answer.size() == 2, "data to the card: the status word alone");
                        readAsTheProgramDoes(gatherer.lastHeader(), response, answer);
                    }
                    pending.clear();
                    break;
                }
                }
            }
            break;
        }
    }
    return 0;
}
