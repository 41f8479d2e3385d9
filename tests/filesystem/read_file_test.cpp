#include "filesystem/explorer.h"
#include "scripted_card.h"

namespace puolukka {
namespace {

using test::Strings;

TEST(ReadFile, CommandsFollowTheDescription)
{
    auto records = [](int n, const std::string& p2p3) {  // READ RECORD of records 1 to n with this P2 P3
        Strings out;
        for (int i = 1; i <= n; ++i)
            out.push_back("A0B2" + bytesToHex(std::string(1, char(i))) + p2p3);
        return out;
    };
    // An EF description with the size (bytes 3-4), structure (14) and record length (15).
    auto ef = [](const std::string& size, const std::string& structure, const std::string& length) {
        return "0000" + size + "6F3A" "04" "00" "11F4FF" "01" "02" + structure + length;
    };
    struct Row {
        void (*read)(App&);
        std::string description;  // "" for an empty reader: nothing comes back
        Strings commands;         // after the silent SELECT and GET RESPONSE
    };
    for (const Row& row : {Row{RRecord_Click, ef("0118", "01", "1C"), records(10, "041C")},
                           Row{RRecord_Click, ef("000A", "00", "00"), {"A0B2010400"}},  // a transparent file too
                           Row{RRecord_Click, "", {"A0B20104"}},
                           Row{RRecord_Click, ef("FFFF", "01", "01"), records(255, "0401")},  // at most 255, and a word
                           Row{Rbinary_Click, ef("000A", "00", "00"), {"A0B000000A"}},
                           Row{Rbinary_Click, ef("0200", "00", "00"), {"A0B00000FF", "A0B000FFFF", "A0B001FE02"}},
                           Row{Rbinary_Click, "", {"A0B000"}}}) {
        SCOPED_TRACE(row.description);
        test::ScriptedCard c;
        c.app.card.CurrentFile = "EF-6F3A-ADN", c.port.echo = !row.description.empty();
        c.screen.setEnabled("GetResp3", true);
        c.selectReply("0F");
        c.descriptionReply(row.description);
        row.read(c.app);
        EXPECT_EQ(c.written(3), row.commands);
        EXPECT_EQ(c.written().size() < 3 ? "" : c.written()[0] + c.written()[1] + c.written()[2],
                  "A0A4000002" "6F3A" "A0C000000F");
        EXPECT_EQ(c.screen.messageTexts(), row.commands.size() < 255 ? Strings{}
                  : Strings{"The file holds 65535 records; only records 1 to 255 can be read."});
        EXPECT_FALSE(c.screen.enabled("GetResp3"));
        EXPECT_EQ(c.app.card.ShowInTerminal, 1);
        // READ RECORD shows the GET RESPONSE line; READ BINARY only logs it, and shows its own.
        const bool binary = row.read == Rbinary_Click;
        EXPECT_EQ(c.screen.term.find("A0C000000F GET RESPONSE ON EF \r\n") != std::string::npos, !binary);
        EXPECT_EQ(c.screen.term.find(row.commands[0] + " EF CONTENT \r\n") != std::string::npos, binary);
    }
}

}  // namespace
}  // namespace puolukka
