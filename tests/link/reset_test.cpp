#include "link/reset.h"

#include <gtest/gtest.h>

#include "card_fixture.h"
#include "scripted_port.h"
#include "scripted_screen.h"
#include "sim/card_description.h"

namespace puolukka {
namespace {

using test::CardFixture;
using test::CardOptions;

bool cardHeardAtr(CardFixture& f)
{
    for (const sim::TraceEntry& e : f.port.trace())
        if (e.kind == sim::TraceEntry::Kind::Atr)
            return true;
    return false;
}

std::vector<std::string> cardCommands(CardFixture& f)
{
    std::vector<std::string> out;
    for (const sim::TraceEntry& e : f.port.trace())
        if (e.kind == sim::TraceEntry::Kind::Command)
            out.push_back(sim::toHex(e.command));
    return out;
}

std::string atrPairs(CardFixture& f) { return sim::toHex(f.card().description().atr, true); }

TEST(Reset, ResetointiPulsesRtsAndReadsTheMasterFile)
{
    CardFixture f;
    f.app.card.Pin1Code = "1234";
    f.app.card.Pin2Code = "5678";
    f.app.card.ShowInTerminal = 0;
    f.screen.setText("ACS61", "ALWAYS");
    resetointi(f.app);

    EXPECT_FALSE(f.port.rtsEnable());  // on, then off
    EXPECT_FALSE(f.port.dtrEnable());
    EXPECT_TRUE(cardHeardAtr(f));
    EXPECT_EQ(f.app.card.CardReady, 1);
    EXPECT_EQ(f.app.card.ResetMethod, 1);
    EXPECT_EQ(f.app.card.Pin1Code, "");
    EXPECT_EQ(f.app.card.Pin2Code, "");
    EXPECT_EQ(f.screen.text("PIN1Valid"), "INVALID");
    EXPECT_EQ(f.screen.text("PIN2Valid"), "INVALID");
    EXPECT_EQ(f.screen.text("ACS61"), "");
    EXPECT_EQ(f.app.card.CurrentDirectory, "MF-3F00-MF ");
    EXPECT_EQ(f.app.card.CurrentFile, "MF-3F00-MF");
    EXPECT_EQ(f.screen.text("Label3"), " MF-3F00-MF ");
    // The answer-to-reset is shown; the master file's selection and description are not.
    EXPECT_EQ(f.screen.term, atrPairs(f) + " \r\n");
    EXPECT_EQ(cardCommands(f), (std::vector<std::string>{"A0A40000023F00", "A0C0000016"}));
    EXPECT_EQ(f.app.card.Chv1State, "Enabled");
    EXPECT_EQ(f.screen.text("PIN1Active"), "ENABLED");
    EXPECT_EQ(f.screen.text("PIN1Left"), "3");
    EXPECT_EQ(f.screen.text("RespMFDF"), "Response on MF ");
    EXPECT_FALSE(f.screen.enabled("GetResp3"));
    EXPECT_EQ(f.app.card.ShowInTerminal, 1);
}

TEST(Reset, InvertedPolarityEndsWithTheLineOn)
{
    // A reader that holds the card in reset while RTS is off, DTR not wired.
    sim::CardDescription card = test::makeCard(CardOptions{.resetAssertedWhenOn = false});
    card.resetOnDtr = false;
    CardFixture f(card);
    f.app.card.ResetPolarity = 1;
    Command1_Click(f.app);
    EXPECT_TRUE(f.port.rtsEnable());
    EXPECT_FALSE(f.port.dtrEnable());
    EXPECT_TRUE(cardHeardAtr(f));
    EXPECT_EQ(f.app.card.Chv1State, "Enabled");
    EXPECT_EQ(f.app.card.CardReady, 0);  // only resetointi sets it
    EXPECT_EQ(f.app.card.ResetMethod, 1);
}

TEST(Reset, OtherPolarityLeavesTheLinesAlone)
{
    CardFixture f;
    f.app.card.ResetPolarity = 2;
    f.port.setDTREnable(false);
    f.app.card.Pin1Code = "1234";
    resetointi(f.app);
    EXPECT_FALSE(f.port.rtsEnable());
    EXPECT_FALSE(cardHeardAtr(f));
    EXPECT_EQ(f.app.card.Pin1Code, "");
    EXPECT_EQ(f.screen.text("PIN1Valid"), "INVALID");
    EXPECT_EQ(cardCommands(f).front(), "A0A40000023F00");
}

TEST(Reset, Command2PulsesDtrAndShowsTheAnswerOnlyWhenTheTerminalIsOn)
{
    CardFixture f;
    f.app.card.ShowInTerminal = 0;
    Command2_Click(f.app);
    EXPECT_FALSE(f.port.dtrEnable());
    EXPECT_FALSE(f.port.rtsEnable());
    EXPECT_TRUE(cardHeardAtr(f));
    EXPECT_EQ(f.app.card.ResetMethod, 2);
    EXPECT_EQ(f.screen.term, "");
    EXPECT_EQ(f.app.card.Chv1State, "Enabled");
    EXPECT_EQ(f.app.card.ShowInTerminal, 1);

    CardFixture shown;
    shown.app.card.ShowInTerminal = 0;
    Command1_Click(shown.app);
    EXPECT_EQ(shown.screen.term, atrPairs(shown) + " \r\n");

    // Command2 with the display on shows it too.
    CardFixture on;
    Command2_Click(on.app);
    EXPECT_EQ(on.screen.term, atrPairs(on) + " \r\n");
}

TEST(Reset, ClosedPortForgetsTheCardWithoutSending)
{
    CardFixture f;
    f.port.setPortOpen(false);
    f.app.card.ShowInTerminal = 0;
    f.screen.setText("PIN1Status", "ABCDEFG");
    f.screen.setText("PIN1Left", "12");
    f.screen.setText("PUK1Left", "ab");
    f.screen.setText("CLKStatus", " YES!");
    f.screen.setText("PIN2Status", "NÄYTÄ");
    resetointi(f.app);
    EXPECT_TRUE(cardCommands(f).empty());
    EXPECT_EQ(f.screen.text("PIN1Status"), "EFG");
    EXPECT_EQ(f.screen.text("PIN1Left"), "2");
    EXPECT_EQ(f.screen.text("PUK1Left"), "");
    EXPECT_EQ(f.screen.text("CLKStatus"), "S!");
    EXPECT_EQ(f.screen.text("PIN2Status"), "Ä");
    EXPECT_EQ(f.app.card.CurrentFile, "MF-3F00-MF");
    EXPECT_EQ(f.app.card.ShowInTerminal, 1);
    EXPECT_EQ(f.app.card.CardReady, 1);
}

// A port whose output never drains (or drains after a number of looks).
class StuckPort : public test::ScriptedPort {
public:
    using ScriptedPort::ScriptedPort;
    int pending = 0;
    int drainsAfter = -1;  // looks until empty; -1 never
    int outBufferCount() override
    {
        if (drainsAfter == 0)
            pending = 0;
        else if (drainsAfter > 0)
            --drainsAfter;
        return pending;
    }
};

struct Shutdown {
    explicit Shutdown(double timeOfDay = 12 * 3600.0) : clock(timeOfDay)
    {
        port.setCommPort(1);
        port.setPortOpen(true);
    }
    VirtualClock clock;
    test::ScriptedScreen screen;
    StuckPort port{clock};
    App app{screen, clock, port};
};

TEST(Shutdown, EmptyOutputClosesAtOnce)
{
    Shutdown s;
    EXPECT_FALSE(Form_Unload(s.app));
    EXPECT_FALSE(s.port.portOpen());
    EXPECT_TRUE(s.screen.transcript.empty());
}

TEST(Shutdown, OutputThatDrainsInTimeCloses)
{
    Shutdown s;
    s.port.pending = 5;
    s.port.drainsAfter = 20;
    EXPECT_FALSE(Form_Unload(s.app));
    EXPECT_FALSE(s.port.portOpen());
    EXPECT_TRUE(s.screen.transcript.empty());
    EXPECT_GT(s.screen.processEventsCalls, 0);
}

TEST(Shutdown, AbortKeepsThePortOpen)
{
    Shutdown s;
    s.port.pending = 5;
    s.screen.messageAnswers = {Answer::Abort};
    EXPECT_TRUE(Form_Unload(s.app));
    EXPECT_TRUE(s.port.portOpen());
    const auto boxes = s.screen.boxes("message");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Unable to transmit datas");
    EXPECT_EQ(boxes[0].title, "Puolukka");
    EXPECT_EQ(boxes[0].buttons, Buttons::AbortRetryIgnore);
    EXPECT_EQ(boxes[0].icon, Icon::Question);
    EXPECT_GE(s.clock.nowUs(), 9'500'000);
    EXPECT_LE(s.clock.nowUs(), 11'000'000);
}

TEST(Shutdown, RetryWaitsAgainAndIgnoreCloses)
{
    Shutdown s;
    s.port.pending = 5;
    s.screen.messageAnswers = {Answer::Retry, Answer::Ignore};
    EXPECT_FALSE(Form_Unload(s.app));
    EXPECT_FALSE(s.port.portOpen());
    EXPECT_EQ(s.screen.boxes("message").size(), 2u);
    EXPECT_GE(s.clock.nowUs(), 19'500'000);
}

TEST(Shutdown, DeadlineAcrossMidnight)
{
    Shutdown s(86'395.0);
    s.port.pending = 5;
    s.screen.messageAnswers = {Answer::Abort};
    EXPECT_TRUE(Form_Unload(s.app));
    EXPECT_LE(s.clock.nowUs(), 11'000'000);
}

TEST(Shutdown, ClosedPortEndsWithoutQuestion)
{
    Shutdown s;
    s.port.setPortOpen(false);
    s.port.pending = 5;
    EXPECT_FALSE(Form_Unload(s.app));
    EXPECT_TRUE(s.screen.transcript.empty());
}

}  // namespace
}  // namespace puolukka
