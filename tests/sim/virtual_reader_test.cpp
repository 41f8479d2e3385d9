// The reader on the line: echo, timing, reset lines, carrier detect, parity and convention, events.
#include "t0_driver.h"

#include <bit>

#include "conversions/conversions.h"

namespace puolukka::test {
namespace {

TEST(LineTiming, LateBytesComeLaterAndNothingIsLost)
{
    CardFixture f;
    T0Driver d(f.port, f.clock);
    runScript(f, d, {verify("01", "1234", "9000"), select("7F10", "9F16"), select("6F3A", "9F0F")});
    // 5 echo + procedure + 28 data + 2 status; the procedure byte ends 8.5 ms after the write.
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
    EXPECT_EQ(d.command("A020000108", T0Driver::codeHex("1234")).sw, "9000");
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

// ISO 7816-3 T=0: NULL bytes before each answer, and the complement of INS for one byte at a time.
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

// T=0 is half duplex: data sent into the procedure byte clash with it.
TEST(CardHabits, ACollisionIsTheHostsFaultAndTheTraceSaysSo)
{
    CardFixture f;
    EXPECT_EQ(lineAfter(f, "A0A40000027F10"), "A0A40000027F10");  // only the echo
    ASSERT_GE(f.port.trace().size(), 2u);
    EXPECT_EQ(f.port.trace()[1].kind, sim::TraceEntry::Kind::Ignored);
    EXPECT_EQ(f.port.trace()[1].note, VirtualReaderPort::kCollision);
    EXPECT_EQ(f.card().currentDirectoryId(), 0x3F00) << "nothing was selected";
}

// Each fault forced once on READ RECORD 1: the 8th character is the record's 2nd byte, the 3rd is P1.
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
    const std::string rest = record.substr(4);
    const std::string atr = "3B1611800147534D31";
    const Row rows[] = {
        {Fault::DroppedByte, 7, "A0B201041CB2" + record.substr(0, 2) + rest + "9000", {}, 0},
        {Fault::DroppedByte, 2, "A0B2041C", {}, 0},  // the card has 4 header bytes: it waits
        {Fault::FlippedByte, 7, "A0B201041CB2" + record.substr(0, 2) + "3F" + rest + "9000",
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

// The adapter pulled out: the port closes and cannot be opened until it is back (0.2 to 3 s).
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
