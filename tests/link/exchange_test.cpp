#include "link/exchange.h"

#include <gtest/gtest.h>

#include "conversions/conversions.h"
#include "link_fixture.h"

namespace puolukka::test {
namespace {

using namespace std::string_literals;

class ExchangeTest : public LinkFixture {};

TEST_F(ExchangeTest, SelectShowsTwoChunksAndLogsThem)
{
    const std::string path = openLog();
    port.queueReply("\xA4", 5);           // procedure byte after the header
    port.queueReply("\x9F\x1A"s, 20);     // response waiting after the data

    std::string header = HexToBytes("A0A4000002");
    EXPECT_TRUE(Send2Card(app, header, 50));
    EXPECT_EQ(app.card.AnswerHex, "A0A4000002A4");
    commandLine(app, "A0A4000002\r\n");
    clock.sleepMs(50);
    std::string data = HexToBytes("3F00");
    EXPECT_TRUE(Send2Card(app, data, 50));

    EXPECT_EQ(port.writes, (std::vector<std::string>{"\xA0\xA4\x00\x00\x02"s, "\x3F\x00"s}));
    EXPECT_EQ(app.card.AnswerHex, "3F009F1A");
    EXPECT_EQ(app.card.ResponseLength, "x");
    EXPECT_EQ(screen.term, "A0 A4 00 00 02 A4 \r\nA0A4000002\r\n3F 00 9F 1A = OK with x bytes!\r\n");
    EXPECT_EQ(fileBytes(path), "A0A4000002A4 \r\n\r\n"
                               "A0A4000002\r\n"
                               "= OK with x bytes!3F009F1A = OK with x bytes!\r\n\r\n");
    EXPECT_EQ(clock.nowUs(), 150'000);
}

TEST_F(ExchangeTest, InverseConventionTransformsBothWays)
{
    app.card.InverseConvention = 1;
    port.echo = false;
    // The card sends 90 00 in inverse convention.
    port.queueReply(inverseBytes("\x90\x00"s), 10);

    std::string header = HexToBytes("A0A4000002");
    EXPECT_TRUE(Send2Card(app, header, 50));
    EXPECT_EQ(header, "\xFA\xDA\xFF\xFF\xBF"s);  // the caller's bytes are replaced
    EXPECT_EQ(port.writes.back(), "\xFA\xDA\xFF\xFF\xBF"s);
    EXPECT_EQ(app.card.AnswerHex, "9000");
    EXPECT_EQ(screen.term, "90 00  = OK !\r\n");
}

TEST_F(ExchangeTest, ClosedPortOrFailedWriteReadsNothing)
{
    app.card.AnswerHex = "9000";
    port.deliver("\x6E\x00"s);
    port.failWrites = true;
    std::string bytes = "\xA0"s;
    EXPECT_FALSE(Send2Card(app, bytes, 50));
    EXPECT_EQ(app.card.AnswerHex, "9000");
    EXPECT_EQ(port.inBufferCount(), 2);

    port.failWrites = false;
    port.setPortOpen(false);
    EXPECT_FALSE(Send2Card(app, bytes, 50));
    EXPECT_EQ(app.card.AnswerHex, "9000");
    EXPECT_TRUE(screen.term.empty());
    EXPECT_TRUE(port.writes.empty());
}

TEST_F(ExchangeTest, NothingArrivedLeavesAnswerHex)
{
    port.echo = false;
    app.card.AnswerHex = "6F3A9000";
    std::string bytes = "\xA0"s;
    EXPECT_TRUE(Send2Card(app, bytes, 50));
    EXPECT_EQ(app.card.AnswerHex, "6F3A9000");
    EXPECT_TRUE(screen.term.empty());
}

struct Ending {
    std::string chunk;
    std::string pane;
    std::string log;
    std::vector<std::string> boxes;  // texts, all titled "Virhe!"
    int cardReady;
};

class ShowAnswerEndings : public LinkFixture, public ::testing::WithParamInterface<Ending> {};

TEST_P(ShowAnswerEndings, PaneLogBoxesAndState)
{
    const Ending& e = GetParam();
    const std::string path = openLog();
    std::string chunk = e.chunk;
    ShowAnswer(app, chunk);
    EXPECT_EQ(chunk, "\r\n");
    EXPECT_EQ(app.card.AnswerHex, bytesToHex(e.chunk));
    EXPECT_EQ(screen.term, e.pane);
    EXPECT_EQ(fileBytes(path), e.log);
    EXPECT_EQ(screen.messageTexts(), e.boxes);
    for (const auto& box : screen.boxes("message")) {
        EXPECT_EQ(box.title, "Virhe!");
        EXPECT_EQ(box.buttons, Buttons::Ok);
    }
    EXPECT_EQ(app.card.CardReady, e.cardReady);
}

INSTANTIATE_TEST_SUITE_P(
    Endings, ShowAnswerEndings,
    ::testing::Values(
        Ending{"\xA4", "A4 \r\n", "A4 \r\n\r\n", {}, 1},
        Ending{"", "\r\n", " \r\n\r\n", {}, 1},
        Ending{"\xB0\x90\x00"s, "B0 90 00  = OK !\r\n", " = OK !B09000 \r\n\r\n", {}, 1},
        Ending{"\x98\x04"s, "98 04  = Wrong CHV code !\r\n", " = Wrong CHV code !9804 \r\n\r\n",
               {"Annoit väärän PIN-koodin!"}, 0},
        Ending{"\x98\x40"s, "98 40  = Unsuccessful operation on CHV !\r\n",
               " = Unsuccessful operation on CHV !9840 \r\n\r\n", {"Kortti on lukkiutunut!"}, 1},
        Ending{"\x6E\x00"s, "6E 00  = Wrong instruction class given in the command !\r\n",
               " = Wrong instruction class given in the command !"
               "6E00  = Wrong instruction class given in the command !\r\n\r\n",
               {}, 1},
        Ending{"\x9F\x0F"s, "9F 0F = OK with x bytes!\r\n", "= OK with x bytes!9F0F = OK with x bytes!\r\n\r\n", {}, 1},
        Ending{"\x94\x04"s, "94 04  = File or pattern not found !\r\n",
               " = File or pattern not found !9404 \r\n\r\n", {}, 1},
        Ending{"\x91\x00"s, "91 00 \r\n", "9100 \r\n\r\n", {}, 1}));

TEST_F(ExchangeTest, LockedCardBoxComesBeforeItsText)
{
    std::string chunk = "\x98\x40"s;
    ShowAnswer(app, chunk);
    ASSERT_EQ(screen.termAtBox.size(), 1u);
    EXPECT_EQ(screen.termAtBox[0], "98 40 ");
}

TEST_F(ExchangeTest, SilentChunkReachesOnlyTheLog)
{
    const std::string path = openLog();
    app.card.ShowInTerminal = 0;
    screen.term = "old";
    std::string chunk = "\x3F\x00\x9F\x1A"s;
    ShowAnswer(app, chunk);
    EXPECT_EQ(screen.term, "old");
    EXPECT_EQ(app.card.ResponseLength, "x");
    EXPECT_EQ(fileBytes(path), "3F009F1A = OK with x bytes!\r\n\r\n");
}

TEST_F(ExchangeTest, PaneIsBoundedAndAnswersGoToItsEnd)
{
    screen.term = std::string(8191, 'a');
    screen.caret = 0;
    std::string chunk = "\xA4";
    ShowAnswer(app, chunk);
    EXPECT_EQ(screen.term, std::string(8191, 'a') + "A4 \r\n");

    screen.term = std::string(4096, 'a') + std::string(4096, 'b');
    screen.caret = 10;
    chunk = "\xA4";
    ShowAnswer(app, chunk);
    EXPECT_EQ(screen.term, std::string(4096, 'b') + "A4 \r\n");

    // The bound counts characters, not bytes, and always runs.
    app.card.ShowInTerminal = 0;
    screen.term = std::string(4096, 'a') + std::string(4095, 'b') + "ä";
    chunk = "\xA4";
    ShowAnswer(app, chunk);
    EXPECT_EQ(screen.term, std::string(4095, 'b') + "ä");
}

TEST_F(ExchangeTest, FailedLogWriteOffersRetry)
{
    std::string error;
    ASSERT_TRUE(app.log.open("/dev/full", &error)) << error;
    // Retry the status text once, then give up on every write.
    screen.messageAnswers = {Answer::Retry, Answer::Cancel, Answer::Cancel, Answer::Cancel};
    std::string chunk = "\x90\x00"s;
    ShowAnswer(app, chunk);
    const auto boxes = screen.boxes("message");
    ASSERT_EQ(boxes.size(), 4u);  // text twice, record, line end
    for (const auto& box : boxes) {
        EXPECT_EQ(box.buttons, Buttons::RetryCancel);
        EXPECT_EQ(box.icon, Icon::Critical);
        EXPECT_EQ(box.title, kAppTitle);
        EXPECT_FALSE(box.text.empty());
    }
    EXPECT_EQ(screen.term, "90 00  = OK !\r\n");
    EXPECT_EQ(app.card.AnswerHex, "9000");
}

TEST_F(ExchangeTest, LogTxtAndCommandLine)
{
    LogTxt(app, "");  // no log: nothing, no box
    LogTxt(app, "A0");
    EXPECT_TRUE(screen.transcript.empty());

    const std::string path = openLog();
    commandLine(app, "A0B0000010\r\n");
    app.card.ShowInTerminal = 0;
    commandLine(app, "A0C0000016\r\n");
    LogTxt(app, "x");
    EXPECT_EQ(screen.term, "A0B0000010\r\n");
    EXPECT_EQ(fileBytes(path), "A0B0000010\r\nA0C0000016\r\nx");
}

TEST_F(ExchangeTest, TestResponseReselectsSilently)
{
    const std::string path = openLog();
    app.card.CurrentFile = "EF-6F3A-ADN";
    app.card.ShowInTerminal = 0;
    port.queueReply("\xA4", 5);
    port.queueReply("\x9F\x0F"s, 20);
    Test_Response(app);
    EXPECT_EQ(port.writes, (std::vector<std::string>{"\xA0\xA4\x00\x00\x02"s, "\x6F\x3A"s}));
    EXPECT_EQ(app.card.ResponseLength, "0F");
    EXPECT_EQ(app.card.ShowInTerminal, 1);
    EXPECT_EQ(app.card.CardDelay, 50);
    EXPECT_TRUE(screen.term.empty());
    EXPECT_EQ(clock.nowUs(), 150'000);
    EXPECT_EQ(fileBytes(path), "A0A4000002A4 \r\n\r\n6F3A9F0F = OK with x bytes!\r\n\r\n");
}

TEST_F(ExchangeTest, TestResponseOnDirectoryAndShortNames)
{
    app.card.CurrentFile = "DF-7F10-TELECOM";
    Test_Response(app);
    EXPECT_EQ(port.writes.back(), "\x7F\x10"s);
    EXPECT_EQ(app.card.ResponseLength, "10");  // only the echo came back

    port.echo = false;
    app.card.CurrentFile = "EF";
    app.card.AnswerHex.clear();
    Test_Response(app);
    EXPECT_EQ(port.writes.back(), "");
    EXPECT_EQ(app.card.ResponseLength, "");
}

}  // namespace
}  // namespace puolukka::test
