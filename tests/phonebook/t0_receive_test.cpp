#include "phonebook/t0_receive.h"

#include <gtest/gtest.h>

#include "app/app.h"
#include "conversions/conversions.h"
#include "scripted_port.h"
#include "scripted_screen.h"

namespace puolukka {
namespace {

using test::ScriptedPort;

struct T0Fixture : ::testing::Test {
    T0Fixture()
    {
        port.setCommPort(1);
        port.setPortOpen(true);
        port.echo = true;
    }
    VirtualClock clock;
    test::ScriptedScreen screen;
    ScriptedPort port{clock};
    App app{screen, clock, port};
};

const std::string kReadHeader("\xA0\xB2\x01\x04\x03", 5);

TEST_F(T0Fixture, ReturnsAsSoonAsTheRecordAndStatusHaveArrived)
{
    port.queueReply({{1, std::string("\xB2", 1)}, {5, std::string("\x41\x42\x43\x90\x00", 5)}});
    const T0Answer a = exchangeT0(app, kReadHeader, T0Expect{5, 0xB2, 3, 1000});
    EXPECT_EQ(a.status, T0Status::Complete);
    EXPECT_EQ(a.data, "ABC");
    EXPECT_TRUE(a.ok());
    EXPECT_LT(clock.nowUs(), 6000);  // no fixed 100 ms wait
}

TEST_F(T0Fixture, SkipsNullBytesAndWaitsForASlowCard)
{
    port.queueReply({{200, "\x60"}, {600, std::string("\xB2\x01\x60\x02", 4)}, {900, std::string("\x03\x90\x00", 3)}});
    const T0Answer a = exchangeT0(app, kReadHeader, T0Expect{5, 0xB2, 3, 1000});
    EXPECT_EQ(a.status, T0Status::Complete);
    EXPECT_EQ(a.data, std::string("\x01\x60\x02", 3)) << "a 60 inside the data is data";
    EXPECT_GE(clock.nowUs(), 900000);
}

TEST_F(T0Fixture, StatusWordInsteadOfProcedureByteEndsTheCommand)
{
    port.queueReply(std::string("\x98\x04", 2), 2);
    const T0Answer a = exchangeT0(app, std::string("\xA0\xDC\x01\x04\x1C", 5), T0Expect{5, 0xDC, -1, 1000});
    EXPECT_EQ(a.status, T0Status::StatusWord);
    EXPECT_EQ(a.status2, std::string("\x98\x04", 2));
}

TEST_F(T0Fixture, ProcedureByteAloneCompletesAnUpdateHeader)
{
    port.queueReply("\xDC", 2);
    const T0Answer a = exchangeT0(app, std::string("\xA0\xDC\x01\x04\x1C", 5), T0Expect{5, 0xDC, -1, 1000});
    EXPECT_EQ(a.status, T0Status::Complete);
}

TEST_F(T0Fixture, TimeOutsTellSilenceFromAMuteCardFromAShortAnswer)
{
    struct Row {
        bool echo;
        std::string reply;
        T0Status expected;
    };
    const Row rows[] = {
        {false, "", T0Status::NoAnswer},
        {true, "", T0Status::Mute},
        {true, std::string("\xB2\x41", 2), T0Status::Incomplete},
    };
    for (const Row& row : rows) {
        port.echo = row.echo;
        if (!row.reply.empty())
            port.queueReply(row.reply, 1);
        else
            port.queueReply(std::string(), 0);
        const std::int64_t start = clock.nowUs();
        const T0Answer a = exchangeT0(app, kReadHeader, T0Expect{5, 0xB2, 3, 1000});
        EXPECT_EQ(a.status, row.expected);
        EXPECT_GE(clock.nowUs() - start, 1000000);
        EXPECT_LE(clock.nowUs() - start, 1002000);
    }
}

TEST_F(T0Fixture, AClosedOrFailingPortFailsAtOnce)
{
    port.failWrites = true;
    EXPECT_EQ(exchangeT0(app, kReadHeader, T0Expect{}).status, T0Status::PortFailed);
    port.failWrites = false;
    port.setPortOpen(false);
    EXPECT_EQ(exchangeT0(app, kReadHeader, T0Expect{}).status, T0Status::PortFailed);
    EXPECT_EQ(clock.nowUs(), 0);
}

TEST_F(T0Fixture, LeftoversOfABrokenAnswerAreDroppedBeforeTheNextCommand)
{
    port.deliver(std::string("\x90\x00", 2));
    port.queueReply(std::string("\xB2\x41\x42\x43\x90\x00", 6), 1);
    const T0Answer a = exchangeT0(app, kReadHeader, T0Expect{5, 0xB2, 3, 1000});
    EXPECT_EQ(a.status, T0Status::Complete);
    EXPECT_EQ(a.data, "ABC");
}

TEST_F(T0Fixture, InverseConventionIsUndoneBeforeTheAnswerIsRead)
{
    app.card.InverseConvention = 1;
    port.queueReply(inverseBytes(std::string("\xB2\x41\x42\x43\x90\x00", 6)), 1);
    const T0Answer a = exchangeT0(app, kReadHeader, T0Expect{5, 0xB2, 3, 1000});
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(port.writes[0], inverseBytes(kReadHeader));
    EXPECT_EQ(a.status, T0Status::Complete);
    EXPECT_EQ(a.data, "ABC");
    EXPECT_TRUE(a.ok());
}

}  // namespace
}  // namespace puolukka
