// The reader on the line: echo, timing, reset lines, carrier detect, parity and convention, events.
#include "t0_driver.h"

#include <bit>

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

// Faults on purpose, each forced once on a READ RECORD of record 1 (5 header
// bytes, the procedure byte, 28 data bytes, 90 00): the 8th character on the
// line is the record's 2nd byte, the 3rd the header's P1.
TEST(Faults, EachFaultStrikesAsOnARealLine)
{
    using sim::Fault;
    struct Row {
        Fault kind;
        int skip;
        std::string expected;  // what arrives, as hex ("<record>" stands for record 1)
        std::vector<int> events;
        long long flagged;
    };
    CardFixture clean(CardOptions{.pin1Enabled = false});
    const std::string record = hex(clean.adnRecord(1));
    const std::string second = record.substr(2, 2);
    const std::string rest = record.substr(4);
    const std::string atr = "3B1611800147534D31";
    const Row rows[] = {
        {Fault::DroppedByte, 7, "A0B201041CB2" + record.substr(0, 2) + rest + "9000", {}, 0},
        {Fault::DroppedByte, 2, "A0B2041C", {}, 0},  // the card has 4 header bytes: it waits
        {Fault::FlippedByte, 7, "A0B201041CB2" + record.substr(0, 2) + "3F" + rest + "9000",
         {comm_event::RxParity}, 1},
        {Fault::ParityError, 7, "A0B201041CB2" + record.substr(0, 2) + "3F" + rest + "9000",
         {comm_event::RxParity}, 1},
        {Fault::FlippedByte, 2, "A0B23F041C", {comm_event::RxParity}, 1},  // the card drops it
        {Fault::CardRemoved, 7, "A0B201041CB2" + record.substr(0, 4), {comm_event::Cd}, 0},
        {Fault::CardReset, 7, "A0B201041CB2" + record.substr(0, 4) + atr, {}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(sim::faultName(row.kind)) + " after " + std::to_string(row.skip));
        CardFixture f(CardOptions{.pin1Enabled = false});
        T0Driver d(f.port, f.clock);
        runScript(f, d, {select("7F10", "9F16"), select("6F3A", "9F0F")});
        f.port.pollEvents();
        sim::FaultPlan plan;
        plan.arm(false);  // only what is forced
        f.port.setFaultPlan(&plan);
        plan.strikeNext(row.kind, row.skip);
        EXPECT_EQ(hex(d.exchange("A0B201041C", 100)), row.expected);
        EXPECT_EQ(f.port.pollEvents(), row.events);
        EXPECT_EQ(f.port.flaggedCharacters(), row.flagged);
        EXPECT_EQ(plan.injected(row.kind), 1);
        EXPECT_EQ(plan.injectedTotal(), 1);
    }
}

TEST(Faults, ParityOrOneBitAndTheCardBackInTheReader)
{
    using sim::Fault;
    CardFixture f(CardOptions{.pin1Enabled = false});
    T0Driver d(f.port, f.clock);
    runScript(f, d, {select("7F10", "9F16"), select("6F3A", "9F0F")});
    const std::string clean = d.exchange("A0B201041C");
    sim::FaultPlan plan;
    f.port.setFaultPlan(&plan);
    f.port.setParityReplace("");  // bytes kept as they came
    plan.strikeNext(Fault::ParityError, 7);
    EXPECT_EQ(d.exchange("A0B201041C"), clean) << "the parity bit alone: the byte is intact";
    plan.strikeNext(Fault::FlippedByte, 7);
    const std::string flipped = d.exchange("A0B201041C");
    ASSERT_EQ(flipped.size(), clean.size());
    EXPECT_EQ(std::popcount(unsigned(std::uint8_t(flipped[7] ^ clean[7]))), 1);
    EXPECT_EQ(flipped.substr(8), clean.substr(8));
    EXPECT_EQ(f.port.flaggedCharacters(), 2);

    // A NULL storm before the procedure byte of the next answer: 10 to 300 of them.
    plan.strikeNext(Fault::NullStorm);
    f.port.output(bytesOf("A0B201041C"));
    f.clock.sleepMs(8000);
    const std::string stormy = f.port.input();
    const std::size_t nulls = stormy.find_first_not_of('\x60', 5) - 5;
    EXPECT_GE(nulls, 10u);
    EXPECT_LE(nulls, 300u);
    EXPECT_EQ(stormy.substr(5 + nulls), clean.substr(5));

    // The card pulled out comes back within 1.5 s, as a new card: it needs a reset.
    f.port.pollEvents();
    plan.strikeNext(Fault::CardRemoved);
    d.exchange("A0B201041C");
    EXPECT_FALSE(f.port.cdHolding());
    f.clock.sleepMs(1500);
    EXPECT_TRUE(f.port.cdHolding());
    EXPECT_EQ(f.port.pollEvents(), (std::vector<int>{comm_event::Cd}));
    EXPECT_EQ(d.command("A0B201041C").sw, "9400") << "back in the master file";
}

// The adapter pulled out: the port closes under the program and cannot be
// opened until the adapter is back (0.2 to 3 s later); the card is as it was.
TEST(Faults, APortThatVanishesComesBackOnlyWhenOpenedAgain)
{
    CardFixture f(CardOptions{.pin1Enabled = false});
    T0Driver d(f.port, f.clock);
    sim::FaultPlan plan;
    f.port.setFaultPlan(&plan);
    plan.strikeNext(sim::Fault::PortGone, 5);  // with the procedure byte
    f.port.output(bytesOf("A0A4000002"));
    f.clock.sleepMs(50);
    EXPECT_EQ(f.port.input(), "") << "the echo went with the adapter";
    EXPECT_FALSE(f.port.portOpen()) << "noticed by the read, as a POSIX port notices a hung-up device";
    EXPECT_EQ(f.port.lastError().description, VirtualReaderPort::kPortGone);
    EXPECT_TRUE(f.port.pollEvents().empty());
    EXPECT_FALSE(f.port.setPortOpen(true));
    EXPECT_EQ(f.port.lastError().number, port_error::DeviceNotAvailable);
    EXPECT_EQ(f.port.lastError().description, VirtualReaderPort::kNoAdapter);
    f.clock.sleepMs(3000);
    ASSERT_TRUE(f.port.portPresent());
    ASSERT_TRUE(f.port.setPortOpen(true));
    // The card still waits for the SELECT's data: only a reset brings it back in step.
    EXPECT_TRUE(f.card().commandPending());
    EXPECT_EQ(hex(d.resetByRts()), "3B1611800147534D31");
    EXPECT_EQ(d.command("A0A4000002", "3F00").sw, "9F16");
}

}  // namespace
}  // namespace puolukka::test
