#include "link/t0_exchange.h"

#include <gtest/gtest.h>

#include "app/app.h"
#include "conversions/conversions.h"
#include "scripted_port.h"
#include "scripted_screen.h"

namespace puolukka {
namespace {

using test::ScriptedPort;

struct Rig {
    Rig() { port.setCommPort(1), port.setPortOpen(true), port.echo = true; }
    VirtualClock clock;
    test::ScriptedScreen screen;
    ScriptedPort port{clock};
    App app{screen, clock, port};
};

const std::string kRead("\xA0\xB2\x01\x04\x03", 5), kUpdate("\xA0\xDC\x01\x04\x1C", 5), kOk("\x90\x00", 2);

TEST(T0Receive, AnswersEndAsSoonAsTheyAreWholeOrAtTheTimeOut)
{
    struct Row {
        const char* name;
        std::vector<ScriptedPort::Piece> reply;  // after the echo, timed from the write in ms
        T0Status status;
        std::string data, status2;
        std::int64_t minUs = 0, maxUs = 6000;  // time taken
        std::string command = kRead;
        T0Expect expect{5, 0xB2, 3, 1000};
        bool echo = true, inverse = false;
        std::string leftover = {};  // from an earlier answer, dropped before the command
    };
    const T0Expect update{5, 0xDC, -1, 1000};
    const Row rows[] = {
        {"no fixed wait", {{1, "\xB2"}, {5, "ABC" + kOk}}, T0Status::Complete, "ABC", kOk},
        {"NULL bytes and a slow card", {{200, "\x60"}, {600, std::string("\xB2\x01\x60\x02", 4)}, {900, "\x03" + kOk}},
         T0Status::Complete, std::string("\x01\x60\x02", 3), kOk, 900000, 901000},  // a 60 inside the data is data
        {"status word for the procedure byte", {{2, "\x98\x04"}}, T0Status::StatusWord, "", "\x98\x04", 0, 6000, kUpdate, update},
        {"procedure byte alone after an update header", {{2, "\xDC"}}, T0Status::Complete, "", "", 0, 6000, kUpdate, update},
        {"silence", {}, T0Status::NoAnswer, "", "", 1000000, 1002000, kRead, {5, 0xB2, 3, 1000}, false},
        {"mute card", {}, T0Status::Mute, "", "", 1000000, 1002000},
        {"short answer", {{1, "\xB2\x41"}}, T0Status::Incomplete, "A", "", 1000000, 1002000},
        {"leftovers", {{1, "\xB2" "ABC" + kOk}}, T0Status::Complete, "ABC", kOk, 0, 6000, kRead, {5, 0xB2, 3, 1000}, true,
         false, kOk},
        {"inverse convention", {{1, inverseBytes("\xB2" "ABC" + kOk)}}, T0Status::Complete, "ABC", kOk, 0, 6000, kRead,
         {5, 0xB2, 3, 1000}, true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        rig.port.echo = row.echo;
        rig.app.card.InverseConvention = row.inverse ? 1 : 0;
        if (!row.leftover.empty())
            rig.port.deliver(row.leftover);
        rig.port.queueReply(row.reply);
        const T0Answer a = exchangeT0(rig.app, row.command, row.expect);
        EXPECT_EQ(a.status, row.status);
        EXPECT_EQ(a.data, row.data);
        EXPECT_EQ(a.status2, row.status2);
        EXPECT_EQ(rig.port.writes, std::vector<std::string>{row.inverse ? inverseBytes(row.command) : row.command});
        EXPECT_GE(rig.clock.nowUs(), row.minUs);
        EXPECT_LE(rig.clock.nowUs(), row.maxUs);
    }
}

TEST(T0Receive, AClosedOrFailingPortFailsAtOnce)
{
    Rig failing, closed;
    failing.port.failWrites = true;
    closed.port.setPortOpen(false);
    for (Rig* rig : {&failing, &closed}) {
        EXPECT_EQ(exchangeT0(rig->app, kRead, T0Expect{}).status, T0Status::PortFailed);
        EXPECT_EQ(rig->clock.nowUs(), 0);
    }
}

}  // namespace
}  // namespace puolukka
