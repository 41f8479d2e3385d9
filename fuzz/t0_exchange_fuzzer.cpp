// The T=0 exchange fed whatever a card may answer, in pieces at any time, over
// a scripted port in virtual time. The input picks the command (READ RECORD
// header, UPDATE RECORD header, or a data block), the convention, whether the
// reader echoes, stale bytes waiting before the write, and the answer's pieces.
// Properties: the exchange writes the command once, gives up within the work
// waiting time after the last character, never takes more data than asked
// for, a status word is two bytes, and an answer called complete holds
// everything it should.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "conversions/conversions.h"
#include "fuzz_input.h"
#include "link/exchange.h"
#include "link/t0_exchange.h"
#include "scripted_app.h"

using namespace puolukka;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput in(data, size);
    fuzz::ScriptedApp rig;
    auto& [clock, screen, port, app] = rig;

    using Until = T0Expect::Until;
    std::string command;
    T0Expect expect;
    switch (in.number(0, 2)) {
    case 0: {  // READ RECORD: procedure byte B2, then the record and the status word
        const int length = in.byte();
        command = std::string("\xA0\xB2\x01\x04", 4) + char(length);
        expect = T0Expect{5, Until::DataAndStatus, 0xB2, length};
        break;
    }
    case 1:  // UPDATE RECORD header: the procedure byte asks for the data
        command = std::string("\xA0\xDC\x01\x04\x1C", 5);
        expect = T0Expect{5, Until::Procedure, 0xDC, 0};
        break;
    default:  // the record's data block: only the status word comes back
        command = in.piece();
        if (command.empty())
            command = std::string(28, '\xFF');
        expect = T0Expect{int(command.size()), Until::StatusWord, -1, 0};
        break;
    }
    const bool inverse = in.flag();
    port.echo = in.flag();
    app.card.InverseConvention = inverse ? 1 : 0;
    const std::string stale = in.piece();
    if (!stale.empty())
        port.deliver(stale);

    std::vector<test::ScriptedPort::Piece> pieces;
    std::string answered;
    int lastMs = 0;
    while (!in.empty() && pieces.size() < 16) {
        const int delayMs = in.number(0, 1200);
        lastMs = std::max(lastMs, delayMs);
        const std::string bytes = in.piece();
        answered += bytes;
        pieces.push_back({delayMs, inverse ? inverseBytes(bytes) : bytes});
    }
    port.queueReply(pieces);

    const T0Line line = t0Line(app);
    const T0Answer answer = exchangeT0(line, command, expect);

    fuzz::check(port.writes.size() == 1 && port.writes[0] == (inverse ? inverseBytes(command) : command),
                "the command is written once, in the card's convention");
    fuzz::check(clock.nowUs() <= std::int64_t(lastMs) * 1000 + line.waitUs + 250,
                "the exchange gives up within the waiting time after the last character");
    fuzz::check(answer.received.size() <= (port.echo ? command.size() : 0) + answered.size(),
                "only bytes of this answer are taken");
    fuzz::check(answer.status2.empty() || answer.status2.size() == 2, "a status word is two bytes");
    fuzz::check(answer.data.size() <= std::size_t(expect.until == Until::DataAndStatus ? expect.dataLen : 0),
                "no more data than asked for");
    if (answer.status == T0Status::Complete && expect.until == Until::DataAndStatus) {
        fuzz::check(answer.data.size() == std::size_t(expect.dataLen), "a complete answer holds all its data");
        fuzz::check(answer.status2.size() == 2, "a complete answer ends with its status word");
    }
    if (answer.status == T0Status::Complete && expect.until == Until::Procedure)
        fuzz::check(answer.procedure == 0xDC || answer.procedure == 0x23, "the card asked for data");
    if (answer.status == T0Status::Complete && expect.until == Until::StatusWord)
        fuzz::check(answer.status2.size() == 2, "a data block is answered by a status word");
    if (answer.ok())
        fuzz::check(answer.status2 == std::string("\x90\x00", 2), "ok means 90 00");
    return 0;
}
