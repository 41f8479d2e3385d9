#include "filesystem/selection.h"
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "scripted_card.h"

namespace puolukka {
namespace {

using test::ScriptedCard;
using test::Strings;

TEST(Selection, DirectoriesSendFourCommandsWithTheirLines)
{
    for (const auto& [select, id, name] : {std::tuple{&SelDF_GSM, "7F20", "DF-GSM"},
                                           std::tuple{&SelDF_GSM2, "7F21", "DF-GSM"},
                                           std::tuple{&SelDF_TELECOM, "7F10", "DF-TELECOM"}}) {
        SCOPED_TRACE(id);
        ScriptedCard c;
        c.selectReply("16");
        c.selectReply("1A");
        select(c.app);
        EXPECT_EQ(c.written(), (Strings{"A0A4000002", "3F00", "A0A4000002", id}));
        EXPECT_EQ(c.app.card.ResponseLength, "1A");
        // In SelRoot the header's line follows the header's answer; in the DF selection it comes first.
        test::expectInOrder(c.screen.term, {"A0 A4 00 00 02 A4", "A0A4000002\r\n", "3F00            = Root-MF 3F00\r\n",
                                            "A0A4000002\r\n", "A0 A4 00 00 02 A4",
                                            std::string(id) + "            = " + name + " " + id + "\r\n"});
    }
}

// The replies come 1 ms after each write: no fixed waits around them.
TEST(Selection, TheCardsAnswersSetThePace)
{
    ScriptedCard file;
    file.selectReply("1A");
    SelCmd(file.app, "6F3A", "ADN");
    EXPECT_LT(file.clock.nowUs(), 3'000);
    EXPECT_EQ(file.written(), (Strings{"A0A4000002", "6F3A"}));
    EXPECT_NE(file.screen.term.find("6F3A            = ADN\r\n"), std::string::npos);
}

TEST(Selection, FailedOrEmptyAnswers)
{
    ScriptedCard failed, refused, quiet, closed;
    failed.reply("A4"), failed.reply("9404");
    SelCmd(failed.app, "6F49", "6F49");
    // A status word instead of the procedure byte: the identifier is neither sent nor shown.
    refused.reply("6E00");
    SelCmd(refused.app, "6F49", "6F49");
    EXPECT_EQ(refused.written(), Strings{"A0A4000002"});
    EXPECT_EQ(refused.screen.term, "A0A4000002\r\nA0 A4 00 00 02 6E 00  = Wrong instruction class given in the command !\r\n");
    EXPECT_EQ(refused.app.card.ResponseLength, "00");
    quiet.port.echo = false, quiet.app.card.ResponseLength = closed.app.card.ResponseLength = "16";
    SelRoot(quiet.app);
    closed.port.setPortOpen(false);
    SelDF_GSM(closed.app);
    EXPECT_EQ(failed.app.card.ResponseLength + "|" + quiet.app.card.ResponseLength + "|" + closed.app.card.ResponseLength,
              "04||");
    EXPECT_TRUE(closed.port.writes.empty());
    EXPECT_EQ(quiet.written(), Strings{"A0A4000002"});  // nothing came back: the identifier waits
}

TEST(Selection, TerminalOffStillLogsEveryLine)
{
    ScriptedCard c;
    const std::string path = ::testing::TempDir() + "selection_log_" + std::to_string(::getpid()) + ".log";
    std::remove(path.c_str());
    ASSERT_TRUE(c.app.log.open(path, nullptr));
    c.app.card.ShowInTerminal = 0;
    c.selectReply("16"), c.selectReply("16");
    SelDF_GSM(c.app);
    c.app.log.close();
    EXPECT_EQ(c.screen.term, "");
    std::stringstream log;
    log << std::ifstream(path, std::ios::binary).rdbuf();
    test::expectInOrder(log.str(), {"3F00            = Root-MF 3F00\r\n", "7F20            = DF-GSM 7F20\r\n"});
    std::remove(path.c_str());
}

}  // namespace
}  // namespace puolukka
