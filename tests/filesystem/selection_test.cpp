#include "filesystem/selection.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "scripted_card.h"

namespace puolukka {
namespace {

using test::ScriptedCard;

const char* const kHeaderLine = "A0A4000002\r\n";

TEST(Selection, DfTelecomSendsFourCommandsWithTheirLines)
{
    ScriptedCard c;
    c.selectReply("16");
    c.selectReply("1A");
    SelDF_TELECOM(c.app);

    EXPECT_EQ(c.writtenHex(), (std::vector<std::string>{"A0A4000002", "3F00", "A0A4000002", "7F10"}));
    EXPECT_EQ(c.app.card.ResponseLength, "1A");
    EXPECT_EQ(c.app.card.CardDelay, 50);
    // In SelRoot the header's line follows the header's answer; in the DF selection it comes first.
    const std::string& t = c.screen.term;
    const auto rootAnswer = t.find("A0 A4 00 00 02 A4");
    const auto rootHeaderLine = t.find(kHeaderLine);
    const auto rootLine = t.find("3F00            = Root-MF 3F00\r\n");
    const auto secondHeaderLine = t.find(kHeaderLine, rootHeaderLine + 1);
    const auto telecomLine = t.find("7F10            = DF-TELECOM 7F10\r\n");
    const auto secondHeaderAnswer = t.find("A0 A4 00 00 02 A4", rootAnswer + 1);
    ASSERT_NE(telecomLine, std::string::npos);
    EXPECT_LT(rootAnswer, rootHeaderLine);
    EXPECT_LT(rootHeaderLine, rootLine);
    EXPECT_LT(rootLine, secondHeaderLine);
    EXPECT_LT(secondHeaderLine, secondHeaderAnswer);
    EXPECT_LT(secondHeaderAnswer, telecomLine);
}

TEST(Selection, EachDirectoryHasItsIdentifierAndCaption)
{
    struct Row {
        void (*select)(App&);
        const char* id;
        const char* line;
    };
    for (const Row& row : {Row{SelDF_GSM, "7F20", "7F20            = DF-GSM 7F20\r\n"},
                           Row{SelDF_GSM2, "7F21", "7F21            = DF-GSM 7F21\r\n"},
                           Row{SelDF_TELECOM, "7F10", "7F10            = DF-TELECOM 7F10\r\n"}}) {
        ScriptedCard c;
        row.select(c.app);
        ASSERT_EQ(c.writtenHex().size(), 4u);
        EXPECT_EQ(c.writtenHex()[3], row.id);
        EXPECT_NE(c.screen.term.find(row.line), std::string::npos) << row.id;
    }
}

TEST(Selection, SelRootWaitsBetweenHeaderAndIdentifier)
{
    ScriptedCard c;
    c.selectReply("1A");
    SelRoot(c.app);
    // Two exchanges of 50 ms and the 50 ms pause.
    EXPECT_EQ(c.clock.nowUs(), 150'000);
    EXPECT_EQ(c.app.card.ResponseLength, "1A");
}

TEST(Selection, SelCmdSelectsInTheCurrentDirectoryOnly)
{
    ScriptedCard c;
    c.selectReply("1A");
    SelCmd(c.app, "6F3A", "ADN");
    EXPECT_EQ(c.writtenHex(), (std::vector<std::string>{"A0A4000002", "6F3A"}));
    EXPECT_NE(c.screen.term.find("6F3A            = ADN\r\n"), std::string::npos);
    EXPECT_EQ(c.app.card.ResponseLength, "1A");
    EXPECT_EQ(c.clock.nowUs(), 200'000);  // two exchanges and 100 ms
}

TEST(Selection, FailedOrEmptyAnswers)
{
    ScriptedCard c;
    c.reply("A4");
    c.reply("9404");
    SelCmd(c.app, "6F49", "6F49");
    EXPECT_EQ(c.app.card.ResponseLength, "04");

    ScriptedCard quiet;
    quiet.port.echo = false;
    quiet.app.card.ResponseLength = "16";
    SelRoot(quiet.app);
    EXPECT_EQ(quiet.app.card.ResponseLength, "");

    ScriptedCard closed;
    closed.port.setPortOpen(false);
    SelDF_GSM(closed.app);
    EXPECT_TRUE(closed.port.writes.empty());
    EXPECT_EQ(closed.app.card.ResponseLength, "");
}

TEST(Selection, TerminalOffStillLogsEveryLine)
{
    ScriptedCard c;
    const std::string path = ::testing::TempDir() + "selection_log_test.log";
    std::remove(path.c_str());
    std::string error;
    ASSERT_TRUE(c.app.log.open(path, &error)) << error;
    c.app.card.ShowInTerminal = 0;
    SelDF_GSM(c.app);
    c.app.log.close();

    EXPECT_EQ(c.screen.term, "");
    std::ifstream in(path, std::ios::binary);
    std::stringstream log;
    log << in.rdbuf();
    const std::string text = log.str();
    EXPECT_NE(text.find("3F00            = Root-MF 3F00\r\n"), std::string::npos);
    EXPECT_NE(text.find("7F20            = DF-GSM 7F20\r\n"), std::string::npos);
    std::remove(path.c_str());
}

}  // namespace
}  // namespace puolukka
