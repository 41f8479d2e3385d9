// The reader on the line: echo, timing, reset lines, carrier detect, parity and convention, events.
#include "t0_driver.h"

#include "conversions/conversions.h"

namespace puolukka::test {
namespace {

const std::string kAtr = "3B1611800147534D31";

TEST(LineTiming, EveryByteTakesTwelveBitTimesAndTheEchoComesFirst)
{
    CardFixture f;
    ASSERT_EQ(f.port.characterTimeUs(), 1250);
    f.port.output(bytesOf("A0A4000002"));
    // Echo bytes end at 1.25, 2.5, 3.75, 5, 6.25 ms; the card thinks 1 ms and its procedure byte ends at 8.5 ms.
    for (const auto& [atUs, count] : {std::pair{6249, 4}, {6250, 5}, {8499, 5}, {8500, 6}}) {
        f.clock.advanceUs(atUs - f.clock.nowUs());
        EXPECT_EQ(f.port.inBufferCount(), count) << atUs;
    }
    EXPECT_EQ(hex(f.port.input()), "A0A4000002A4");
}

TEST(LineTiming, LateBytesComeLaterAndNothingIsLost)
{
    CardFixture f;
    T0Driver d(f.port, f.clock);
    runScript(f, d, {verify("01", "1234", "9000"), select("7F10", "9F16"), select("6F3A", "9F0F")});
    // READ RECORD: 5 echo + procedure + 28 data + 2 status = 36 bytes; the procedure byte
    // ends at 6.25 + 1 + 1.25 = 8.5 ms after the write, the last status byte 30 x 1.25 ms later.
    const std::int64_t start = f.clock.nowUs();
    f.port.output(bytesOf("A0B201041C"));
    f.clock.sleepMs(20);
    const std::string first = f.port.input();
    EXPECT_EQ(first.size(), 5u + 1u + 9u);  // card bytes ending at 8.5, 9.75, ... 18.5 ms
    f.clock.advanceUs(start + 46000 - f.clock.nowUs());
    const std::string all = first + f.port.input();
    EXPECT_EQ(all.size(), 36u);
    EXPECT_EQ(all.substr(6, 28), f.adnRecord(1));
    EXPECT_EQ(hex(all.substr(34)), "9000");
}

TEST(ResetLines, ReleasingResetSendsTheAtr)
{
    CardFixture f;
    f.port.setRTSEnable(true);
    EXPECT_TRUE(f.port.resetAsserted());
    f.clock.sleepMs(250);
    f.port.setRTSEnable(false);
    f.clock.advanceUs(2000 + 1250 * 9 - 1);  // 2 ms after release, then 9 bytes of 1.25 ms
    EXPECT_EQ(f.port.inBufferCount(), 8);
    f.clock.advanceUs(1);
    EXPECT_EQ(hex(f.port.input()), kAtr);
}

TEST(CarrierDetect, RemovedCardAnswersNothingButTheEcho)
{
    CardFixture f;
    T0Driver d(f.port, f.clock);
    f.port.removeCard();
    EXPECT_FALSE(f.port.cdHolding());
    EXPECT_EQ(f.port.pollEvents(), std::vector<int>{comm_event::Cd});
    EXPECT_EQ(hex(d.exchange("A0A4000002")), "A0A4000002");
    EXPECT_EQ(hex(d.resetByRts()), "");
    f.port.insertCard();
    EXPECT_TRUE(f.port.cdHolding());
    EXPECT_EQ(f.port.pollEvents(), std::vector<int>{comm_event::Cd});
    EXPECT_EQ(d.command("A0A4000002", "3F00").sw, "9F16");
}

TEST(Convention, InverseCardThroughEvenParityRaisesParityErrors)
{
    CardFixture f(CardOptions{.inverse = true});
    T0Driver d(f.port, f.clock);
    EXPECT_EQ(d.resetByRts(), std::string(9, '?'));  // every card byte replaced by ParityReplace
    EXPECT_EQ(f.port.pollEvents(), std::vector<int>{comm_event::RxParity});  // the bytes were already read
}

TEST(Convention, InverseCardThroughOddParityIsUnderstoodBothWays)
{
    CardFixture f(CardOptions{.inverse = true});
    T0Driver d(f.port, f.clock);
    ASSERT_TRUE(f.port.setPortOpen(false) && f.port.setSettings("9600,O,8,1") && f.port.setPortOpen(true));
    const std::string raw = d.resetByRts();
    EXPECT_EQ(hex(raw.substr(0, 1)), "03");
    d.inverse = true;  // as the program does under inverse convention
    EXPECT_EQ(d.resetByRts(), bytesOf("3F1611800147534D31"));
    EXPECT_TRUE(f.port.pollEvents().empty());
    EXPECT_EQ(d.command("A0A4000002", "3F00").sw, "9F16");
    EXPECT_EQ(hex(f.port.trace().back().command), "A0A40000023F00");
    EXPECT_EQ(d.command("A020000108", T0Driver::codeHex("1234")).sw, "9000");
    d.inverse = false;  // untransformed bytes reach the card as other bytes
    EXPECT_EQ(hex(d.exchange("A0A4000002").substr(5)), "89FF");  // 6E 00 as sent by an inverse card
    EXPECT_EQ(hex(f.port.trace().back().command), "FADAFFFFBF");
    EXPECT_EQ(f.port.trace().back().statusWord(), "6E00");
    EXPECT_TRUE(f.port.pollEvents().empty());
}

// What comes back from the line, hex, after writing hexText and letting ms pass.
std::string lineAfter(CardFixture& f, const std::string& hexText, int ms = 100)
{
    f.port.output(bytesOf(hexText));
    f.clock.sleepMs(ms);
    return hex(f.port.input());
}

// A command's header, then its data (one byte a write when oneByte), and
// everything the card sent after each echo, hex.
std::string answers(CardFixture& f, const std::string& header, const std::string& data, bool oneByte)
{
    std::string out = lineAfter(f, header).substr(10);
    for (std::size_t i = 0; i < data.size(); i += oneByte ? 2 : data.size())
        out += lineAfter(f, data.substr(i, oneByte ? 2 : data.size())).substr(oneByte ? 2 : data.size());
    return out;
}

// The habits of real cards (ISO 7816-3 T=0): NULL bytes before each answer,
// and the complement of INS to move the data one byte at a time, both ways.
TEST(CardHabits, NullBytesAndByteAtATime)
{
    struct Row {
        const char* name;
        void (*apply)(sim::CardDescription&);
        std::string select, read;  // what the card sends to SELECT 2FE2 and to READ BINARY of its 2 bytes
    };
    const Row rows[] = {
        {"prompt", [](sim::CardDescription&) {}, "A4" "9F0F", "B0" "9812" "9000"},
        {"two NULL bytes", [](sim::CardDescription& c) { c.nullBytes = 2; }, "6060A4" "60609F0F",
         "6060B0" "9812" "9000"},
        {"one byte at a time", [](sim::CardDescription& c) { c.byteAtATime = true; }, "5B" "5B" "9F0F",
         "4F98" "4F12" "9000"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sim::CardDescription card = sim::demoCard();
        row.apply(card);
        card.files[std::size_t(card.findPath("2FE2"))].data = bytesOf("98123456789012345678");
        CardFixture f(card);
        EXPECT_EQ(answers(f, "A0A4000002", "2FE2", card.byteAtATime), row.select);
        EXPECT_EQ(answers(f, "A0B0000002", "", false), row.read);
        EXPECT_FALSE(f.card().commandPending());
        for (const sim::TraceEntry& t : f.port.trace())
            EXPECT_NE(t.kind, sim::TraceEntry::Kind::Ignored) << t.note;
    }
}

TEST(CardHabits, NullBytesWhileWritingComeAtTheirPace)
{
    sim::CardDescription card = sim::demoCard();
    card.writeNullBytes = 3;
    card.nullIntervalUs = 40'000;
    card.files[std::size_t(card.findPath("7F10/6F3A"))].access.update = 0;
    CardFixture f(card);
    T0Driver d(f.port, f.clock);
    runScript(f, d, {select("7F10", "9F16"), select("6F3A", "9F0F")});
    EXPECT_EQ(hex(d.exchange("A0DC01041C").substr(5)), "DC");
    const std::int64_t start = f.clock.nowUs();
    f.port.output(std::string(28, '\xFF'));
    // 28 echo bytes, 2 ms of thinking, then a NULL byte every 40 ms and the status word.
    f.clock.advanceUs(28 * 1250 + 2000 + 3 * (1250 + 40'000) + 2 * 1250 - 1);
    EXPECT_EQ(hex(f.port.input().substr(28)), "606060" "90");
    f.clock.advanceUs(1);
    EXPECT_EQ(hex(f.port.input()), "00");
    EXPECT_EQ(f.clock.nowUs() - start, 28 * 1250 + 2000 + 3 * 41'250 + 2 * 1250);
    EXPECT_EQ(f.adnRecord(1), std::string(28, '\xFF'));
}

// T=0 is half duplex: a character sent while the card has the line clashes
// with the card's. Its answer is lost, and the trace says so.
TEST(CardHabits, ACollisionIsTheHostsFaultAndTheTraceSaysSo)
{
    CardFixture f;
    // Header and data in one write: the data run into the procedure byte.
    const std::string got = lineAfter(f, "A0A40000027F10");
    EXPECT_EQ(got, "A0A40000027F10");  // only the echo: the card's answer is lost
    ASSERT_GE(f.port.trace().size(), 2u);
    EXPECT_EQ(f.port.trace()[1].kind, sim::TraceEntry::Kind::Ignored);
    EXPECT_EQ(f.port.trace()[1].note, VirtualReaderPort::kCollision);
    EXPECT_EQ(f.card().currentDirectoryId(), 0x3F00) << "nothing was selected";
}

// A pseudo-terminal or a network server carries no parity: an inverse card's
// bytes arrive as they are, without a parity error, and the card takes the
// host's bytes whatever their parity.
TEST(Convention, WithoutParityOnTheLineNothingIsFlagged)
{
    sim::CardDescription card = makeCard(CardOptions{.inverse = true});
    card.lineParity = false;
    CardFixture f(card);
    T0Driver d(f.port, f.clock);
    EXPECT_EQ(hex(d.resetByRts()), hex(inverseBytes(card.atr)));
    EXPECT_TRUE(f.port.pollEvents().empty());
    d.inverse = true;
    EXPECT_EQ(d.command("A0A4000002", "3F00").sw, "9F16");
}

}  // namespace
}  // namespace puolukka::test
