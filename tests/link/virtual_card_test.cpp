#include <gtest/gtest.h>

#include "card_fixture.h"
#include "conversions/conversions.h"
#include "link/exchange.h"
#include "link/line_events.h"
#include "link/reset.h"

namespace puolukka::test {
namespace {

using namespace std::string_literals;

class VirtualCardLinkTest : public ::testing::Test, public CardFixture {
protected:
    VirtualCardLinkTest() = default;
    explicit VirtualCardLinkTest(const CardOptions& options) : CardFixture(options) {}

    // A fresh card with the pane emptied and the events of the reset handled.
    void resetCard()
    {
        Command1_Click(app);
        pollPort(app);
        screen.term.clear();
        screen.caret = 0;
    }

    std::string openLog()
    {
        const std::string path = ::testing::TempDir() + "virtual_card_link.log";
        std::remove(path.c_str());
        std::string error;
        EXPECT_TRUE(app.log.open(path, &error)) << error;
        return path;
    }
    static std::string fileBytes(const std::string& path)
    {
        std::string bytes;
        if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
            char buf[4096];
            std::size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
                bytes.append(buf, n);
            std::fclose(f);
        }
        return bytes;
    }
    void send(const std::string& hex, int delay = 50)
    {
        std::string bytes = HexToBytes(hex);
        app.card.CardDelay = delay;
        EXPECT_TRUE(Send2Card(app, bytes, app.card.CardDelay));
    }
};

TEST_F(VirtualCardLinkTest, SelectMasterFileGivesTwoChunks)
{
    resetCard();
    const std::string path = openLog();
    send("A0A4000002");
    EXPECT_EQ(app.card.AnswerHex, "A0A4000002A4");
    clock.sleepMs(50);
    send("3F00");
    ASSERT_EQ(app.card.AnswerHex.size(), 8u);
    EXPECT_EQ(app.card.AnswerHex.substr(0, 6), "3F009F");
    const std::string length = app.card.AnswerHex.substr(6);
    EXPECT_EQ(app.card.ResponseLength, "x");
    EXPECT_EQ(screen.term, "A0 A4 00 00 02 A4 \r\n3F 00 9F " + length + " = OK with x bytes!\r\n");
    EXPECT_EQ(fileBytes(path), "A0A4000002A4 \r\n\r\n= OK with x bytes!3F009F" + length +
                                   " = OK with x bytes!\r\n\r\n");
}

TEST_F(VirtualCardLinkTest, WrongPinTwiceThenLocked)
{
    resetCard();
    app.card.CardReady = 1;
    for (int attempt = 1; attempt <= 3; ++attempt) {
        send("A020000108");
        clock.sleepMs(50);
        send("39393939FFFFFFFF");
    }
    EXPECT_EQ(screen.messageTexts(), (std::vector<std::string>{"Annoit väärän PIN-koodin!", "Annoit väärän PIN-koodin!",
                                                               "Kortti on lukkiutunut!"}));
    EXPECT_EQ(app.card.CardReady, 0);
    EXPECT_EQ(app.card.AnswerHex.substr(app.card.AnswerHex.size() - 4), "9840");
    EXPECT_NE(screen.term.find("98 04  = Wrong CHV code !\r\n"), std::string::npos);
    EXPECT_NE(screen.term.find("98 40  = Unsuccessful operation on CHV !\r\n"), std::string::npos);
}

TEST_F(VirtualCardLinkTest, DirectCardKeepsEvenParity)
{
    resetCard();
    EXPECT_EQ(app.card.InverseConvention, 0);
    EXPECT_EQ(port.settings(), "9600,E,8,1");
}

class InverseCardLinkTest : public VirtualCardLinkTest {
protected:
    InverseCardLinkTest() : VirtualCardLinkTest(CardOptions{.inverse = true}) {}
};

TEST_F(InverseCardLinkTest, ParityErrorsSwitchConventionOnceAndTheCardAnswers)
{
    Command1_Click(app);
    pollPort(app);
    EXPECT_EQ(app.card.InverseConvention, 1);
    EXPECT_EQ(app.settings.Parity, "O");
    EXPECT_EQ(port.settings(), "9600,O,8,1");
    EXPECT_EQ(screen.controls["SimConv1"].text, "INVERSE");
    EXPECT_EQ(screen.controls["ParStat2"].text, "ODD");

    // The repeated reset's answer-to-reset fits odd parity: no switch back.
    pollPort(app);
    EXPECT_EQ(app.card.InverseConvention, 1);

    screen.term.clear();
    screen.caret = 0;
    send("A0A4000002");
    EXPECT_EQ(app.card.AnswerHex, "A0A4000002A4");
    clock.sleepMs(50);
    send("3F00");
    EXPECT_EQ(app.card.AnswerHex.substr(0, 6), "3F009F");
    EXPECT_EQ(screen.term.substr(0, 29), "A0 A4 00 00 02 A4 \r\n3F 00 9F ");
}

}  // namespace
}  // namespace puolukka::test
