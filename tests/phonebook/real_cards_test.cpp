// The phonebook read and write as a user runs them, on cards with the habits
// of real ones: NULL bytes, slow answers, data one byte at a time, inverse
// convention. Whatever the habit, the card ends up byte for byte as written,
// and the user sees exactly what a prompt card shows.
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "card_fixture.h"
#include "link/line_events.h"
#include "phonebook/card_transfer.h"

namespace puolukka {
namespace {

using test::CardFixture;
using Strings = std::vector<std::string>;

// What the user saw of one run, and what the card holds afterwards.
struct Seen {
    std::string term, log;
    Strings boxes;  // kind and text of every box, in order
    std::map<std::string, std::string> controls;
    Strings entries;
    std::string adn;  // every record of EF ADN
    int ignored = 0;  // bytes the card could not take (collisions, parity)
};

std::string fileText(const std::string& path)
{
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// Reads the phonebook (reset and PIN1 on the way), changes two entries and writes it back.
Seen readAndWrite(const sim::CardDescription& card)
{
    CardFixture fx(card);
    const std::string log = ::testing::TempDir() + "real_cards_" + std::to_string(::getpid()) + ".log";
    std::remove(log.c_str());
    EXPECT_TRUE(fx.app.log.open(log, nullptr));
    fx.screen.inputAnswers = {"1234", "1234"};  // the second must not be asked
    PhnBook_Click(fx.app);
    if (fx.app.phonebook.PBCount >= 3) {
        fx.app.phonebook.PBEntry[3] = "Uusi Nimi/81/0409998877";
        fx.app.phonebook.PBEntry[1] = "Aino V/91/+358401234567";
    }
    WritePB_Click(fx.app);
    pollPort(fx.app);  // nothing left over may switch the convention afterwards
    fx.app.log.close();

    Seen run;
    run.term = fx.screen.term;
    run.log = fileText(log);
    std::remove(log.c_str());
    for (const auto& box : fx.screen.transcript) {
        // The write's backup file is named by the time and numbered on: only its name may differ.
        std::string text = box.text;
        const std::size_t from = text.find("/backups/"), to = text.find(".phb", from);
        if (from != std::string::npos && to != std::string::npos)
            text.erase(from, to - from);
        run.boxes.push_back(box.kind + ": " + text);
    }
    for (const auto& [name, control] : fx.screen.controls)
        run.controls[name] = control.text + (control.visible ? " (shown)" : "") + std::to_string(control.value);
    run.entries = fx.app.phonebook.PBEntry;
    run.adn = fx.card().binary(0x6F3A);
    for (const sim::TraceEntry& t : fx.port.trace())
        if (t.kind == sim::TraceEntry::Kind::Ignored)
            run.ignored += int(t.command.size());
    return run;
}

TEST(RealCards, EveryHabitReadsAndWritesExactlyWhatAPromptCardDoes)
{
    const Seen prompt = readAndWrite(sim::demoCard());
    ASSERT_EQ(prompt.entries.size(), 101u);
    ASSERT_EQ(std::count(prompt.boxes.begin(), prompt.boxes.end(), "input: Anna PIN1:"), 1);
    ASSERT_NE(prompt.term.find(" Done :  100 Records"), std::string::npos);

    struct Habit {
        const char* name;
        void (*apply)(sim::CardDescription&);
    };
    const Habit habits[] = {
        {"one NULL byte before each answer", [](sim::CardDescription& c) { c.nullBytes = 1; }},
        {"three NULL bytes 20 ms apart", [](sim::CardDescription& c) { c.nullBytes = 3, c.nullIntervalUs = 20'000; }},
        {"NULL bytes while writing", [](sim::CardDescription& c) { c.writeNullBytes = 8, c.nullIntervalUs = 50'000; }},
        {"40 ms slower", [](sim::CardDescription& c) { c.extraDelayUs = 40'000; }},
        {"300 ms slower", [](sim::CardDescription& c) { c.extraDelayUs = 300'000; }},
        {"data one byte at a time", [](sim::CardDescription& c) { c.byteAtATime = true; }},
        {"all of it", [](sim::CardDescription& c) {
             c.nullBytes = 2, c.writeNullBytes = 3, c.nullIntervalUs = 10'000, c.extraDelayUs = 120'000;
             c.byteAtATime = true;
         }},
    };
    for (const Habit& habit : habits) {
        SCOPED_TRACE(habit.name);
        sim::CardDescription card = sim::demoCard();
        habit.apply(card);
        const Seen run = readAndWrite(card);
        EXPECT_EQ(run.adn, prompt.adn);
        EXPECT_EQ(run.entries, prompt.entries);
        EXPECT_EQ(run.boxes, prompt.boxes);
        EXPECT_EQ(run.term, prompt.term);
        EXPECT_EQ(run.log, prompt.log);
        EXPECT_EQ(run.controls, prompt.controls);
        EXPECT_EQ(run.ignored, 0) << "no character ran into the card's answer";
    }
}

// The first read of an inverse card works: the reset meets its TS, switches,
// and the PIN is asked once, whether or not the line carries parity.
TEST(RealCards, AnInverseCardIsReadOnTheFirstTry)
{
    const Seen direct = readAndWrite(sim::demoCard());
    for (const bool lineParity : {true, false}) {
        SCOPED_TRACE(lineParity);
        sim::CardDescription card = test::makeCard(test::CardOptions{.inverse = true});
        card.lineParity = lineParity;
        const Seen run = readAndWrite(card);
        EXPECT_EQ(run.boxes, direct.boxes);
        EXPECT_EQ(run.entries, direct.entries);
        EXPECT_EQ(run.adn, direct.adn);
        EXPECT_EQ(run.controls.at("SimConv1"), "INVERSE0");
    }
}

}  // namespace
}  // namespace puolukka
