#include "ports/t0_apdu.h"

#include <gtest/gtest.h>

#include "ports/pcsc_port.h"
#include "sim/card_description.h"

namespace puolukka {
namespace {

std::string bytes(const std::string& hex)
{
    std::string b;
    EXPECT_TRUE(sim::parseHex(hex, &b)) << hex;
    return b;
}

// What the gatherer answers while the program writes a command byte by byte:
// "." for a byte taken, "A" for the procedure byte it asks for, and the hex of
// each APDU it sends.
std::string gather(T0CommandGatherer& g, const std::string& hex)
{
    std::string steps;
    for (char c : bytes(hex)) {
        const auto step = g.feed(static_cast<std::uint8_t>(c));
        if (step.kind == T0CommandGatherer::Step::Kind::None)
            steps += ".";
        else if (step.kind == T0CommandGatherer::Step::Kind::Acknowledge)
            steps += "A" + sim::toHex(std::string(1, step.procedure));
        else
            steps += "[" + sim::toHex(step.apdu) + "]";
    }
    return steps;
}

TEST(T0CommandGatherer, HeadersAndDataBecomeApdusByTheInstructionTable)
{
    struct Row {
        const char* written;
        const char* steps;
    };
    const Row rows[] = {
        // Data to the card: the procedure byte after the header, the APDU after the data.
        {"A020000108 31323334FFFFFFFF", "....A20.......[A02000010831323334FFFFFFFF]"},
        {"A0DC0104021234", "....ADC.[A0DC0104021234]"},
        // Data from the card: the header is the APDU, P3 its Le.
        {"A0C000000F", "....[A0C000000F]"},
        {"A0B0000000", "....[A0B0000000]"},
        // A command for the card without data (P3 0) is the header alone: case 1.
        {"A004000000", "....[A0040000]"},
        // Outside the table: data from the card, so nothing unknown is sent to it.
        {"A0770000 04", "....[A077000004]"},
        {"00840000 08", "....[0084000008]"},
        // Commands follow one another, split anywhere between writes.
        {"A0A4000002 7F10 A0C0000016", "....AA4.[A0A40000027F10]....[A0C0000016]"},
    };
    for (const Row& r : rows) {
        T0CommandGatherer g;
        EXPECT_EQ(gather(g, r.written), r.steps) << r.written;
        EXPECT_FALSE(g.midCommand()) << r.written;
    }
    T0CommandGatherer g;
    EXPECT_EQ(gather(g, "A0A4000002 3F"), "....AA4.");
    EXPECT_TRUE(g.midCommand());
    g.clear();  // a reset forgets a command half written
    EXPECT_EQ(gather(g, "A0F2000016"), "....[A0F2000016]");
    EXPECT_EQ(sim::toHex(g.lastHeader()), "A0F2000016");
}

TEST(T0CommandGatherer, ResponsesBecomeTheBytesAT0CardSends)
{
    struct Row {
        const char* header;
        const char* response;
        const char* t0;
    };
    const Row rows[] = {
        // From the card: INS, the data, the status word; no data: the status word alone.
        {"A0C000000F", "000000103F000100000000000902009000", "C0000000103F0001000000000009020090" "00"},
        {"A0B201041C", "9404", "9404"},
        // More data than asked are cut to P3; P3 0 asks for 256.
        {"A0B0000002", "1122339000", "B0112290" "00"},
        // To the card: the procedure byte went already; the status word, any data left out.
        {"A0A4000002", "9F0F", "9F0F"},
        {"A0A4000002", "AABB9000", "9000"},
        {"A0040000", "9000", ""},  // not a five-byte header: nothing
        // Shorter than a status word: a mute card.
        {"A0B201041C", "90", ""},
    };
    for (const Row& r : rows) {
        const std::string t0 = t0AnswerOf(bytes(r.header), bytes(r.response));
        EXPECT_EQ(sim::toHex(t0), r.t0) << r.header << " " << r.response;
    }
    const std::string ok("\x90\x00", 2);
    std::string expected(1, '\xB0');
    expected.append(256, '\x55').append(ok);
    EXPECT_EQ(t0AnswerOf(bytes("A0B0000000"), std::string(300, '\x55').append(ok)), expected);
}

TEST(PcscDevice, TextsAndReaderChoice)
{
    const std::vector<PcscReader> readers = {
        {"Gemalto PC Twin Reader 00 00", false}, {"ACS ACR38U 01 00", true}, {"ACS ACR38U 02 00", true}};
    struct Row {
        const char* device;
        bool pcsc;
        int chosen;
    };
    const Row rows[] = {
        {"PCSC", true, 1},          // the first reader holding a card
        {"pcsc:gemalto", true, 0},  // a name part, any case; the card does not matter
        {"pcsc: ACR38U ", true, 1},
        {"pcsc:ACS ACR38U 02", true, 2},
        {"pcsc:Omnikey", true, -1},
        {"pcscd", false, -1},
        {"/dev/ttyUSB0", false, -1},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(isPcscDevice(r.device), r.pcsc) << r.device;
        EXPECT_EQ(r.pcsc ? choosePcscReader(r.device, readers) : -1, r.chosen) << r.device;
    }
    // No card anywhere: "pcsc" takes the first reader, to wait there for one.
    EXPECT_EQ(choosePcscReader("pcsc", {{"A", false}, {"B", false}}), 0);
    EXPECT_EQ(choosePcscReader("pcsc", {}), -1);
}

}  // namespace
}  // namespace puolukka
