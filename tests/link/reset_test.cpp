#include "link/reset.h"

#include <gtest/gtest.h>

#include "card_fixture.h"
#include "link/line_events.h"
#include "scripted_port.h"

namespace puolukka {
namespace {

using test::CardFixture;

// What the card heard: "ATR" for each answer-to-reset, the hex of each command.
std::vector<std::string> heard(CardFixture& f)
{
    std::vector<std::string> out;
    for (const sim::TraceEntry& e : f.port.trace())
        if (e.kind == sim::TraceEntry::Kind::Atr || e.kind == sim::TraceEntry::Kind::Command)
            out.push_back(e.kind == sim::TraceEntry::Kind::Atr ? "ATR" : sim::toHex(e.command));
    return out;
}

std::string atrLine(CardFixture& f) { return sim::toHex(f.card().description().atr, true) + " \r\n"; }

TEST(Reset, ResetointiPulsesRtsAndReadsTheMasterFile)
{
    CardFixture f;
    f.app.card.Pin1Code = f.app.card.Pin2Code = "1234";
    f.app.card.ShowInTerminal = 0;
    f.screen.setText("ACS61", "ALWAYS");
    resetointi(f.app);
    EXPECT_FALSE(f.port.rtsEnable() || f.port.dtrEnable());  // RTS on, then off
    EXPECT_EQ(f.app.card.CardReady, 1);
    EXPECT_EQ(f.app.card.ResetMethod, 1);
    EXPECT_EQ(f.app.card.Pin1Code + f.app.card.Pin2Code, "");
    EXPECT_EQ(f.screen.text("PIN1Valid") + f.screen.text("PIN2Valid") + f.screen.text("ACS61"), "INVALIDINVALID");
    EXPECT_EQ(f.app.card.CurrentFile, "MF-3F00-MF");
    // The answer-to-reset is shown; the master file's selection and description are not.
    EXPECT_EQ(f.screen.term, atrLine(f));
    EXPECT_EQ(heard(f), (std::vector<std::string>{"ATR", "A0A40000023F00", "A0C0000016"}));
    EXPECT_EQ(f.app.card.Chv1State, "Enabled");
    EXPECT_EQ(f.app.card.ShowInTerminal, 1);
}

TEST(Reset, ResetPolarity)
{
    // Inverted: a reader that holds the card in reset while RTS is off, DTR not wired.
    sim::CardDescription card = test::makeCard(test::CardOptions{.resetAssertedWhenOn = false});
    card.resetOnDtr = false;
    CardFixture inverted(card);
    inverted.app.card.ResetPolarity = 1;
    inverted.app.card.CardReady = 0;
    Command1_Click(inverted.app);
    EXPECT_TRUE(inverted.port.rtsEnable() && !inverted.port.dtrEnable());
    EXPECT_EQ(heard(inverted).at(0), "ATR");
    EXPECT_EQ(inverted.app.card.CardReady, 0);  // only resetointi sets it
    // Any other polarity leaves the lines alone, but the card is still forgotten and reselected.
    CardFixture other;
    other.app.card.ResetPolarity = 2;
    other.app.card.Pin1Code = "1234";
    resetointi(other.app);
    EXPECT_FALSE(other.port.rtsEnable());
    EXPECT_EQ(other.app.card.Pin1Code, "");
    EXPECT_EQ(heard(other).at(0), "A0A40000023F00");
}

TEST(Reset, ClosedPortForgetsTheCardWithoutSending)
{
    CardFixture f;
    f.port.setPortOpen(false);
    f.app.card.ShowInTerminal = 0;
    // Each field keeps only its last characters.
    const std::tuple<const char*, const char*, const char*> fields[] = {
        {"PIN1Status", "ABCDEFG", "EFG"}, {"PUK1Left", "ab", ""}, {"PIN2Status", "NÄYTÄ", "Ä"}};
    for (const auto& [name, before, after] : fields)
        f.screen.setText(name, before);
    resetointi(f.app);
    for (const auto& [name, before, after] : fields)
        EXPECT_EQ(f.screen.text(name), after) << name;
    EXPECT_TRUE(heard(f).empty());
    EXPECT_EQ(f.app.card.CurrentFile, "MF-3F00-MF");
    EXPECT_EQ(f.app.card.ShowInTerminal + f.app.card.CardReady, 2);
}

// A port whose output drains after a number of looks (-1: never).
struct StuckPort : test::ScriptedPort {
    using ScriptedPort::ScriptedPort;
    int pending = 0, drainsAfter = -1;
    int outBufferCount() override { return drainsAfter >= 0 && drainsAfter-- == 0 ? pending = 0 : pending; }
};

TEST(Shutdown, WaitsForTheOutputAndAsksWhenItDoesNotDrain)
{
    // what, time of day, port open, bytes pending, drains after, answers, cancelled, least and most time spent
    const std::tuple<const char*, double, bool, int, int, std::vector<Answer>, bool, int, int> rows[] = {
        {"empty output", 43200, true, 0, -1, {}, false, 0, 0},
        {"drains in time", 43200, true, 5, 20, {}, false, 0, 1'000'000},
        {"abort keeps the port open", 43200, true, 5, -1, {Answer::Abort}, true, 9'500'000, 11'000'000},
        {"retry waits again, ignore closes", 43200, true, 5, -1, {Answer::Retry, Answer::Ignore}, false, 19'500'000,
         22'000'000},
        {"deadline across midnight", 86395, true, 5, -1, {Answer::Abort}, true, 9'500'000, 11'000'000},
        {"closed port", 43200, false, 5, -1, {}, false, 0, 0},
    };
    for (const auto& [what, timeOfDay, open, pending, drainsAfter, answers, cancelled, minUs, maxUs] : rows) {
        SCOPED_TRACE(what);
        VirtualClock clock(timeOfDay);
        test::ScriptedScreen screen;
        StuckPort port{clock};
        App app{screen, clock, port};
        port.setCommPort(1);
        port.setPortOpen(open);
        port.pending = pending;
        port.drainsAfter = drainsAfter;
        screen.messageAnswers.assign(answers.begin(), answers.end());
        EXPECT_EQ(Form_Unload(app), cancelled);
        EXPECT_EQ(port.portOpen(), cancelled);
        EXPECT_EQ(screen.transcript.size(), answers.size());
        for (const auto& box : screen.boxes("message"))
            EXPECT_TRUE(box.text == "Unable to transmit datas" && box.title == "Puolukka" &&
                        box.buttons == Buttons::AbortRetryIgnore && box.icon == Icon::Question);
        EXPECT_TRUE(clock.nowUs() >= minUs && clock.nowUs() <= maxUs) << clock.nowUs();
    }
}

// An inverse card's answer-to-reset switches the convention once; the switch repeats
// the last reset, whose answer only Command1 shows, and reselects the master file
// (exchanges under the inverse convention: ExchangeTest).
TEST(VirtualCardLink, InverseCardSwitchesConventionOnceByTheLastReset)
{
    for (int button : {1, 2}) {
        SCOPED_TRACE(button);
        CardFixture f(test::CardOptions{.inverse = true});
        f.app.card.CurrentFile = "EF-6F3A-ADN";
        button == 1 ? Command1_Click(f.app) : Command2_Click(f.app);
        f.screen.term.clear();
        pollPort(f.app);
        EXPECT_EQ(f.app.card.InverseConvention * 10 + f.app.card.ResetMethod, 10 + button);
        EXPECT_EQ(f.port.settings() + f.app.settings.Parity, "9600,O,8,1O");
        EXPECT_EQ(f.screen.controls["SimConv1"].text + f.screen.controls["ParStat2"].text, "INVERSEODD");
        EXPECT_EQ(f.app.card.CurrentFile, "MF-3F00-MF");
        EXPECT_EQ(f.screen.term, button == 1 ? atrLine(f) : "");
        pollPort(f.app);  // the repeated reset's answer-to-reset fits odd parity: no switch back
        EXPECT_EQ(f.app.card.InverseConvention, 1);
    }
}

}  // namespace
}  // namespace puolukka
