#include "chv/chv.h"

#include <gtest/gtest.h>

#include "card_fixture.h"
#include "link/reset.h"
#include "phonebook/card_transfer.h"
#include "scripted_port.h"
#include "sim/fault_plan.h"

namespace puolukka {
namespace {

using Strings = std::vector<std::string>;

// A card just reset, as the phonebook operations find it.
struct ResetCard : test::CardFixture {
    ResetCard() { resetointi(app), port.clearTrace(), screen.clearTranscript(); }
    Strings commands()
    {
        Strings out;
        for (const sim::TraceEntry& e : port.trace())
            if (e.kind == sim::TraceEntry::Kind::Command)
                out.push_back(sim::toHex(e.command));
        return out;
    }
    // "PIN1:left PIN2:left PUK1-left PUK2-left" on the card.
    std::string codes()
    {
        const sim::CardDescription& d = card().description();
        auto n = [](const sim::SecretCode& c) { return std::to_string(c.attemptsLeft); };
        return d.chv1.code + ":" + n(d.chv1) + " " + d.chv2.code + ":" + n(d.chv2) + " " + n(d.unblockChv1) + " " +
               n(d.unblockChv2);
    }
    std::string leftShown()
    {
        return screen.text("PIN1Left") + "|" + screen.text("PUK1Left") + "|" + screen.text("PIN2Left") + "|" +
               screen.text("PUK2Left");
    }
    std::string leftOnCard()
    {
        const sim::CardDescription& d = card().description();
        auto n = [](const sim::SecretCode& c) { return (c.attemptsLeft > 9 ? " " : "") + std::to_string(c.attemptsLeft); };
        return n(d.chv1) + "|" + n(d.unblockChv1) + "|" + n(d.chv2) + "|" + n(d.unblockChv2);
    }
};

using Click = void (*)(App&);
constexpr const char* kUntouched = "1234:3 5678:3 10 10";

TEST(Chv, CodesGoToTheCardAndTheOutcomeIsShown)
{
    struct Row {
        Click click;
        bool pin1Blocked;
        Strings answers, prompts;  // prompts: "title|text" of each input box
        std::string command;       // the one command the card received
        Strings messages;
        const char *shown, *codes;  // PIN1Valid (PIN1, PUK1) or PIN2Valid afterwards; the card afterwards
    };
    const std::string pin1 = "PIN1|Anna PIN1:", pin2 = "Puolukka|Please enter SIM CHV2 (PIN2) Number :";
    const std::string puk1 = "A02C000010|Please enter SIM UNBLOCK 1 (PUK1) Number :";
    const std::string wrong = "Annoit väärän PIN-koodin!", newPin1 = "|Please enter SIM CHV1 (PIN1) Number :";
    const Row rows[] = {
        {luepin, false, {"1234"}, {pin1}, "A020000108" "31323334FFFFFFFF", {}, "1234", kUntouched},
        {luepin, false, {"4321"}, {pin1}, "A020000108" "34333231FFFFFFFF", {wrong}, "INVALID", "1234:2 5678:3 10 10"},
        {luepin, true, {"1234"}, {pin1}, "A020000108" "31323334FFFFFFFF", {"Kortti on lukkiutunut!"}, "INVALID",
         "1234:0 5678:3 10 10"},
        {PinCHV2_Click, false, {"5678"}, {pin2}, "A020000208" "35363738FFFFFFFF", {}, "5678", kUntouched},
        {PinCHV2_Click, false, {"1111"}, {pin2}, "A020000208" "31313131FFFFFFFF", {wrong}, "INVALID", "1234:3 5678:2 10 10"},
        {PUK1_Click, true, {"12345678", "4321"}, {puk1, "3132333435363738" + newPin1},
         "A02C000010" "3132333435363738" "34333231FFFFFFFF", {}, "4321", "4321:3 5678:3 10 10"},
        {PUK1_Click, false, {"87654321", "4321"}, {puk1, "3837363534333231" + newPin1},
         "A02C000010" "3837363534333231" "34333231FFFFFFFF", {wrong}, "INVALID", "1234:3 5678:3 9 10"},
        {PUK2_Click, false, {"87654321", "2468"},
         {"A02C000210|Please enter SIM UNBLOCK 2 (PUK2) Number :", "3837363534333231|Please enter SIM CHV2 (PIN2) Number :"},
         "A02C000210" "3837363534333231" "32343638FFFFFFFF", {}, "2468", "1234:3 2468:3 10 10"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        ResetCard f;
        f.card().description().chv1.attemptsLeft = row.pin1Blocked ? 0 : 3;
        f.screen.inputAnswers.assign(row.answers.begin(), row.answers.end());
        row.click(f.app);
        Strings prompts;
        for (const auto& box : f.screen.boxes("input")) prompts.push_back(box.title + "|" + box.text);
        EXPECT_EQ(prompts, row.prompts);
        // A refused code is followed by STATUS, which shows the attempts left.
        const bool refused = row.shown == std::string("INVALID");
        const Strings sent = refused ? Strings{row.command, "A0F2000016"} : Strings{row.command};
        EXPECT_EQ(f.commands(), sent);
        if (refused) {
            EXPECT_EQ(f.leftShown(), f.leftOnCard());
        }
        EXPECT_EQ(f.screen.messageTexts(), row.messages);
        const bool first = row.click == luepin || row.click == PUK1_Click;
        EXPECT_EQ(f.screen.text(first ? "PIN1Valid" : "PIN2Valid"), row.shown);
        EXPECT_EQ(first ? f.app.card.Pin1Code : f.app.card.Pin2Code, row.shown == std::string("INVALID") ? "" : row.shown);
        EXPECT_EQ(f.codes(), row.codes);
        EXPECT_FALSE(f.screen.enabled("GetResp3"));
    }
}

TEST(Chv, MalformedCodesAndCancelSendNothing)
{
    struct Row {
        Click click;
        Strings answers;             // all are asked
        const char *message, *stored;  // "" for none; "Pin1Code|Pin2Code" afterwards, both were 9999
    };
    const char *bad = "PIN-koodin pitää olla 4–8 numeroa.", *puk1Length = "PUK1 MUST have 8 digits !";
    const Row rows[] = {
        {luepin, {""}, "", "|9999"}, {luepin, {"12a4"}, bad, "|9999"}, {luepin, {"123"}, bad, "|9999"},
        {luepin, {"123456789"}, bad, "|9999"}, {luepin, {"１２３４"}, bad, "|9999"},
        {PinCHV2_Click, {"abcd"}, bad, "9999|"}, {PUK2_Click, {"8765432"}, "PUK2 MUST have 8 digits !", "9999|9999"},
        {PUK1_Click, {"1234567"}, puk1Length, "9999|9999"},
        {PUK1_Click, {"1234567a"}, "PUK-koodissa saa olla vain numeroita.", "9999|9999"},
        {PUK1_Click, {"12345678", ""}, "", "|9999"}, {PUK1_Click, {"12345678", "12x4"}, bad, "|9999"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.answers.back());
        ResetCard f;
        f.app.card.Pin1Code = f.app.card.Pin2Code = "9999";
        f.screen.inputAnswers.assign(row.answers.begin(), row.answers.end());
        f.screen.inputAnswers.push_back("1234");  // must not be asked
        row.click(f.app);
        EXPECT_EQ(f.screen.boxes("input").size(), row.answers.size());
        EXPECT_TRUE(f.commands().empty());
        EXPECT_EQ(f.codes(), kUntouched);
        EXPECT_EQ(f.app.card.Pin1Code + "|" + f.app.card.Pin2Code, row.stored);
        EXPECT_EQ(f.screen.messageTexts(), *row.message ? Strings{row.message} : Strings{});
    }
}

// A code that never reached the card (closed port, refused write) is not accepted on an old 90 00.
TEST(Chv, NothingIsAcceptedWhenTheCodeNeverReachedTheCard)
{
    const std::pair<Click, Strings> rows[] = {{PinCHV2_Click, {"5678"}}, {PUK1_Click, {"12345678", "4321"}},
                                             {PUK2_Click, {"87654321", "2468"}}, {luepin, {"1234"}}};
    for (const bool closed : {true, false}) {
        for (const auto& [click, typed] : rows) {
            SCOPED_TRACE(typed.back() + (closed ? " closed" : " write failed"));
            VirtualClock clock;
            test::ScriptedScreen screen;
            test::ScriptedPort port(clock);
            App app(screen, clock, port);
            app.card.ClassByte = "A0";
            port.setCommPort(1);
            port.setPortOpen(!closed);
            port.failWrites = !closed;
            app.card.AnswerHex = "9000";  // what the previous command left
            app.card.Pin1Code = app.card.Pin2Code = "9999";
            screen.inputAnswers.assign(typed.begin(), typed.end());
            click(app);
            const bool first = click == luepin || click == PUK1_Click;
            EXPECT_EQ(first ? app.card.Pin1Code : app.card.Pin2Code, "");
            EXPECT_EQ(screen.text(first ? "PIN1Valid" : "PIN2Valid"), "INVALID");
        }
    }
}

// A code the card did not check is told. Without a whole answer the card may still wait for the
// code's last byte: the next operation resets it first, so no header completes a wrong PIN.
TEST(Chv, ACodeTheCardDidNotCheckIsToldAndTheCardIsResetFirst)
{
    {
        ResetCard f;
        f.card().description().chv1Enabled = false;  // GSM 11.11 9.4.5: 98 08, in contradiction with CHV status
        f.screen.inputAnswers = {"1234"};
        luepin(f.app);
        EXPECT_EQ(f.screen.messageTexts(),
                  Strings{"Kortti ei tarkistanut koodia (kortti vastasi 98 08). Tarkista kortti ja yritä uudelleen."});
    }
    ResetCard f;
    sim::FaultPlan plan;
    plan.arm(false);
    f.port.setFaultPlan(&plan);
    plan.strikeNext(sim::Fault::DroppedByte, 13);  // the header, the procedure byte, 7 bytes of the code, then the 8th
    f.screen.inputAnswers = {"1234", "1234"};
    luepin(f.app);
    EXPECT_EQ(f.screen.messageTexts(), Strings{"Kortilta ei tullut ehjää vastausta koodin tarkistukseen. Tarkista "
                                               "kortti ja lukija ja yritä uudelleen."});
    EXPECT_EQ(f.screen.text("PIN1Valid"), "INVALID");
    EXPECT_TRUE(f.card().commandPending()) << "the card waits for the code's last byte";
    EXPECT_EQ(f.app.card.CardReady, 0);
    PhnBook_Click(f.app);
    EXPECT_EQ(f.card().description().chv1.attemptsLeft, 3);
    EXPECT_EQ(f.app.card.Pin1Code, "1234");
    EXPECT_EQ(f.app.phonebook.PBCount, 100);
}

// A broken answer to the STATUS after a refused code makes the next operation reset the card first.
TEST(Chv, ABrokenStatusAfterARefusedCodeResetsTheCardFirst)
{
    const auto refusing = [](ResetCard& f) {
        f.card().description().chv1Enabled = false;  // VERIFY ends with 98 08
        f.screen.inputAnswers = {"1234"};
    };
    ResetCard clean;
    refusing(clean);
    luepin(clean.app);
    int before = 0;  // characters on the line before the STATUS's answer
    for (const sim::TraceEntry& t : clean.port.trace()) {
        before += int(t.command.size());
        if (t.command.starts_with(std::string("\xA0\xF2", 2)))
            break;
        before += int(t.answer.size());
    }
    for (const sim::Fault fault : {sim::Fault::CardReset, sim::Fault::DroppedByte}) {
        SCOPED_TRACE(std::string(sim::faultName(fault)));
        ResetCard f;
        refusing(f);
        sim::FaultPlan plan;
        plan.arm(false);
        f.port.setFaultPlan(&plan);
        plan.strikeNext(fault, before + 3);  // a few bytes into the card's answer
        luepin(f.app);
        EXPECT_EQ(f.app.card.CardReady, 0);
        f.port.setFaultPlan(nullptr);
        f.card().description().chv1Enabled = true;
        f.screen.inputAnswers = {"1234"};
        f.port.clearTrace();
        PhnBook_Click(f.app);
        ASSERT_FALSE(f.port.trace().empty());
        EXPECT_EQ(f.port.trace().front().kind, sim::TraceEntry::Kind::Atr);
        EXPECT_EQ(f.app.phonebook.PBCount, 100);
    }
}

}  // namespace
}  // namespace puolukka
