#include "filesystem/explorer.h"
#include "link/reset.h"
#include "scripted_card.h"

namespace puolukka {
namespace {

using test::Strings;

// READ RECORD of records 1 to n with this P2 P3.
Strings records(int n, const std::string& p2p3)
{
    Strings out;
    for (int i = 1; i <= n; ++i)
        out.push_back("A0B2" + bytesToHex(std::string(1, char(i))) + p2p3);
    return out;
}

// An EF description with the size (bytes 3-4), structure (14) and record length (15).
std::string ef(const std::string& size, const std::string& structure, const std::string& length)
{
    return "0000" + size + "6F3A" "04" "00" "11F4FF" "01" "02" + structure + length;
}

TEST(ReadFile, CommandsFollowTheDescriptionAndStopAtTheFirstError)
{
    struct Row {
        void (*read)(App&);
        std::string description;  // "" for an empty reader: nothing comes back
        Strings answers;          // the card's answer to each read command (after echo and procedure byte)
        Strings commands;         // after the silent SELECT and GET RESPONSE
        const char* message = "";
    };
    const std::string ok = "9000";
    const std::string record28 = std::string(56, 'F') + ok, byte1 = "41" + ok;
    auto repeat = [](int n, const std::string& answer) { return Strings(std::size_t(n), answer); };
    const Row rows[] = {
        // The first answer other than 90 00 ends the reading, shown as it came.
        {RRecord_Click, ef("0118", "01", "1C"), {record28, record28, "9402"}, records(3, "041C")},
        {RRecord_Click, ef("000A", "00", "00"), {"9408"}, {"A0B2010400"}},  // a transparent file too
        {RRecord_Click, ef("FFFF", "01", "01"), repeat(255, byte1), records(255, "0401"),
         "The file holds 65535 records; only records 1 to 255 can be read."},
        {Rbinary_Click, ef("000A", "00", "00"), {std::string(20, '0') + ok}, {"A0B000000A"}},
        {Rbinary_Click, ef("0200", "00", "00"), {std::string(510, '0') + ok, std::string(510, '0') + ok, "000090" "00"},
         {"A0B00000FF", "A0B000FFFF", "A0B001FE02"}},
        {Rbinary_Click, ef("0200", "00", "00"), {std::string(510, '0') + ok, "6B00"}, {"A0B00000FF", "A0B000FFFF"}},
        // Only what the card described is decoded: an empty reader sends no read command at all.
        {Rbinary_Click, "", {}, {}, "Incomplete description: 0 of 7 bytes !"},
        {RRecord_Click, "", {}, {}, "Incomplete description: 0 of 15 bytes !"},
        {RRecord_Click, ef("0118", "01", ""), {}, {}, "Incomplete description: 14 of 15 bytes !"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description + " " + std::to_string(row.commands.size()));
        test::ScriptedCard c;
        c.app.card.CurrentFile = "EF-6F3A-ADN", c.port.echo = !row.description.empty();
        c.screen.setEnabled("GetResp3", true);
        c.selectReply(bytesToHex(std::string(1, char(row.description.size() / 2))));
        c.descriptionReply(row.description);
        const std::string ins = row.read == Rbinary_Click ? "B0" : "B2";
        for (const std::string& answer : row.answers)
            c.reply(answer.size() > 4 ? ins + answer : answer);
        row.read(c.app);
        EXPECT_EQ(c.written(3), row.commands);
        if (!row.description.empty()) {
            EXPECT_EQ(c.written().at(0) + c.written().at(1), "A0A4000002" "6F3A");
        }
        EXPECT_EQ(c.screen.messageTexts(), *row.message ? Strings{row.message} : Strings{});
        EXPECT_FALSE(c.screen.enabled("GetResp3"));
        EXPECT_EQ(c.app.card.ShowInTerminal, 1);
        if (row.commands.empty() || row.commands.size() > 100)
            continue;  // (the pane keeps only its last 8192 characters)
        // READ RECORD shows the GET RESPONSE line; READ BINARY only logs it, and shows its own.
        const bool binary = row.read == Rbinary_Click;
        EXPECT_EQ(c.screen.term.find("A0C000000F GET RESPONSE ON EF \r\n") != std::string::npos, !binary);
        EXPECT_EQ(c.screen.term.find(row.commands[0] + " EF CONTENT \r\n") != std::string::npos, binary);
    }
}

// EF SMS records of 176 bytes (230 ms each): no command runs into the answer before it.
TEST(ReadFile, LongRecordsAreReadOneAfterTheOther)
{
    test::CardFixture f;
    f.card().description().chv1Enabled = false;
    resetointi(f.app);
    f.screen.inputAnswers.push_back("sms");
    EFDF_Click(f.app);
    f.port.clearTrace();
    RRecord_Click(f.app);
    Strings reads;
    for (const sim::TraceEntry& t : f.port.trace()) {
        EXPECT_NE(t.kind, sim::TraceEntry::Kind::Ignored) << t.note;
        if (t.command.size() == 5 && t.command[1] == '\xB2') {
            reads.push_back(sim::toHex(t.command));
            EXPECT_EQ(t.answer.size(), 1u + 176u + 2u);
            EXPECT_EQ(t.statusWord(), "9000");
        }
    }
    EXPECT_EQ(reads, records(10, "04B0"));
}

// With a directory current, READ BINARY goes once and the card's refusal is shown.
TEST(ReadFile, ReadBinaryOnADirectorySendsOneCommand)
{
    for (const char* typed : {"mf", "telecom"}) {
        SCOPED_TRACE(typed);
        test::CardFixture f;
        resetointi(f.app);
        f.screen.inputAnswers.push_back(typed);
        EFDF_Click(f.app);
        f.port.clearTrace();
        f.screen.term.clear();
        Rbinary_Click(f.app);
        Strings reads;
        for (const sim::TraceEntry& t : f.port.trace())
            if (t.command.size() == 5 && t.command[1] == '\xB0')
                reads.push_back(t.statusWord());
        EXPECT_EQ(reads, Strings{"9400"});
        EXPECT_NE(f.screen.term.find("94 00  = no EF selected !"), std::string::npos);
    }
}

}  // namespace
}  // namespace puolukka
