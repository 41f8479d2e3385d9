// The reader on the line: echo, timing, reset lines, carrier detect, parity and convention, events.
#include <gtest/gtest.h>

#include "card_fixture.h"
#include "t0_driver.h"

namespace puolukka::test {
namespace {

std::string hex(const std::string& bytes)
{
    return sim::toHex(bytes);
}

std::string bytesOf(const std::string& hexText)
{
    std::string b;
    sim::parseHex(hexText, &b);
    return b;
}

TEST(CardFixtureTest, StartsAsStartUpLeavesThings)
{
    CardFixture f;
    EXPECT_EQ(f.app.card.ClassByte, "A0");
    EXPECT_EQ(f.port.settings(), "9600,E,8,1");
    EXPECT_EQ(f.app.settings.Parity, "E");
    EXPECT_EQ(f.app.settings.Comport, " 1");
    EXPECT_TRUE(f.port.portOpen());
    EXPECT_EQ(f.port.commPort(), 1);
    EXPECT_EQ(f.port.rThreshold(), 1);
    EXPECT_EQ(f.port.sThreshold(), 1);
    EXPECT_EQ(f.port.inputLen(), 0);
    EXPECT_EQ(f.app.card.ShowInTerminal, 1);
    EXPECT_EQ(f.app.card.InverseConvention, 0);
    EXPECT_FALSE(f.port.errorPending());
    EXPECT_TRUE(f.port.pollEvents().empty());
}

TEST(LineTiming, EveryByteTakesTwelveBitTimesAndTheEchoComesFirst)
{
    CardFixture f;
    ASSERT_EQ(f.port.characterTimeUs(), 1250);
    f.port.output(bytesOf("A0A4000002"));
    // Echo bytes end at 1.25, 2.5, 3.75, 5, 6.25 ms; the card thinks 1 ms and its
    // procedure byte ends at 8.5 ms.
    f.clock.advanceUs(6249);
    EXPECT_EQ(f.port.inBufferCount(), 4);
    f.clock.advanceUs(1);
    EXPECT_EQ(f.port.inBufferCount(), 5);
    f.clock.advanceUs(8500 - 6250 - 1);
    EXPECT_EQ(f.port.inBufferCount(), 5);
    f.clock.advanceUs(1);
    EXPECT_EQ(hex(f.port.input()), "A0A4000002A4");
}

TEST(LineTiming, LateBytesComeLaterAndNothingIsLost)
{
    CardFixture f;
    T0Driver d(f.port, f.clock);
    ASSERT_EQ(d.verifyChv1("1234"), "9000");
    ASSERT_EQ(d.select("7F10"), "9F16");
    ASSERT_EQ(d.select("6F3A"), "9F0F");
    // READ RECORD: 5 echo + procedure + 28 data + 2 status = 36 bytes; the procedure byte
    // ends at 6.25 + 1 + 1.25 = 8.5 ms after the write, the last status byte 30 x 1.25 ms later.
    f.port.output(bytesOf("A0B201041C"));
    f.clock.sleepMs(20);
    std::string first = f.port.input();
    EXPECT_EQ(first.size(), 5u + 1u + 9u);  // card bytes ending at 8.5, 9.75, ... 18.5 ms
    f.clock.advanceUs(46000 - 20000 - 1);
    std::string second = f.port.input();
    f.clock.advanceUs(1);
    std::string third = f.port.input();
    EXPECT_EQ(third.size(), 1u);
    std::string all = first + second + third;
    EXPECT_EQ(all.size(), 36u);
    EXPECT_EQ(all.substr(6, 28), f.adnRecord(1));
    EXPECT_EQ(hex(all.substr(34)), "9000");
}

TEST(LineTiming, SpeedOfTheSettingsCountsAndInputLenLimitsARead)
{
    CardFixture f;
    ASSERT_TRUE(f.port.setSettings("19200,E,8,1"));
    EXPECT_EQ(f.port.characterTimeUs(), 625);
    f.port.output(bytesOf("A0A4000002"));
    f.clock.advanceUs(625 * 5);
    ASSERT_TRUE(f.port.setInputLen(2));
    EXPECT_EQ(hex(f.port.input()), "A0A4");
    EXPECT_EQ(f.port.inBufferCount(), 3);
}

TEST(LineTiming, ASlowCardMissesDataSentBeforeItAnswers)
{
    CardOptions slow;
    slow.extraDelayMs = 120;
    CardFixture f(slow);
    T0Driver d(f.port, f.clock);
    auto a = d.command("A0A4000002", "3F00", 50);
    EXPECT_EQ(hex(a.headerChunk), "A0A4000002");  // only the echo within 50 ms
    f.clock.sleepMs(200);
    EXPECT_EQ(hex(f.port.input()), "A4");  // the procedure byte came late
    const auto& t = f.port.trace();
    ASSERT_FALSE(t.empty());
    EXPECT_EQ(t.back().kind, sim::TraceEntry::Kind::Ignored);
    EXPECT_EQ(hex(t.back().command), "3F00");
    // With a long enough wait the same card works.
    f.port.clearTrace();
    EXPECT_EQ(d.command("A0A4000002", "3F00", 250).sw, "9F16");
}

TEST(ResetLines, ReleasingResetSendsTheAtrOnEitherLine)
{
    CardFixture f;
    f.port.setRTSEnable(true);
    EXPECT_TRUE(f.port.resetAsserted());
    f.clock.sleepMs(250);
    f.port.setRTSEnable(false);
    // ATR: 2 ms after release, then 9 bytes of 1.25 ms.
    f.clock.advanceUs(2000 + 1250 * 9 - 1);
    EXPECT_EQ(f.port.inBufferCount(), 8);
    f.clock.advanceUs(1);
    EXPECT_EQ(hex(f.port.input()), "3B1611800147534D31");

    f.port.setDTREnable(true);
    f.clock.sleepMs(250);
    f.port.setDTREnable(false);
    f.clock.sleepMs(300);
    EXPECT_EQ(hex(f.port.input()), "3B1611800147534D31");
    EXPECT_TRUE(f.port.rtsEnable() == false && f.port.dtrEnable() == false);
}

TEST(ResetLines, InvertedPolarityAndUnwiredLines)
{
    // A reader that holds reset while the line is off: the card is silent until RTS goes on.
    sim::CardDescription card = makeCard(CardOptions{.resetAssertedWhenOn = false});
    card.resetOnDtr = false;
    CardFixture f(card);
    T0Driver d(f.port, f.clock);
    EXPECT_TRUE(f.port.resetAsserted());
    EXPECT_EQ(hex(d.exchange("A0A4000002")), "A0A4000002");  // echo only
    f.port.setRTSEnable(true);
    f.clock.sleepMs(300);
    EXPECT_EQ(hex(f.port.input()), "3B1611800147534D31");
    f.port.setDTREnable(true);  // not wired
    f.port.setDTREnable(false);
    f.clock.sleepMs(300);
    EXPECT_EQ(f.port.inBufferCount(), 0);
}

TEST(ResetLines, ResetCutsAnAnswerOnItsWay)
{
    CardFixture f;
    f.port.output(bytesOf("A0A4000002"));
    f.clock.advanceUs(7000);  // echo arrived, procedure byte still coming
    f.port.setRTSEnable(true);
    f.clock.sleepMs(50);
    EXPECT_EQ(hex(f.port.input()), "A0A4000002");
    EXPECT_FALSE(f.card().commandPending());
}

TEST(CarrierDetect, RemovedCardAnswersNothingButTheEcho)
{
    CardFixture f;
    T0Driver d(f.port, f.clock);
    EXPECT_TRUE(f.port.cdHolding());
    f.port.removeCard();
    EXPECT_FALSE(f.port.cdHolding());
    EXPECT_EQ(f.port.pollEvents(), std::vector<int>{comm_event::Cd});
    EXPECT_EQ(hex(d.exchange("A0A4000002")), "A0A4000002");
    EXPECT_EQ(hex(d.resetByRts()), "");
    f.port.insertCard();
    EXPECT_TRUE(f.port.cdHolding());
    EXPECT_EQ(f.port.pollEvents(), std::vector<int>{comm_event::Cd});
    EXPECT_EQ(d.select("3F00"), "9F16");
}

TEST(Convention, InverseCardThroughEvenParityRaisesParityErrors)
{
    CardFixture f(CardOptions{.inverse = true});
    T0Driver d(f.port, f.clock);
    std::string atr = d.resetByRts();
    EXPECT_EQ(atr, std::string(9, '?'));  // every card byte replaced by ParityReplace
    std::vector<int> events = f.port.pollEvents();
    EXPECT_EQ(events, std::vector<int>{comm_event::RxParity});  // the bytes were already read

    f.port.setParityReplace("");
    f.port.setRTSEnable(true);
    f.port.setRTSEnable(false);
    f.clock.sleepMs(300);
    EXPECT_EQ(f.port.pollEvents(), (std::vector<int>{comm_event::RxParity, comm_event::Receive}));
    EXPECT_EQ(hex(f.port.input().substr(0, 1)), "03");  // TS as received directly
}

TEST(Convention, InverseCardThroughOddParityIsUnderstoodBothWays)
{
    CardFixture f(CardOptions{.inverse = true});
    T0Driver d(f.port, f.clock);
    ASSERT_TRUE(f.port.setPortOpen(false));
    ASSERT_TRUE(f.port.setSettings("9600,O,8,1"));
    ASSERT_TRUE(f.port.setPortOpen(true));
    std::string raw = d.resetByRts();
    EXPECT_EQ(hex(raw.substr(0, 1)), "03");
    std::string decoded;
    for (char c : raw) decoded.push_back(char(sim::inverseByte(std::uint8_t(c))));
    EXPECT_EQ(hex(decoded), "3F1611800147534D31");
    EXPECT_TRUE(f.port.pollEvents().empty());

    d.inverse = true;  // as the program does under inverse convention
    EXPECT_EQ(d.select("3F00"), "9F16");
    EXPECT_EQ(hex(f.port.trace().back().command), "A0A40000023F00");
    EXPECT_EQ(d.verifyChv1("1234"), "9000");

    d.inverse = false;  // untransformed bytes reach the card as other bytes
    EXPECT_EQ(hex(d.exchange("A0A4000002").substr(5)), "89FF");  // 6E 00 as sent by an inverse card
    EXPECT_EQ(hex(f.port.trace().back().command), "FADAFFFFBF");
    EXPECT_EQ(f.port.trace().back().statusWord(), "6E00");
    EXPECT_TRUE(f.port.pollEvents() == std::vector<int>{});
}

TEST(Convention, DirectCardThroughOddParity)
{
    CardFixture f;
    T0Driver d(f.port, f.clock);
    ASSERT_TRUE(f.port.setSettings("9600,O,8,1"));
    std::string in = d.exchange("A0A4000002");
    EXPECT_EQ(hex(in), "A0A4000002");  // the echo is clean; the card ignored bytes of the wrong parity
    EXPECT_EQ(f.port.trace().back().kind, sim::TraceEntry::Kind::Ignored);
    EXPECT_EQ(f.port.trace().back().note, "parity error");
    d.resetByRts();
    EXPECT_EQ(f.port.pollEvents(), std::vector<int>{comm_event::RxParity});
    ASSERT_TRUE(f.port.setSettings("9600,N,8,1"));  // no parity: nothing checked either way
    d.resetByRts();
    EXPECT_TRUE(f.port.pollEvents().empty());
    EXPECT_EQ(d.select("3F00"), "9F16");
}

TEST(Events, ReceiveEventFollowsTheThreshold)
{
    CardFixture f;
    f.port.output(bytesOf("A0A4000002"));
    EXPECT_TRUE(f.port.pollEvents().empty());  // nothing arrived yet
    f.clock.advanceUs(1250);
    EXPECT_EQ(f.port.pollEvents(), std::vector<int>{comm_event::Receive});
    EXPECT_TRUE(f.port.pollEvents().empty());  // no new byte since
    ASSERT_TRUE(f.port.setRThreshold(4));
    f.clock.advanceUs(1250);
    EXPECT_TRUE(f.port.pollEvents().empty());  // 2 waiting, fewer than 4
    f.clock.advanceUs(2500);
    EXPECT_EQ(f.port.pollEvents(), std::vector<int>{comm_event::Receive});
    ASSERT_TRUE(f.port.setRThreshold(0));  // 0: no receive events at all
    f.clock.sleepMs(10);
    EXPECT_TRUE(f.port.pollEvents().empty());
    EXPECT_EQ(f.port.inBufferCount(), 6);
    f.port.clearInBuffer();
    EXPECT_EQ(f.port.inBufferCount(), 0);
}

TEST(PortProperties, SettingsPortNumberAndClosedPort)
{
    CardFixture f;
    const char* bad[] = {"9600,E,8", "9600,X,8,1", "fast,E,8,1", "9600,E,9,1", "9600,E,8,3", ""};
    for (const char* text : bad) {
        f.port.clearError();
        EXPECT_FALSE(f.port.setSettings(text)) << text;
        EXPECT_EQ(f.port.lastError().number, port_error::InvalidSettings) << text;
        EXPECT_EQ(f.port.settings(), "9600,E,8,1");
    }
    EXPECT_TRUE(f.port.setSettings("2400,n,7,2"));
    EXPECT_FALSE(f.port.setCommPort(2));  // not while open
    EXPECT_EQ(f.port.lastError().number, port_error::PortAlreadyOpen);
    EXPECT_FALSE(f.port.setPortOpen(true));
    ASSERT_TRUE(f.port.setPortOpen(false));
    EXPECT_FALSE(f.port.setCommPort(0));
    EXPECT_EQ(f.port.lastError().number, port_error::InvalidPortNumber);
    EXPECT_TRUE(f.port.setCommPort(3));
    EXPECT_EQ(f.port.commPort(), 3);
    EXPECT_FALSE(f.port.output("x"));
    EXPECT_EQ(f.port.lastError().number, port_error::PortNotOpen);
    EXPECT_EQ(f.port.input(), "");
    EXPECT_EQ(f.port.inBufferCount(), 0);
    EXPECT_FALSE(f.port.cdHolding());
    EXPECT_TRUE(f.port.pollEvents().empty());
    EXPECT_FALSE(f.port.setHandshaking(4));
    EXPECT_TRUE(f.port.setHandshaking(2));
    EXPECT_EQ(f.port.handshaking(), 2);
    ASSERT_TRUE(f.port.setPortOpen(true));
    EXPECT_TRUE(f.port.ctsHolding());
    EXPECT_TRUE(f.port.dsrHolding());
    EXPECT_EQ(f.port.outBufferCount(), 0);
}

TEST(PortProperties, SevenDataBitsCutTheTopBit)
{
    CardFixture f;
    ASSERT_TRUE(f.port.setSettings("9600,E,7,1"));
    f.port.output(bytesOf("A0"));
    f.clock.sleepMs(5);
    EXPECT_EQ(hex(f.port.input()), "20");
}

}  // namespace
}  // namespace puolukka::test
