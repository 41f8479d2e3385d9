#include "link/exchange.h"

#include <gtest/gtest.h>

#include "conversions/conversions.h"
#include "link_fixture.h"

namespace puolukka::test {
namespace {

using namespace std::string_literals;

using ExchangeTest = LinkFixture;

TEST_F(ExchangeTest, SelectShowsTwoChunksAndLogsThem)
{
    const std::string path = openLog();
    port.queueReply("\xA4", 5);        // procedure byte after the header
    port.queueReply("\x9F\x1A"s, 20);  // response waiting after the data
    std::string header = HexToBytes("A0A4000002");
    EXPECT_TRUE(Send2Card(app, header, 50));
    commandLine(app, "A0A4000002\r\n");
    clock.sleepMs(50);
    std::string data = HexToBytes("3F00");
    EXPECT_TRUE(Send2Card(app, data, 50));

    EXPECT_EQ(port.writes, (std::vector<std::string>{"\xA0\xA4\x00\x00\x02"s, "\x3F\x00"s}));
    EXPECT_EQ(app.card.AnswerHex, "3F009F1A");
    EXPECT_EQ(app.card.ResponseLength, "x");
    EXPECT_EQ(screen.term, "A0 A4 00 00 02 A4 \r\nA0A4000002\r\n3F 00 9F 1A = OK with x bytes!\r\n");
    EXPECT_EQ(fileBytes(path),
              "A0A4000002A4 \r\n\r\nA0A4000002\r\n= OK with x bytes!3F009F1A = OK with x bytes!\r\n\r\n");
    EXPECT_EQ(clock.nowUs(), 150'000);
}

TEST_F(ExchangeTest, InverseConventionTransformsBothWays)
{
    app.card.InverseConvention = 1;
    port.echo = false;
    port.queueReply(inverseBytes("\x90\x00"s), 10);  // the card's 90 00 in inverse convention
    std::string header = HexToBytes("A0A4000002");
    EXPECT_TRUE(Send2Card(app, header, 50));
    EXPECT_EQ(header, "\xFA\xDA\xFF\xFF\xBF"s);  // the caller's bytes are replaced
    EXPECT_EQ(port.writes.back(), "\xFA\xDA\xFF\xFF\xBF"s);
    EXPECT_EQ(app.card.AnswerHex, "9000");
    EXPECT_EQ(screen.term, "90 00  = OK !\r\n");
}

TEST_F(ExchangeTest, FailedWriteClosedPortOrSilenceKeepAnswerHex)
{
    app.card.AnswerHex = "9000";
    port.deliver("\x6E\x00"s);
    port.failWrites = true;
    std::string bytes = "\xA0"s;
    EXPECT_FALSE(Send2Card(app, bytes, 50));
    EXPECT_EQ(port.inBufferCount(), 2);  // nothing was read
    port.failWrites = port.echo = false;
    port.clearInBuffer();
    EXPECT_TRUE(Send2Card(app, bytes, 50));  // nothing arrives
    port.setPortOpen(false);
    EXPECT_FALSE(Send2Card(app, bytes, 50));
    EXPECT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(app.card.AnswerHex, "9000");
    EXPECT_TRUE(screen.term.empty());
}

// A chunk's pane text, log record, error boxes (titled "Virhe!") and CardReady.
TEST_F(ExchangeTest, ShowAnswerEndings)
{
    const std::tuple<std::string, std::string, std::string, std::vector<std::string>, int> rows[] = {
        {"\xA4", "A4 \r\n", "A4 \r\n\r\n", {}, 1},
        {"", "\r\n", " \r\n\r\n", {}, 1},
        {"\xB0\x90\x00"s, "B0 90 00  = OK !\r\n", " = OK !B09000 \r\n\r\n", {}, 1},
        {"\x98\x04"s, "98 04  = Wrong CHV code !\r\n", " = Wrong CHV code !9804 \r\n\r\n", {"Annoit väärän PIN-koodin!"}, 0},
        {"\x98\x40"s, "98 40  = Unsuccessful operation on CHV !\r\n", " = Unsuccessful operation on CHV !9840 \r\n\r\n",
         {"Kortti on lukkiutunut!"}, 1},
        {"\x6E\x00"s, "6E 00  = Wrong instruction class given in the command !\r\n",
         " = Wrong instruction class given in the command !6E00  = Wrong instruction class given in the command !\r\n\r\n",
         {}, 1},
        {"\x9F\x0F"s, "9F 0F = OK with x bytes!\r\n", "= OK with x bytes!9F0F = OK with x bytes!\r\n\r\n", {}, 1},
        {"\x91\x00"s, "91 00 \r\n", "9100 \r\n\r\n", {}, 1}};
    for (const auto& [bytes, pane, log, boxes, cardReady] : rows) {
        SCOPED_TRACE(pane);
        const std::string path = openLog();
        screen.term.clear();
        screen.transcript.clear();
        app.card.CardReady = 1;
        std::string chunk = bytes;
        ShowAnswer(app, chunk);
        EXPECT_EQ(chunk, "\r\n");
        EXPECT_EQ(app.card.AnswerHex, bytesToHex(bytes));
        EXPECT_EQ(screen.term, pane);
        EXPECT_EQ(fileBytes(path), log);
        EXPECT_EQ(screen.messageTexts(), boxes);
        for (const auto& box : screen.boxes("message"))
            EXPECT_TRUE(box.title == "Virhe!" && box.buttons == Buttons::Ok);
        EXPECT_EQ(app.card.CardReady, cardReady);
    }
    // The boxes come before the status texts.
    EXPECT_EQ(screen.termAtBox, (std::vector<std::string>{"98 04 ", "98 40 "}));
}

// The status texts not met above, as the pane shows them.
TEST_F(ExchangeTest, EveryStatusWordHasItsText)
{
    const std::pair<const char*, const char*> rows[] = {
        {"9240", " = Memory problem !"},
        {"9400", " = no EF selected !"},
        {"9402", " = Out of Range (Invalid address)!"},
        {"9404", " = File or pattern not found !"},
        {"9408", " = file inconsistent with command !"},
        {"9802", " = no CHV initialised !"},
        {"9808", " = In contradiction with CHV status !"},
        {"9810", " = In contradiction with invalidation status !"},
        {"9850", " = Increase cannot be performed !"},
        {"9F22", "= OK with x bytes!"},
        {"6700", " = Incorrect parameter P3 (Length) !"},
        {"6B00", " = Incorrect parameter P1 or P2 !"},
        {"6D00", " = Unknown instruction code in the command !"},
        {"6F00", " = Technical problem with no diagnostic given, please RESET !"},
        {"9001", ""},  // neither table knows it
    };
    for (const auto& [word, text] : rows) {
        screen.term.clear();
        std::string chunk = HexToBytes(word);
        ShowAnswer(app, chunk);
        const std::string pairs = std::string(word).substr(0, 2) + " " + std::string(word).substr(2) + " ";
        EXPECT_EQ(screen.term, pairs + text + "\r\n") << word;
    }
}

TEST_F(ExchangeTest, SilentChunkReachesOnlyTheLog)
{
    const std::string path = openLog();
    commandLine(app, "A0B0000010\r\n");
    app.card.ShowInTerminal = 0;
    commandLine(app, "A0C0000016\r\n");
    std::string chunk = "\x3F\x00\x9F\x1A"s;
    ShowAnswer(app, chunk);
    EXPECT_EQ(screen.term, "A0B0000010\r\n");
    EXPECT_EQ(app.card.ResponseLength, "x");
    EXPECT_EQ(fileBytes(path), "A0B0000010\r\nA0C0000016\r\n3F009F1A = OK with x bytes!\r\n\r\n");
}

TEST_F(ExchangeTest, PaneIsBoundedAndAnswersGoToItsEnd)
{
    // pane before, caret, shown in the terminal, pane after
    const std::tuple<std::string, int, int, std::string> rows[] = {
        {std::string(8191, 'a'), 0, 1, std::string(8191, 'a') + "A4 \r\n"},
        {std::string(4096, 'a') + std::string(4096, 'b'), 10, 1, std::string(4096, 'b') + "A4 \r\n"},
        // The bound counts characters, not bytes, and always runs.
        {std::string(4096, 'a') + std::string(4095, 'b') + "ä", 0, 0, std::string(4095, 'b') + "ä"},
    };
    for (const auto& [before, caret, shown, after] : rows) {
        screen.term = before;
        screen.caret = caret;
        app.card.ShowInTerminal = shown;
        std::string chunk = "\xA4";
        ShowAnswer(app, chunk);
        EXPECT_EQ(screen.term, after);
    }
}

TEST_F(ExchangeTest, FailedLogWriteOffersRetry)
{
    std::string error;
    ASSERT_TRUE(app.log.open("/dev/full", &error)) << error;
    // Retry the status text once, then give up on every write.
    screen.messageAnswers = {Answer::Retry, Answer::Cancel, Answer::Cancel, Answer::Cancel};
    std::string chunk = "\x90\x00"s;
    ShowAnswer(app, chunk);
    EXPECT_EQ(screen.boxes("message").size(), 4u);  // text twice, record, line end
    for (const auto& box : screen.boxes("message"))
        EXPECT_TRUE(box.buttons == Buttons::RetryCancel && box.icon == Icon::Critical && box.title == kAppTitle);
    EXPECT_EQ(screen.term, "90 00  = OK !\r\n");
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
    EXPECT_EQ(app.card.ResponseLength + std::to_string(app.card.ShowInTerminal), "0F1");
    EXPECT_TRUE(screen.term.empty());
    EXPECT_LT(clock.nowUs(), 30'000);  // as soon as the card has answered
    EXPECT_EQ(fileBytes(path), "A0A4000002A4 \r\n\r\n6F3A9F0F = OK with x bytes!\r\n\r\n");
    // A name too short to hold a file number sends no data.
    port.queueReply("\xA4", 1);
    app.card.CurrentFile = "EF";
    Test_Response(app);
    EXPECT_EQ(port.writes.size(), 3u);
    EXPECT_EQ(app.card.ResponseLength, "A4");  // the header's answer: nothing more was sent
}

}  // namespace
}  // namespace puolukka::test
