#include "link/t0_exchange.h"

#include <algorithm>
#include <iterator>

#include "app/clock.h"
#include "conversions/conversions.h"
#include "ports/serial_port.h"

namespace puolukka {

namespace {

// One character takes 1.25 ms at 9600 baud; polling four times as often keeps
// the wait after the last byte well under a character's time.
constexpr std::int64_t kPollStepUs = 250;

constexpr unsigned char kCardSendsData[] = {0xB0, 0xB2, 0xC0, 0xF2, 0x12};

// SW1 of ISO 7816-3: 6X but not 60 (NULL), or 9X.
bool isStatusByte(unsigned char b)
{
    const unsigned char high = b & 0xF0;
    return (high == 0x60 && b != kNullByte) || high == 0x90;
}

// The answer as a card that answers at once puts it on the line.
std::string lineOf(const T0Progress& p, const T0Expect& expect)
{
    std::string line = p.echo;
    if (p.procedure >= 0 && expect.ins >= 0)
        line += char(expect.ins);
    return line + p.data + p.status2;
}

T0Answer finish(T0Answer answer, const T0Progress& p, const T0Expect& expect, T0Status status)
{
    answer.status = status;
    answer.echo = p.echo;
    answer.line = lineOf(p, expect);
    answer.data = p.data;
    answer.status2 = p.status2;
    answer.procedure = p.procedure;
    return answer;
}

T0Answer receiveT0(const T0Line& line, const T0Expect& expect)
{
    SerialPort& port = *line.port;
    Clock& clock = *line.clock;
    T0Answer answer;
    T0Progress progress;
    std::int64_t deadline = clock.nowUs() + line.waitUs;
    for (;;) {
        if (port.inBufferCount() > 0) {
            const std::string chunk = port.input();
            if (!chunk.empty()) {
                answer.received += line.inverse ? inverseBytes(chunk) : chunk;
                deadline = clock.nowUs() + line.waitUs;
                progress = parseT0(answer.received, expect);
                if (progress.done)
                    return finish(std::move(answer), progress, expect, progress.status);
                continue;
            }
        }
        if (!port.portOpen())
            return finish(std::move(answer), progress, expect, T0Status::PortFailed);
        const std::int64_t now = clock.nowUs();
        if (now >= deadline)
            break;
        clock.sleepUs(std::min(kPollStepUs, deadline - now));
    }
    const T0Status status = answer.received.empty() ? T0Status::NoAnswer
                            : !progress.substance   ? T0Status::Mute
                                                    : T0Status::Incomplete;
    return finish(std::move(answer), progress, expect, status);
}

}  // namespace

bool cardSendsData(unsigned char ins)
{
    return std::find(std::begin(kCardSendsData), std::end(kCardSendsData), ins) != std::end(kCardSendsData);
}

std::int64_t waitingTimeUs(int etu, long baud)
{
    if (baud <= 0)
        baud = 9600;
    return std::int64_t(etu) * 1'000'000 / baud;
}

T0Progress parseT0(std::string_view got, const T0Expect& expect)
{
    using Until = T0Expect::Until;
    T0Progress p;
    const std::size_t echoLen = std::size_t(std::max(expect.echoLen, 0));
    p.echo = std::string(got.substr(0, std::min(echoLen, got.size())));
    if (got.size() < echoLen)
        return p;
    if (expect.until == Until::Echo) {
        p.done = true;
        p.status = T0Status::Complete;
        return p;
    }
    const int ins = expect.until == Until::StatusWord ? -1 : expect.ins;
    const std::size_t wanted = expect.until == Until::DataAndStatus ? std::size_t(std::max(expect.dataLen, 0)) : 0;
    std::size_t i = echoLen;
    while (i < got.size()) {
        const auto b = static_cast<unsigned char>(got[i++]);
        if (b == kNullByte) {
            ++p.nulls;
            continue;
        }
        p.substance = true;
        if (ins >= 0 && (b == ins || b == (ins ^ 0xFF))) {
            p.procedure = b;
            if (expect.until == Until::Procedure) {
                p.done = true;
                p.status = T0Status::Complete;
                return p;
            }
            // After INS all the remaining data follow; after its complement only the next byte.
            std::size_t take = wanted - p.data.size();
            if (b != ins)
                take = std::min<std::size_t>(take, 1);
            take = std::min(take, got.size() - i);
            p.data.append(got.substr(i, take));
            i += take;
            continue;
        }
        if (isStatusByte(b)) {
            if (i >= got.size())
                return p;  // SW2 is still on its way
            p.status2 = std::string(got.substr(i - 1, 2));
            p.done = true;
            if (expect.until == Until::StatusWord)
                p.status = T0Status::Complete;
            else if (p.procedure < 0)
                p.status = T0Status::StatusWord;
            else if (p.data.size() == wanted)
                p.status = T0Status::Complete;
            else
                p.status = T0Status::Incomplete;
            return p;
        }
        // Any other byte breaks the T=0 rules here: it is skipped, and the
        // waiting time ends an answer that never completes.
    }
    return p;
}

T0Answer exchangeT0(const T0Line& line, const std::string& bytes, const T0Expect& expect)
{
    SerialPort& port = *line.port;
    // Late bytes of an earlier, broken answer would be taken for this one's echo.
    if (port.portOpen() && port.inBufferCount() > 0)
        port.input();
    const long long flagged = port.flaggedCharacters();
    if (!port.portOpen() || !port.output(line.inverse ? inverseBytes(bytes) : bytes)) {
        T0Answer answer;
        answer.status = T0Status::PortFailed;
        return answer;
    }
    T0Answer answer = receiveT0(line, expect);
    // Whatever the card said, one character of it may have been any byte. (A
    // card that said nothing is silent, whatever happened to the echo.)
    if (port.flaggedCharacters() != flagged && answer.cardAnswered())
        answer.status = T0Status::LineError;
    return answer;
}

T0Answer T0Command::sendHeader(const std::string& header)
{
    using Until = T0Expect::Until;
    m_ins = header.size() >= 2 ? static_cast<unsigned char>(header[1]) : -1;
    const int p3 = header.size() >= 5 ? static_cast<unsigned char>(header[4]) : 0;
    m_remaining = 0;
    m_procedure = -1;
    T0Expect expect{int(header.size()), Until::DataAndStatus, m_ins, 0};
    if (m_ins >= 0 && cardSendsData(static_cast<unsigned char>(m_ins)))
        expect.dataLen = p3 == 0 ? 256 : p3;  // P3 = 00 asks for 256 bytes
    else if (p3 > 0)
        expect.until = Until::Procedure;
    const T0Answer answer = exchangeT0(m_line, header, expect);
    if (expect.until == Until::Procedure && answer.status == T0Status::Complete) {
        m_remaining = p3;
        m_procedure = answer.procedure;
    }
    return answer;
}

T0Answer T0Command::sendData(const std::string& data)
{
    using Until = T0Expect::Until;
    T0Answer result;
    if (!wantsData()) {
        result.status = T0Status::NotSent;
        return result;
    }
    std::size_t pos = 0;
    while (pos < data.size() && wantsData()) {
        const bool all = m_procedure == m_ins;
        const std::string part = data.substr(pos, all ? std::size_t(m_remaining) : 1);
        pos += part.size();
        m_remaining -= int(part.size());
        T0Expect expect{int(part.size()), Until::StatusWord, m_ins, 0};
        if (m_remaining > 0)
            expect.until = all ? Until::Echo : Until::Procedure;
        const T0Answer a = exchangeT0(m_line, part, expect);
        result.received += a.received;
        result.echo += a.echo;
        // The procedure bytes between single data bytes are not part of the answer's line.
        result.line += expect.until == Until::Procedure && a.status == T0Status::Complete ? a.echo : a.line;
        result.status2 = a.status2;
        result.status = a.status;
        if (a.status != T0Status::Complete) {
            m_remaining = 0;  // the card ended the command or fell silent: no more data go
            break;
        }
        if (expect.until == Until::Procedure)
            m_procedure = a.procedure;
    }
    if (m_remaining == 0)
        m_procedure = -1;
    return result;
}

}  // namespace puolukka
