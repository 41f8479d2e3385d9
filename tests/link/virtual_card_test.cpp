#include <gtest/gtest.h>

#include "card_fixture.h"
#include "conversions/conversions.h"
#include "link/exchange.h"
#include "link/line_events.h"
#include "link/reset.h"

namespace puolukka::test {
namespace {

// The link against the virtual card: reset, then whole exchanges.
void send(CardFixture& f, const std::string& hex)
{
    std::string bytes = HexToBytes(hex);
    EXPECT_TRUE(Send2Card(f.app, bytes, 50));
    f.clock.sleepMs(50);
}

TEST(VirtualCardLink, WrongPinTwiceThenLocked)
{
    CardFixture f;
    Command1_Click(f.app);
    pollPort(f.app);
    EXPECT_EQ(f.app.card.InverseConvention, 0);  // a direct card keeps even parity
    EXPECT_EQ(f.port.settings(), "9600,E,8,1");
    f.app.card.CardReady = 1;
    for (int attempt = 1; attempt <= 3; ++attempt) {
        send(f, "A020000108");
        send(f, "39393939FFFFFFFF");
    }
    const std::string wrong = "Annoit väärän PIN-koodin!";
    EXPECT_EQ(f.screen.messageTexts(), (std::vector<std::string>{wrong, wrong, "Kortti on lukkiutunut!"}));
    EXPECT_EQ(f.app.card.CardReady, 0);
    EXPECT_NE(f.screen.term.find("98 04  = Wrong CHV code !\r\n"), std::string::npos);
    EXPECT_NE(f.screen.term.find("98 40  = Unsuccessful operation on CHV !\r\n"), std::string::npos);
}

TEST(VirtualCardLink, InverseCardSwitchesConventionOnceAndAnswers)
{
    CardFixture f(CardOptions{.inverse = true});
    Command1_Click(f.app);
    pollPort(f.app);
    EXPECT_EQ(f.app.card.InverseConvention, 1);
    EXPECT_EQ(f.port.settings() + f.app.settings.Parity, "9600,O,8,1O");
    EXPECT_EQ(f.screen.controls["SimConv1"].text + f.screen.controls["ParStat2"].text, "INVERSEODD");
    pollPort(f.app);  // the repeated reset's answer-to-reset fits odd parity: no switch back
    EXPECT_EQ(f.app.card.InverseConvention, 1);
    f.screen.term.clear();
    f.screen.caret = 0;
    send(f, "A0A4000002");
    EXPECT_EQ(f.app.card.AnswerHex, "A0A4000002A4");
    send(f, "3F00");
    EXPECT_EQ(f.app.card.AnswerHex.substr(0, 6), "3F009F");
    EXPECT_EQ(f.screen.term.substr(0, 29), "A0 A4 00 00 02 A4 \r\n3F 00 9F ");
}

}  // namespace
}  // namespace puolukka::test
