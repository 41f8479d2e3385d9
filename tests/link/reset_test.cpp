#include "link/reset.h"

#include <gtest/gtest.h>

#include "card_fixture.h"
#include "conversions/conversions.h"
#include "link/answer_to_reset.h"
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

TEST(Reset, TheLineMovedAndThePulse)
{
    struct Row {
        void (*reset)(App&);
        int polarity;
        std::vector<std::string> lines;
    };
    const Row rows[] = {
        {resetointi, 0, {"RTS on", "RTS off"}},     {Command1_Click, 0, {"RTS on", "RTS off"}},
        {Command2_Click, 0, {"DTR on", "DTR off"}}, {resetointi, 1, {"RTS off", "RTS on"}},
        {Command1_Click, 1, {"RTS off", "RTS on"}}, {Command2_Click, 1, {"DTR off", "DTR on"}},
        {Command2_Click, 2, {}},                    {Command1_Click, -1, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.lines.empty() ? "no pulse" : row.lines[0]);
        VirtualClock clock;
        test::ScriptedScreen screen;
        test::ScriptedPort port{clock};
        App app{screen, clock, port};
        port.setCommPort(1), port.setPortOpen(true);
        app.card.ClassByte = "A0";
        app.card.ResetPolarity = row.polarity;
        const std::string atr("\x3B\x02\x14\x50", 4);
        port.deliver(atr, 260);  // the card answers after the pulse
        row.reset(app);
        EXPECT_EQ(port.lineChanges, row.lines);
        ASSERT_FALSE(port.writes.empty());
        if (row.lines.size() == 2) {
            EXPECT_EQ(port.lineChangeTimesUs[1] - port.lineChangeTimesUs[0], 250'000);
            EXPECT_GE(port.writeTimesUs[0], 260'000);
        }
        EXPECT_EQ(app.card.ResetMethod, row.reset == Command2_Click ? 2 : 1);
    }
}

TEST(Reset, ClosedPortForgetsTheCardWithoutSending)
{
    CardFixture f;
    f.port.setPortOpen(false);
    f.app.card.ShowInTerminal = 0;
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

// A reset that meets the other convention switches and resets again, with or without line parity.
TEST(VirtualCardLink, TheResetSwitchesToTheCardsConvention)
{
    for (const bool lineParity : {true, false}) {
        for (void (*click)(App&) : {resetointi, Command1_Click, Command2_Click}) {
            SCOPED_TRACE(std::to_string(lineParity) + (click == Command2_Click ? " DTR" : " RTS"));
            sim::CardDescription card = test::makeCard(test::CardOptions{.inverse = true});
            card.lineParity = lineParity;
            CardFixture f(card);
            f.app.card.CurrentFile = "EF-6F3A-ADN";
            f.app.card.ShowInTerminal = click == Command2_Click ? 0 : 1;
            click(f.app);
            EXPECT_EQ(f.app.card.InverseConvention, 1);
            EXPECT_EQ(f.port.settings() + f.app.settings.Parity, "9600,O,8,1O");
            EXPECT_EQ(f.screen.controls["SimConv1"].text + f.screen.controls["ParStat2"].text, "INVERSEODD");
            EXPECT_EQ(heard(f), (std::vector<std::string>{"ATR", "ATR", "A0A40000023F00", "A0C0000016"}));
            EXPECT_EQ(f.app.card.Chv1State, "Enabled");  // the master file's description was read
            const std::string misread = lineParity ? std::string(9, '?') : inverseBytes(card.atr);
            EXPECT_EQ(f.screen.term, click == Command2_Click ? "" : sim::toHex(misread, true) + " \r\n" + atrLine(f));
            pollPort(f.app);
            pollPort(f.app);
            EXPECT_EQ(f.app.card.InverseConvention, 1);
            EXPECT_EQ(heard(f).size(), 4u) << "no further reset";
        }
    }
}

TEST(VirtualCardLink, ADirectCardAfterAnInverseOneSwitchesBack)
{
    for (const bool lineParity : {true, false}) {
        sim::CardDescription card = sim::demoCard();
        card.lineParity = lineParity;
        CardFixture f(card);
        setConvention(f.app, true);
        resetointi(f.app);
        EXPECT_EQ(f.app.card.InverseConvention, 0);
        EXPECT_EQ(f.app.settings.Parity + f.screen.controls["SimConv1"].text, "ENORMAL");
        EXPECT_EQ(f.app.card.answerToReset, f.card().description().atr);
    }
}

TEST(AnswerToReset, ParsedAsFarAsItsBytesAnnounce)
{
    struct Row {
        std::string atr;  // hex
        bool validTs, complete;
        std::size_t length;
    };
    const Row rows[] = {
        {"3B1611800147534D31", true, true, 9},
        {"3B16118001", true, false, 9},                  // historical bytes still on their way
        {"3F1611800147534D31FFFF", true, true, 9},       // what follows is not part of it
        {"3B00", true, true, 2},
        {"3B80", true, false, 0},                        // TD1 announced, not yet there
        {"3B8001" "00", true, true, 4},                  // TD1 says T=1: TCK follows
        {"3B8081" "00" "00", true, true, 5},             // TD1 T=1, TD2 T=0 (no further bytes): still TCK
        {"03", false, false, 0},                         // an inverse TS read without its transform
        {"", false, false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.atr);
        std::string bytes;
        ASSERT_TRUE(sim::parseHex(row.atr, &bytes));
        const AtrParse p = parseAnswerToReset(bytes);
        EXPECT_EQ(p.validTs, row.validTs);
        EXPECT_EQ(p.complete, row.complete);
        EXPECT_EQ(row.complete ? p.length : 0u, row.complete ? row.length : 0u);
    }
    // TS as the port delivered it, against the convention the port is set for.
    using V = TsVerdict;
    EXPECT_EQ(tsVerdict(0x3B, false, "?"), V::SameConvention);
    EXPECT_EQ(tsVerdict(0x03, true, "?"), V::SameConvention);
    EXPECT_EQ(tsVerdict(0x03, false, "?"), V::OtherConvention);    // an inverse card on a line without parity
    EXPECT_EQ(tsVerdict(0x3B, true, ""), V::OtherConvention);
    EXPECT_EQ(tsVerdict('?', false, "?"), V::OtherConvention);     // a parity error replaced the byte
    EXPECT_EQ(tsVerdict(0x3F, false, ""), V::Unknown);
}

// TC2 sets the work waiting time of the exchanges that follow.
TEST(VirtualCardLink, TheAnswerToResetEndsWhereItSaysAndSetsTheWaitingTime)
{
    struct Row {
        std::string atr;  // hex
        int etu;
    };
    const Row rows[] = {
        {"3B1611800147534D31", 9600},                 // TA1 only, 6 historical bytes
        // TA1 96: Fi 512; TD1 80, TD2 1F: T=15, so TCK ends it; 15 historical bytes.
        {"3B9F9680" "1FC7" "8031E073FE211B633A204E8300" "9000" "93", 960 * 10 * 512 / 372},
        {"3B8040" "14", 960 * 0x14},                      // TD1 40: TC2 20 follows
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.atr);
        sim::CardDescription card = sim::demoCard();
        sim::parseHex(row.atr, &card.atr);
        CardFixture f(card);
        Command1_Click(f.app);
        EXPECT_EQ(sim::toHex(f.app.card.answerToReset), row.atr);
        EXPECT_EQ(f.app.card.workWaitingEtu, row.etu);
        EXPECT_LT(f.clock.nowUs(), 250'000 + 2'000 + std::int64_t(card.atr.size()) * 1250 + 80'000);
    }
}

}  // namespace
}  // namespace puolukka
