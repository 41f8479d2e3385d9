#include "chv/chv.h"

#include <gtest/gtest.h>

#include "card_fixture.h"
#include "link/reset.h"
#include "sim/card_description.h"

namespace puolukka {
namespace {

using test::CardFixture;

// The commands the card received (header and data joined), as hex.
std::vector<std::string> cardCommands(CardFixture& f)
{
    std::vector<std::string> out;
    for (const sim::TraceEntry& e : f.port.trace())
        if (e.kind == sim::TraceEntry::Kind::Command)
            out.push_back(sim::toHex(e.command));
    return out;
}

// A card just reset, as the phonebook operations find it.
struct ResetCard : CardFixture {
    ResetCard()
    {
        resetointi(app);
        port.clearTrace();
        screen.clearTranscript();
    }
    sim::CardDescription& codes() { return card().description(); }
};

TEST(Pin1, RightCodeIsKept)
{
    ResetCard f;
    f.screen.inputAnswers.push_back("1234");
    luepin(f.app);
    const auto inputs = f.screen.boxes("input");
    ASSERT_EQ(inputs.size(), 1u);
    EXPECT_EQ(inputs[0].text, "Anna PIN1:");
    EXPECT_EQ(inputs[0].title, "PIN1");
    EXPECT_EQ(cardCommands(f), std::vector<std::string>{"A020000108" "31323334FFFFFFFF"});
    EXPECT_EQ(f.app.card.Pin1Code, "1234");
    EXPECT_EQ(f.screen.text("PIN1Valid"), "1234");
    EXPECT_EQ(f.app.card.CardReady, 1);
    EXPECT_TRUE(f.card().chv1Verified());
    EXPECT_NE(f.screen.term.find("A020000108\r\n"), std::string::npos);
    EXPECT_NE(f.screen.term.find("31323334FFFFFFFF\r\n"), std::string::npos);
}

TEST(Pin1, WrongCodeCostsOneAttempt)
{
    ResetCard f;
    f.screen.inputAnswers.push_back("4321");
    luepin(f.app);
    EXPECT_EQ(f.screen.messageTexts(), std::vector<std::string>{"Annoit väärän PIN-koodin!"});
    EXPECT_EQ(f.app.card.CardReady, 0);
    EXPECT_EQ(f.app.card.Pin1Code, "");
    EXPECT_EQ(f.screen.text("PIN1Valid"), "INVALID");
    EXPECT_EQ(f.codes().chv1.attemptsLeft, 2);
}

TEST(Pin1, BlockedCode)
{
    ResetCard f;
    f.codes().chv1.attemptsLeft = 0;
    f.screen.inputAnswers.push_back("1234");
    luepin(f.app);
    EXPECT_EQ(f.screen.messageTexts(), std::vector<std::string>{"Kortti on lukkiutunut!"});
    EXPECT_EQ(f.screen.text("PIN1Valid"), "INVALID");
    EXPECT_EQ(f.app.card.CardReady, 1);
}

TEST(Pin1, MalformedCodesAndCancelSendNothing)
{
    for (const char* typed : {"", "12a4", "123", "123456789", "12 34", "１２３４"}) {
        ResetCard f;
        f.app.card.Pin1Code = "9999";
        f.screen.inputAnswers.push_back(typed);
        luepin(f.app);
        EXPECT_TRUE(cardCommands(f).empty()) << typed;
        EXPECT_FALSE(f.card().commandPending()) << typed;
        EXPECT_EQ(f.codes().chv1.attemptsLeft, 3) << typed;
        EXPECT_EQ(f.app.card.Pin1Code, "") << typed;
        EXPECT_EQ(f.screen.text("PIN1Valid"), "INVALID") << typed;  // as the reset left it
        const auto messages = f.screen.boxes("message");
        if (std::string(typed).empty()) {
            EXPECT_TRUE(messages.empty());
        } else {
            ASSERT_EQ(messages.size(), 1u) << typed;
            EXPECT_EQ(messages[0].text, "PIN-koodin pitää olla 4–8 numeroa.");
            EXPECT_EQ(messages[0].title, "Puolukka");
            EXPECT_EQ(messages[0].icon, Icon::Exclamation);
        }
    }
}

TEST(Pin1, EightDigitsAreSentWithoutPadding)
{
    ResetCard f;
    f.screen.inputAnswers.push_back("12345678");
    luepin(f.app);
    EXPECT_EQ(cardCommands(f), std::vector<std::string>{"A020000108" "3132333435363738"});
    EXPECT_EQ(f.codes().chv1.attemptsLeft, 2);  // the demo card's PIN1 is 1234
}

TEST(Pin2, FourDigitCode)
{
    ResetCard f;
    f.screen.inputAnswers.push_back("5678");
    PinCHV2_Click(f.app);
    const auto inputs = f.screen.boxes("input");
    ASSERT_EQ(inputs.size(), 1u);
    EXPECT_EQ(inputs[0].text, "Please enter SIM CHV2 (PIN2) Number :");
    EXPECT_EQ(inputs[0].title, "Puolukka");
    EXPECT_EQ(cardCommands(f), std::vector<std::string>{"A020000208" "35363738FFFFFFFF"});
    EXPECT_EQ(f.app.card.Pin2Code, "5678");
    EXPECT_EQ(f.screen.text("PIN2Valid"), "5678");
    EXPECT_FALSE(f.screen.enabled("GetResp3"));
}

TEST(Pin2, WrongAndRefused)
{
    ResetCard f;
    f.screen.inputAnswers = {"1111", "abcd"};
    PinCHV2_Click(f.app);
    EXPECT_EQ(f.screen.text("PIN2Valid"), "INVALID");
    EXPECT_EQ(f.codes().chv2.attemptsLeft, 2);
    PinCHV2_Click(f.app);
    EXPECT_EQ(f.codes().chv2.attemptsLeft, 2);
    EXPECT_EQ(cardCommands(f).size(), 1u);
}

TEST(Puk1, EightDigitPukSetsTheNewPin)
{
    ResetCard f;
    f.codes().chv1.attemptsLeft = 0;
    f.screen.inputAnswers = {"12345678", "4321"};
    PUK1_Click(f.app);
    const auto inputs = f.screen.boxes("input");
    ASSERT_EQ(inputs.size(), 2u);
    EXPECT_EQ(inputs[0].text, "Please enter SIM UNBLOCK 1 (PUK1) Number :");
    EXPECT_EQ(inputs[0].title, "A02C000010");
    EXPECT_EQ(inputs[1].text, "Please enter SIM CHV1 (PIN1) Number :");
    EXPECT_EQ(inputs[1].title, "3132333435363738");
    EXPECT_EQ(cardCommands(f),
              std::vector<std::string>{"A02C000010" "3132333435363738" "34333231FFFFFFFF"});
    EXPECT_EQ(f.app.card.Pin1Code, "4321");
    EXPECT_EQ(f.screen.text("PIN1Valid"), "4321");
    EXPECT_EQ(f.codes().chv1.code, "4321");
    EXPECT_EQ(f.codes().chv1.attemptsLeft, 3);
    EXPECT_NE(f.screen.term.find("A02C000010\r\n"), std::string::npos);
}

TEST(Puk1, PukOfWrongLengthOrNotDigitsIsRefused)
{
    struct Row {
        const char* puk;
        const char* message;
    };
    for (const Row& row : {Row{"1234567", "PUK1 MUST have 8 digits !"}, Row{"123456789", "PUK1 MUST have 8 digits !"},
                           Row{"1234567a", "PUK-koodissa saa olla vain numeroita."}}) {
        ResetCard f;
        f.screen.inputAnswers = {row.puk, "1234"};
        PUK1_Click(f.app);
        EXPECT_EQ(f.screen.messageTexts(), std::vector<std::string>{row.message}) << row.puk;
        EXPECT_EQ(f.screen.boxes("input").size(), 1u) << row.puk;  // no new PIN asked
        EXPECT_TRUE(cardCommands(f).empty()) << row.puk;
        EXPECT_EQ(f.codes().unblockChv1.attemptsLeft, 10);
    }
}

TEST(Puk1, CancelOrBadNewPinSendsNothing)
{
    for (const char* pin : {"", "12x4"}) {
        ResetCard f;
        f.app.card.Pin1Code = "1234";
        f.screen.inputAnswers = {"12345678", pin};
        PUK1_Click(f.app);
        EXPECT_TRUE(cardCommands(f).empty()) << pin;
        EXPECT_FALSE(f.card().commandPending());
        EXPECT_EQ(f.app.card.Pin1Code, "");
    }
}

TEST(Puk1, WrongPuk)
{
    ResetCard f;
    f.screen.inputAnswers = {"87654321", "4321"};
    PUK1_Click(f.app);
    EXPECT_EQ(f.screen.text("PIN1Valid"), "INVALID");
    EXPECT_EQ(f.app.card.Pin1Code, "");
    EXPECT_EQ(f.codes().unblockChv1.attemptsLeft, 9);
    EXPECT_EQ(f.codes().chv1.code, "1234");
}

TEST(Puk2, UnblocksPin2)
{
    ResetCard f;
    f.screen.inputAnswers = {"87654321", "2468"};
    PUK2_Click(f.app);
    const auto inputs = f.screen.boxes("input");
    ASSERT_EQ(inputs.size(), 2u);
    EXPECT_EQ(inputs[0].text, "Please enter SIM UNBLOCK 2 (PUK2) Number :");
    EXPECT_EQ(inputs[0].title, "A02C000210");
    EXPECT_EQ(inputs[1].text, "Please enter SIM CHV2 (PIN2) Number :");
    EXPECT_EQ(cardCommands(f), std::vector<std::string>{"A02C000210" "3837363534333231" "32343638FFFFFFFF"});
    EXPECT_EQ(f.app.card.Pin2Code, "2468");
    EXPECT_EQ(f.screen.text("PIN2Valid"), "2468");

    ResetCard shortPuk;
    shortPuk.screen.inputAnswers = {"8765432"};
    PUK2_Click(shortPuk.app);
    EXPECT_EQ(shortPuk.screen.messageTexts(), std::vector<std::string>{"PUK2 MUST have 8 digits !"});
}

}  // namespace
}  // namespace puolukka
