#include "link/t0_exchange.h"

#include <algorithm>
#include <cstdint>

#include "app/app.h"
#include "conversions/conversions.h"

namespace puolukka {

namespace {

// One character takes 1.25 ms at 9600 baud; polling four times as often keeps
// the wait after the last byte well under a character's time.
constexpr std::int64_t kPollStepUs = 250;

constexpr unsigned char kNull = 0x60;  // the card asks for more time

bool isStatusByte(unsigned char b)
{
    const unsigned char high = b & 0xF0;
    return (high == 0x60 && b != kNull) || high == 0x90;
}

// Reads what has arrived so far against the expected answer. Returns true when
// the answer is complete (answer.status then says how it ended). The whole
// buffer is read again on every call: answers are a few dozen bytes.
bool parse(const std::string& got, const T0Expect& expect, T0Answer& answer)
{
    answer.data.clear();
    answer.status2.clear();
    const std::size_t wanted = expect.dataLen > 0 ? std::size_t(expect.dataLen) : 0;
    const int ins = expect.ins;
    bool procedureSeen = false;
    std::size_t i = std::size_t(expect.echoLen);
    while (i < got.size()) {
        const auto b = static_cast<unsigned char>(got[i++]);
        if (b == kNull)
            continue;
        if (ins >= 0 && (b == ins || b == (ins ^ 0xFF))) {
            procedureSeen = true;
            if (expect.dataLen < 0) {
                answer.status = T0Status::Complete;  // the card now waits for the command's data
                return true;
            }
            // After INS all the remaining data follow; after its complement only the next byte.
            std::size_t take = wanted - answer.data.size();
            if (b != ins)
                take = std::min<std::size_t>(take, 1);
            take = std::min(take, got.size() - i);
            answer.data.append(got, i, take);
            i += take;
            continue;
        }
        if (isStatusByte(b)) {
            if (i >= got.size())
                return false;  // SW2 is still on its way
            answer.status2 = got.substr(i - 1, 2);
            if (ins < 0)
                answer.status = T0Status::Complete;
            else if (!procedureSeen)
                answer.status = T0Status::StatusWord;
            else if (answer.data.size() == wanted)
                answer.status = T0Status::Complete;
            else
                answer.status = T0Status::Incomplete;
            return true;
        }
        // Any other byte breaks the T=0 rules here: it is skipped and the
        // time-out ends an answer that never completes.
    }
    return false;
}

}  // namespace

T0Answer receiveT0(App& app, const T0Expect& expect)
{
    T0Answer answer;
    const bool inverse = app.card.InverseConvention != 0;
    const std::int64_t deadline = app.clock.nowUs() + std::int64_t(expect.timeoutMs) * 1000;
    for (;;) {
        if (app.port.inBufferCount() > 0) {
            const std::string chunk = app.port.input();
            if (!chunk.empty()) {
                answer.bytes += inverse ? inverseBytes(chunk) : chunk;
                if (parse(answer.bytes, expect, answer))
                    return answer;
                continue;
            }
        }
        if (!app.port.portOpen()) {
            answer.status = T0Status::PortFailed;
            return answer;
        }
        if (app.clock.nowUs() >= deadline)
            break;
        app.clock.sleepUs(kPollStepUs);
    }
    if (answer.bytes.empty())
        answer.status = T0Status::NoAnswer;
    else if (answer.bytes.size() <= std::size_t(expect.echoLen))
        answer.status = T0Status::Mute;
    else
        answer.status = T0Status::Incomplete;
    return answer;
}

T0Answer exchangeT0(App& app, const std::string& bytes, const T0Expect& expect)
{
    SerialPort& port = app.port;
    // Late bytes of an earlier, broken answer would be taken for this one's echo.
    if (port.inBufferCount() > 0)
        port.input();
    const std::string line = app.card.InverseConvention != 0 ? inverseBytes(bytes) : bytes;
    if (!port.portOpen() || !port.output(line)) {
        T0Answer answer;
        answer.status = T0Status::PortFailed;
        return answer;
    }
    return receiveT0(app, expect);
}

}  // namespace puolukka
