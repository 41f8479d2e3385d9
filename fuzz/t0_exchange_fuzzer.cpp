// The T=0 exchange fed whatever a card may answer, in pieces at any time, over
// a scripted port in virtual time. The input picks the command (READ RECORD
// header, UPDATE RECORD header, or a data block), the convention, whether the
// reader echoes, stale bytes waiting before the write, and the answer's pieces;
// or a whole command (header, then data as the card asks) with T0Command.
// Properties: the exchange writes the command once, gives up within the work
// waiting time after the last character, never takes more data than asked
// for, a status word is two bytes, an answer called complete holds everything
// it should, bytes after a complete answer change nothing in it, and a command's
// data go only as the card asks for them.
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

namespace {

using Until = T0Expect::Until;

// The card's answer to one write: pieces at their delays in ms, in the card's convention.
std::vector<test::ScriptedPort::Piece> answerPieces(fuzz::FuzzInput& in, bool inverse, std::size_t most,
                                                    std::string* answered = nullptr, int* lastMs = nullptr)
{
    std::vector<test::ScriptedPort::Piece> pieces;
    while (!in.empty() && pieces.size() < most) {
        const int delayMs = in.number(0, 1200);
        const std::string bytes = in.piece();
        if (answered)
            *answered += bytes;
        if (lastMs)
            *lastMs = std::max(*lastMs, delayMs);
        pieces.push_back({delayMs, inverse ? inverseBytes(bytes) : bytes});
    }
    return pieces;
}

// The parser alone: bytes that come after a complete answer change nothing in it.
void checkParser(const std::string& received, const T0Expect& expect)
{
    const T0Progress p = parseT0(received, expect);
    fuzz::check(p.echo.size() <= std::size_t(std::max(expect.echoLen, 0)), "the echo is what was written");
    fuzz::check(p.data.size() <= std::size_t(expect.until == Until::DataAndStatus ? expect.dataLen : 0),
                "the parser takes no more data than asked for");
    if (!p.done)
        return;
    const T0Progress later = parseT0(received + std::string("\x61\x10\x90\x00", 4), expect);
    fuzz::check(later.done && later.status == p.status && later.data == p.data && later.status2 == p.status2 &&
                    later.procedure == p.procedure,
                "bytes after a complete answer change nothing");
}

// A whole command with T0Command: the header, then its data as the card asks for
// them (all at once after INS, one byte after each complement of INS).
int runCommand(fuzz::FuzzInput& in, fuzz::ScriptedApp& rig)
{
    const auto ins = static_cast<char>(in.byte());
    const auto p3 = static_cast<unsigned char>(in.byte());
    const std::string header = std::string("\xA0", 1) + ins + std::string("\x00\x00", 2) + char(p3);
    const std::string data = in.piece();
    rig.port.echo = in.flag();
    for (int write = 0; write < 4 && !in.empty(); ++write)
        rig.port.queueReply(answerPieces(in, false, std::size_t(in.number(1, 4))));

    T0Command command(t0Line(rig.app));
    const T0Answer head = command.sendHeader(header);
    const bool asked = command.wantsData();
    if (asked)
        (void)command.sendData(data);
    else
        fuzz::check(command.sendData(data).status == T0Status::NotSent, "no data go unless the card asks");
    fuzz::check(!rig.port.writes.empty() && rig.port.writes[0] == header, "the header goes first");
    std::string written;
    for (std::size_t i = 1; i < rig.port.writes.size(); ++i)
        written += rig.port.writes[i];
    fuzz::check(data.compare(0, written.size(), written) == 0 && written.size() <= p3,
                "the data go in order, no more than P3 of them");
    fuzz::check(asked || written.empty(), "nothing is written after the card ended the command");
    checkParser(head.received, T0Expect{5, Until::Procedure, static_cast<unsigned char>(ins), 0});
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput in(data, size);
    fuzz::ScriptedApp rig;
    auto& [clock, screen, port, app] = rig;

    std::string command;
    T0Expect expect;
    switch (in.number(0, 3)) {
    case 3:
        return runCommand(in, rig);
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

    std::string answered;
    int lastMs = 0;
    port.queueReply(answerPieces(in, inverse, 16, &answered, &lastMs));

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
    checkParser((port.echo ? command : std::string()) + answered, expect);
    return 0;
}
