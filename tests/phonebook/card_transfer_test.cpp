#include "phonebook/card_transfer.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "card_fixture.h"
#include "conversions/conversions.h"
#include "scripted_port.h"
#include "conversions/adn_codec.h"
#include "phonebook/record_loops.h"
#include "link/line_events.h"
#include "link/reset.h"
#include "sim/fault_plan.h"

namespace puolukka {
namespace {

using test::CardFixture;
using test::CardOptions;
using Strings = std::vector<std::string>;

const std::string kOk("\x90\x00", 2);
const CardOptions kNoPin{.pin1Enabled = false};

// The card's commands (header and data, logical bytes) with this instruction byte.
Strings commandsWith(const CardFixture& fx, unsigned char ins)
{
    Strings out;
    for (const auto& t : fx.port.trace())
        if (t.kind == sim::TraceEntry::Kind::Command && t.command.size() >= 2 && (unsigned char)t.command[1] == ins)
            out.push_back(t.command);
    return out;
}

void loadPhonebook(App& app, const Strings& entries)
{
    app.phonebook.PBEntry.assign(1, std::string());
    app.phonebook.PBEntry.insert(app.phonebook.PBEntry.end(), entries.begin(), entries.end());
    app.phonebook.PBCount = int(entries.size());
}

Strings operator+(Strings a, const Strings& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// "Nimi i" padded to 14, "/81/040" 1000+i.
Strings numbered(int count)
{
    Strings entries;
    for (int i = 1; i <= count; ++i)
        entries.push_back(("Nimi " + std::to_string(i)).append(i < 10 ? 8 : 7, '\xFF') + "/81/040" + std::to_string(1000 + i));
    return entries;
}

std::string record(const std::string& entry, int length = 28)
{
    int warning = 0;
    return EntryToRecord(entry, length, warning);
}

// The card's records as entries, as a read gives them.
Strings entriesOfCard(CardFixture& fx)
{
    Strings entries;
    for (int i = 1; i <= 100; ++i)
        entries.push_back(RecordToEntry(fx.adnRecord(i) + kOk));
    return entries;
}

// The progress window and the controls a transfer leaves.
std::string controls(test::ScriptedScreen& s)
{
    return s.controls["Form2"].text + "|" + std::to_string(s.controls["ProgressBar1"].maximum) + "|" +
           (s.controls["Form2"].visible ? "visible" : "hidden") + "|" + s.controls["RinProc2"].text;
}

TEST(PhonebookRead, ReadsEveryRecordOfTheCard)
{
    CardFixture fx(kNoPin);
    PhnBook_Click(fx.app);

    ASSERT_EQ(fx.app.phonebook.PBCount, 100);
    const auto reads = commandsWith(fx, 0xB2);  // the records' values: the whole trip in PhonebookFile
    ASSERT_EQ(reads.size(), 100u);
    EXPECT_EQ(reads[9] + reads.back(), std::string("\xA0\xB2\x0A\x04\x1C" "\xA0\xB2\x64\x04\x1C", 10));
    EXPECT_EQ(fx.app.phonebook.PBEntry[2], "Matti Korhonen/91/+358501234567");
    EXPECT_EQ(fx.app.card.CurrentFile + fx.screen.text("Label3"), "EF-6F3A-ADN DF-7F10-TELECOM");
    EXPECT_EQ(controls(fx.screen), "Luetaan muistia|100|hidden| 100");
    EXPECT_TRUE(fx.screen.enabled("WritePB") && !fx.screen.enabled("GetResp3"));
    EXPECT_NE(fx.screen.term.find(std::string(100, '.') + " Done :  100 Records \r\n"), std::string::npos);
}

TEST(PhonebookTransfer, APin1ThatWasNotAcceptedStopsTheReadAndTheWrite)
{
    struct Row {
        const char* what;
        int attemptsLeft;
        std::vector<std::string> typed;  // nothing queued: the box is cancelled
    };
    const Row rows[] = {{"blocked", 0, {"1234"}}, {"cancelled", 3, {}}, {"malformed", 3, {"12a4"}}, {"wrong", 3, {"4321"}}};
    for (const bool writing : {false, true}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.what) + (writing ? " write" : " read"));
            CardFixture fx;
            fx.card().description().chv1.attemptsLeft = row.attemptsLeft;
            fx.screen.inputAnswers.assign(row.typed.begin(), row.typed.end());
            fx.screen.controls["WritePB"].enabled = false;
            loadPhonebook(fx.app, {"Muistissa/81/123"});
            const Phonebook before = fx.app.phonebook;
            writing ? WritePB_Click(fx.app) : PhnBook_Click(fx.app);
            EXPECT_TRUE(commandsWith(fx, 0xB2).empty() && commandsWith(fx, 0xDC).empty());
            EXPECT_EQ(fx.app.phonebook.PBEntry, before.PBEntry);
            EXPECT_FALSE(fx.screen.controls["WritePB"].enabled);
            EXPECT_TRUE(fx.screen.boxes("input").size() == 1u && fx.screen.boxes("input")[0].masked);
        }
    }
}

TEST(PhonebookRead, NoToTheReplaceQuestionKeepsThePhonebook)
{
    CardFixture fx(kNoPin);
    fx.app.card.CardReady = 1;  // no reset needed
    fx.screen.messageAnswers.push_back(Answer::No);
    loadPhonebook(fx.app, {"Old/81/123"});
    PhnBook_Click(fx.app);
    const auto box = fx.screen.boxes("message").at(0);
    EXPECT_EQ(box.text + "|" + box.title, "Korvataanko muistissa oleva luettelo?|Puolukka");
    EXPECT_TRUE(box.buttons == Buttons::YesNo && box.defaultButton == Answer::No);
    EXPECT_TRUE(fx.port.trace().empty()) << "nothing is selected";
    EXPECT_EQ(fx.app.phonebook.PBEntry, (Strings{"", "Old/81/123"}));
}

// A card that never answers: the message after the reset's waits, no PIN prompt.
TEST(PhonebookTransfer, AMuteCardEndsAtOnceWithoutAPinPrompt)
{
    for (const bool writing : {false, true}) {
        SCOPED_TRACE(writing);
        CardFixture fx;  // PIN1 enabled on the card
        fx.app.card.Chv1State = "Enabled";  // as an earlier card left it
        loadPhonebook(fx.app, {"Vanha/81/123"});
        fx.port.removeCard();
        writing ? WritePB_Click(fx.app) : PhnBook_Click(fx.app);
        EXPECT_TRUE(fx.screen.boxes("input").empty());
        EXPECT_EQ(fx.screen.messageTexts(), Strings{"SIM-korttia ei löytynyt. Tarkista kortti!"});
        EXPECT_EQ(fx.app.card.CardReady, 0);
        EXPECT_EQ(fx.app.phonebook.PBEntry, (Strings{"", "Vanha/81/123"}));
        EXPECT_LE(fx.clock.nowUs(), 2'300'000);
    }
}

// A card pulled out and pushed back (CD line) is reset and given PIN1 again by the next read.
TEST(PhonebookRead, ACardPushedBackIsResetAndGivenPin1Again)
{
    for (const bool pulled : {false, true}) {
        SCOPED_TRACE(pulled);
        CardFixture fx;  // PIN1 enabled on the card
        fx.screen.inputAnswers = {"1234", "1234"};
        PhnBook_Click(fx.app);
        ASSERT_EQ(fx.app.phonebook.PBCount, 100);
        if (pulled) {
            fx.port.removeCard();
            pollPort(fx.app);
            fx.clock.sleepMs(500);
            fx.port.insertCard();
            pollPort(fx.app);
        }
        fx.port.clearTrace();
        fx.screen.clearTranscript();
        PhnBook_Click(fx.app);
        EXPECT_EQ(fx.screen.messageTexts(), Strings{"Korvataanko muistissa oleva luettelo?"});
        EXPECT_EQ(fx.app.phonebook.PBCount, 100);
        EXPECT_EQ(!fx.port.trace().empty() && fx.port.trace().front().kind == sim::TraceEntry::Kind::Atr, pulled);
        EXPECT_EQ(fx.card().description().chv1.attemptsLeft, 3);
    }
}

// Records too short for an ADN entry (GSM 11.11 10.5.1: 14 bytes after the name) stop the transfer.
TEST(PhonebookTransfer, RecordsTooShortForAnEntryStopTheTransfer)
{
    for (const bool writing : {false, true}) {
        SCOPED_TRACE(writing);
        sim::CardDescription card = test::makeCard(kNoPin);
        sim::CardFile& adn = card.files[std::size_t(card.findPath("7F10/6F3A"))];
        adn.recordLength = 10;
        adn.data.assign(100, '\xFF');
        CardFixture fx(card);
        loadPhonebook(fx.app, {"Vanha/81/123"});
        writing ? WritePB_Click(fx.app) : PhnBook_Click(fx.app);
        EXPECT_EQ(fx.screen.messageTexts().back(),
                  "Kortin luettelon tietueet ovat liian lyhyitä (10 tavua, vähintään 14). Siirto keskeytettiin.");
        EXPECT_TRUE(commandsWith(fx, 0xB2).empty() && commandsWith(fx, 0xDC).empty());
        EXPECT_EQ(fx.app.phonebook.PBEntry, (Strings{"", "Vanha/81/123"}));
        EXPECT_EQ(fx.app.card.CardReady, 0);
    }
}

// A description that ends before the record length (byte 15) is not decoded.
TEST(PhonebookRead, AShortDescriptionStopsTheRead)
{
    VirtualClock clock;
    test::ScriptedScreen screen;
    test::ScriptedPort port(clock);
    App app(screen, clock, port);
    port.setCommPort(1), port.setPortOpen(true), port.echo = true;
    app.card.ClassByte = "A0", app.card.CardReady = 1, app.card.Chv1State = "Disabled";
    // The ICCID (MF, EF 2FE2, READ BINARY), then SelDF_TELECOM, SelCmd, Test_Response.
    const std::string select[] = {"3F00", "2FE2", "3F00", "7F10", "6F3A", "6F3A"};
    for (const std::string& id : select) {
        port.queueReply("\xA4", 1);
        port.queueReply(std::string("\x9F\x0E", 2), 1);
        if (id == "2FE2")
            port.queueReply(HexToBytes("B0" "98530821436587092143" "9000"), 1);
    }
    port.queueReply(HexToBytes("C0" "00000AF06F3A040011F0220102" "01" "9000"), 1);  // 14 bytes
    PhnBook_Click(app);
    EXPECT_EQ(screen.messageTexts(), Strings{"Kortin antama luettelon kuvaus on liian lyhyt. Siirto keskeytettiin."});
    EXPECT_EQ(port.writes.size(), 14u) << "no READ RECORD";
    EXPECT_EQ(app.phonebook.PBCount, 0);
}

TEST(PhonebookWrite, MoreEntriesThanRecordsWriteWhatFitsAndKeepTheRestInMemory)
{
    CardFixture fx(kNoPin);
    WritePB_Click(fx.app);  // nothing in memory yet
    EXPECT_EQ(fx.screen.messageTexts(), Strings{"Ei luetteloa muistissaa!"});
    EXPECT_TRUE(commandsWith(fx, 0xDC).empty());
    fx.screen.clearTranscript();
    loadPhonebook(fx.app, numbered(120));
    fx.app.phonebook.Changed = true;
    WritePB_Click(fx.app);
    EXPECT_EQ(fx.screen.messageTexts().at(0), " Enemmän muistipaikkoja kuin SIM:llä vähennetään  100 muistipaikkaan\n\n"
                                              "Muistipaikat 101–120 eivät mahdu kortille. Ne säilyvät muistissa olevassa "
                                              "luettelossa.");
    EXPECT_EQ(fx.app.phonebook.PBEntry, (Strings{""} + numbered(120)));
    EXPECT_TRUE(fx.app.phonebook.Changed) << "entries 101-120 are on no card and in no file";
    EXPECT_EQ(commandsWith(fx, 0xDC).size(), 100u);
    EXPECT_EQ(fx.adnRecord(100), record(numbered(100)[99]));
    EXPECT_EQ(controls(fx.screen), "Kirjoitetaan muistia|102|hidden| 100");
    EXPECT_TRUE(fx.screen.termEnabled) << "the terminal is given back";
}

TEST(PhonebookWrite, FewEntriesLeaveTheOtherRecordsAlone)
{
    CardFixture fx(kNoPin);
    const CardFixture untouched(kNoPin);
    Strings entries = numbered(16);
    entries[4] = std::string(14, '\xFF') + "/FF/";  // no name, TON FF: an unused record
    loadPhonebook(fx.app, entries);
    WritePB_Click(fx.app);

    const auto updates = commandsWith(fx, 0xDC);
    ASSERT_EQ(updates.size(), 16u);
    EXPECT_EQ(updates[15], std::string("\xA0\xDC\x10\x04\x1C", 5) + record(entries[15]));  // record 16 is P1 10
    EXPECT_EQ(fx.adnRecord(5), std::string(28, '\xFF'));
    for (int i = 17; i <= 100; ++i)
        EXPECT_EQ(fx.adnRecord(i), untouched.port.card().recordOf(0x6F3A, i)) << i;
}

TEST(PhonebookWrite, OtherRecordLengthsWarnOnceAndAdjustNames)
{
    CardFixture source(kNoPin);
    PhnBook_Click(source.app);
    for (const auto& [length, warning] : {std::pair{32, "Destination records larger than source records"},
                                          std::pair{26, "Destination records shorter than source records"}}) {
        CardFixture fx(CardOptions{.pin1Enabled = false, .adnRecordLength = length});
        fx.app.phonebook = source.app.phonebook;
        WritePB_Click(fx.app);
        const std::string& term = fx.screen.term;
        ASSERT_NE(term.find(warning), std::string::npos) << length;
        EXPECT_EQ(term.find(warning, term.find(warning) + 1), std::string::npos) << "shown once";
        EXPECT_EQ(fx.app.phonebook.CardRecLen, length);
        // The name is padded or cut to the new length; the number part stays as it was.
        const std::string name = source.adnRecord(1).substr(0, 14) + std::string(4, '\xFF');
        EXPECT_EQ(fx.adnRecord(1), name.substr(0, std::size_t(length - 14)) + source.adnRecord(1).substr(14));
    }
}

TEST(PhonebookWrite, ARefusedRecordStopsTheWriteAndSaysWhatWasWritten)
{
    CardFixture refused(kNoPin), worn(kNoPin);
    refused.card().description().files[std::size_t(refused.card().description().findPath("7F10/6F3A"))].access.update = 0xF;
    PhnBook_Click(worn.app);
    worn.card().failingRecords = {2};  // GSM 11.11 92 40: memory problem, from now on
    for (CardFixture* fx : {&refused, &worn}) {
        fx->screen.clearTranscript();
        loadPhonebook(fx->app, numbered(3));
        WritePB_Click(fx->app);
        EXPECT_FALSE(fx->card().commandPending());
        EXPECT_EQ(fx->screen.term.find(" Done :  3 Records"), std::string::npos) << "no Done for a write that stopped";
        EXPECT_EQ(fx->app.phonebook.PBEntry, (Strings{""} + numbered(3)));
    }
    const std::string backup = "Kortin aiempi luettelo on varmuuskopiona tiedostossa " + test::testDataHome() + "/puolukka/backups/";
    const std::string text = refused.screen.messageTexts().at(1);
    EXPECT_TRUE(text.starts_with("Kortti ei hyväksynyt muistipaikkaa 1 (kortti vastasi 98 04). Siirto keskeytettiin.\n\n"
                                 "Kirjoitetut muistipaikat: ei yhtään.\nKirjoittamatta jäivät: 1–3.\n" + backup)) << text;
    for (const auto& command : commandsWith(refused, 0xDC))
        EXPECT_EQ(command.size(), 5u) << "the record's data is not sent after 98 04";
    EXPECT_EQ(refused.adnRecord(1), CardFixture(kNoPin).adnRecord(1));
    EXPECT_TRUE(worn.screen.messageTexts().at(1).starts_with(
        "Kortti ei hyväksynyt muistipaikkaa 2 (kortti vastasi 92 40). Siirto keskeytettiin.\n\n"
        "Kirjoitetut muistipaikat: 1.\nKesken jäi: 2 (sen sisältö voi olla vanha, uusi tai viallinen).\n"
        "Kirjoittamatta jäivät: 3.\n"));
    EXPECT_EQ(worn.adnRecord(1), record(numbered(3)[0]));

    // A read that meets a record the card cannot read stops, and the phonebook stays; the
    // card reads the next command as a command.
    for (CardFixture* fx : {&refused, &worn}) {
        fx->screen.clearTranscript();
        PhnBook_Click(fx->app);
    }
    EXPECT_EQ(refused.app.phonebook.PBCount, 100);
    EXPECT_EQ(worn.app.phonebook.PBEntry, (Strings{""} + numbered(3)));
    EXPECT_EQ(worn.screen.messageTexts().back(),
              "Kortti ei hyväksynyt muistipaikkaa 2 (kortti vastasi 92 40). Siirto keskeytettiin. Muistissa oleva "
              "luettelo säilyi ennallaan.");
}

namespace fs = std::filesystem;

fs::path backupFolder() { return fs::path(test::testDataHome()) / "puolukka" / "backups"; }

std::vector<fs::path> backups()
{
    std::vector<fs::path> files;
    if (fs::exists(backupFolder()))
        for (const auto& f : fs::directory_iterator(backupFolder()))
            files.push_back(f.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::string slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(PhonebookWrite, OneEditIsBackedUpAskedWrittenAloneAndReadBack)
{
    CardFixture fx(kNoPin);
    PhnBook_Click(fx.app);
    std::string cardFile;  // the card as a phonebook file, built here from its records
    std::vector<std::string> before(1);
    for (int i = 1; i <= 100; ++i) {
        before.push_back(fx.adnRecord(i));
        cardFile += RecordToEntry(before.back() + kOk) + "\r\n";
    }
    fs::remove_all(backupFolder());
    fx.app.phonebook.PBEntry[2] = "Uusi/81/0401";
    fx.app.phonebook.Changed = true;
    fx.port.clearTrace();
    fx.screen.clearTranscript();
    fx.screen.messageAnswers = {Answer::No};
    WritePB_Click(fx.app);

    ASSERT_EQ(backups().size(), 1u);
    const fs::path backup = backups()[0];
    EXPECT_EQ(slurp(backup), cardFile) << "the backup is the card as it was, byte for byte";
    EXPECT_TRUE(backup.filename().string().starts_with("8935801234567890123-")) << backup;
    const auto box = fx.screen.boxes("message").at(0);
    EXPECT_EQ(box.text, "Kirjoitetaanko luettelo SIM-kortille?\n\nKortilla muuttuu 1 muistipaikka: 2.\n"
                        "\nKortin nykyinen luettelo on tallennettu varmuuskopioksi tiedostoon\n" + backup.string() +
                        "\n(sen voi palauttaa komennolla Avaa luettelo).");
    EXPECT_TRUE(box.buttons == Buttons::YesNo && box.defaultButton == Answer::No && box.icon == Icon::Question);
    EXPECT_TRUE(commandsWith(fx, 0xDC).empty()) << "No writes nothing";
    EXPECT_EQ(fx.adnRecord(2), before[2]);

    fx.port.clearTrace();
    fx.screen.term.clear();
    WritePB_Click(fx.app);  // Yes
    const auto updates = commandsWith(fx, 0xDC);
    ASSERT_EQ(updates.size(), 1u);
    EXPECT_EQ(updates[0], std::string("\xA0\xDC\x02\x04\x1C", 5) + record("Uusi/81/0401"));
    EXPECT_EQ(commandsWith(fx, 0xB2), Strings{std::string("\xA0\xB2\x02\x04\x1C", 5)}) << "read back once";
    for (int i = 1; i <= 100; ++i)
        EXPECT_EQ(fx.adnRecord(i), i == 2 ? record("Uusi/81/0401") : before[std::size_t(i)]) << i;
    EXPECT_NE(fx.screen.term.find(". Done :  100 Records \r\n"), std::string::npos) << fx.screen.term;
    EXPECT_EQ(controls(fx.screen), "Kirjoitetaan muistia|3|hidden| 2");
    EXPECT_FALSE(fx.app.phonebook.Changed);
    EXPECT_EQ(backups().size(), 2u);

    // Nothing changed since: said so, nothing backed up, nothing written.
    fx.port.clearTrace();
    fx.screen.clearTranscript();
    WritePB_Click(fx.app);
    EXPECT_EQ(fx.screen.messageTexts(), Strings{"Kortilla on jo tämä luettelo: yhtään muistipaikkaa ei tarvitse "
                                                "kirjoittaa. Korttia ei muutettu."});
    EXPECT_TRUE(commandsWith(fx, 0xDC).empty());
    EXPECT_EQ(backups().size(), 2u);
}

TEST(PhonebookWrite, TheCardIsReadFirstUnlessThisVeryCardWasReadInThisSession)
{
    enum class Since { Nothing, Reset, CardChanged, OtherIccid, NeverRead };
    for (const Since since : {Since::Nothing, Since::Reset, Since::CardChanged, Since::OtherIccid, Since::NeverRead}) {
        SCOPED_TRACE(int(since));
        CardFixture fx(kNoPin);
        if (since != Since::NeverRead)
            PhnBook_Click(fx.app);
        else
            loadPhonebook(fx.app, entriesOfCard(fx));
        if (since == Since::Reset)
            resetointi(fx.app);
        if (since == Since::CardChanged)
            OnComm(fx.app, comm_event::Cd);
        if (since == Since::OtherIccid)  // another card put in without a carrier-detect line
            fx.card().description().files[std::size_t(fx.card().description().findPath("2FE2"))].data =
                HexToBytes("98530821436587092144");
        fx.app.phonebook.PBEntry[5] = "Viides/81/5";
        fx.port.clearTrace();
        WritePB_Click(fx.app);
        EXPECT_EQ(commandsWith(fx, 0xB2).size(), since == Since::Nothing ? 1u : 101u);
        EXPECT_EQ(commandsWith(fx, 0xDC).size(), 1u);
        EXPECT_EQ(fx.adnRecord(5), record("Viides/81/5"));
    }
}

TEST(PhonebookWrite, EntriesThatCannotBeWrittenExactlyAreLeftAloneAndNamed)
{
    CardFixture fx(kNoPin);
    PhnBook_Click(fx.app);
    const std::string third = fx.adnRecord(3);
    fx.app.phonebook.PBEntry[1] = "Eka/81/111";
    fx.app.phonebook.PBEntry[3] = "Bad/81/040abc";
    fx.app.phonebook.PBEntry[4] = "Plus/81/+358";
    fx.app.phonebook.Changed = true;
    WritePB_Click(fx.app);
    const std::string question = fx.screen.messageTexts().at(0);
    EXPECT_NE(question.find("Kortilla muuttuu 1 muistipaikka: 1.\n\nNäitä muistipaikkoja ei kirjoiteta, koska niitä ei "
                            "voi tallentaa sellaisenaan:\nmuistipaikka 3: numerossa on merkki \"a\", jota kortti ei voi "
                            "tallentaa\nmuistipaikka 4: numero alkaa merkillä +, mutta TON ei ole 91\n"),
              std::string::npos) << question;
    EXPECT_EQ(fx.adnRecord(1), record("Eka/81/111"));
    EXPECT_EQ(fx.adnRecord(3), third) << "never 040000";
    EXPECT_EQ(commandsWith(fx, 0xDC).size(), 1u);
    EXPECT_TRUE(fx.app.phonebook.Changed) << "two entries are on no card";
}

TEST(PhonebookWrite, ARecordThatReadsBackDifferentIsReportedByItsNumber)
{
    CardFixture fx(kNoPin);
    PhnBook_Click(fx.app);
    fx.card().corruptingRecords = {5};
    for (int i : {2, 4, 5, 6})  // record 3 unchanged: not among the written
        fx.app.phonebook.PBEntry[std::size_t(i)] = "Uusi " + std::to_string(i) + "/81/" + std::to_string(i);
    WritePB_Click(fx.app);
    const std::string text = fx.screen.messageTexts().at(1);
    EXPECT_TRUE(text.starts_with("Muistipaikka 5 luettiin takaisin eri sisältöisenä kuin se kirjoitettiin: kortti ei "
                                 "tallentanut sitä oikein. Siirto keskeytettiin.\n\nKirjoitetut muistipaikat: 2, 4.\n"
                                 "Kesken jäi: 5 (sen sisältö voi olla vanha, uusi tai viallinen).\n"
                                 "Kirjoittamatta jäivät: 6.\n")) << text;
    EXPECT_EQ(commandsWith(fx, 0xDC).size(), 3u) << "the write stops at the record that came back wrong";
    // The next write reads the card first: the copy of record 5 cannot be trusted.
    fx.card().corruptingRecords.clear();
    fx.port.clearTrace();
    WritePB_Click(fx.app);
    EXPECT_EQ(commandsWith(fx, 0xB2).size(), 102u);
    EXPECT_EQ(fx.adnRecord(5), record("Uusi 5/81/5"));
}

// A clock that pulls the reader's plug (closes the port), or else the card, once the card
// has got this many commands.
struct Puller final : Clock {
    Puller(CardFixture& fx, std::size_t commands, bool plug) : fx(fx), commands(commands), plug(plug) {}
    void sleepMs(int ms) override { pull(), fx.clock.sleepMs(ms); }
    void sleepUs(std::int64_t us) override { pull(), fx.clock.sleepUs(us); }
    std::int64_t nowUs() const override { return fx.clock.nowUs(); }
    double timeOfDaySeconds() const override { return fx.clock.timeOfDaySeconds(); }
    void pull()
    {
        if (fx.port.trace().size() < commands)
            return;
        if (plug && fx.port.portOpen())
            fx.port.setPortOpen(false);
        if (!plug && fx.port.cardInserted())
            fx.port.removeCard();
    }
    CardFixture& fx;
    std::size_t commands;
    bool plug;
};

// A card falling silent amid the records: its message one work waiting time (9600 bit times,
// 1 s at 9600 baud) after its last byte.
TEST(PhonebookRead, ACardFallingSilentEndsTheReadWithinTheWaitingTime)
{
    CardFixture fx;
    fx.card().description().chv1Enabled = false;
    Puller clock(fx, 30, false);
    App app(fx.screen, clock, fx.port);
    app.card.ClassByte = "A0";
    app.settings = fx.app.settings;
    app.card.ShowInTerminal = 1;
    PhnBook_Click(app);
    ASSERT_EQ(fx.screen.messageTexts().size(), 1u);
    EXPECT_TRUE(fx.screen.messageTexts()[0].starts_with("SIM-kortti lakkasi vastaamasta. Siirto keskeytettiin."));
    EXPECT_EQ(app.phonebook.PBCount + app.card.CardReady, 0);
    EXPECT_GT(fx.clock.nowUs(), 1'000'000);
    EXPECT_LT(fx.clock.nowUs(), 1'000'000 + 250'000 + 30 * 60'000);
}

TEST(PhonebookTransfer, APortVanishingMidTransferEndsItAndKeepsThePhonebook)
{
    for (const bool writing : {false, true}) {
        CardFixture fx(kNoPin);
        PhnBook_Click(fx.app);  // the card stands ready, the phonebook read
        if (!writing) {
            loadPhonebook(fx.app, {"Vanha/81/123", "Toinen/81/456"});
            fx.screen.messageAnswers.push_back(Answer::Yes);
        } else {
            loadPhonebook(fx.app, numbered(100));  // every record changes
        }
        fx.port.clearTrace();
        fx.screen.clearTranscript();
        Puller clock(fx, 20, true);  // within the record loop
        App app(fx.screen, clock, fx.port);
        app.card = fx.app.card;
        app.phonebook = fx.app.phonebook;
        writing ? WritePB_Click(app) : PhnBook_Click(app);

        ASSERT_FALSE(fx.port.portOpen()) << writing;
        const auto box = fx.screen.boxes("message").back();
        EXPECT_TRUE(box.text.starts_with("Yhteys kortinlukijaan katkesi. Siirto keskeytettiin.")) << box.text;
        if (writing) {  // records 1-4 went before the plug was pulled
            EXPECT_NE(box.text.find("\n\nKirjoitetut muistipaikat: 1–4.\nKirjoittamatta jäivät: 5–100.\n"), std::string::npos) << box.text;
        }
        EXPECT_EQ(app.phonebook.PBEntry, fx.app.phonebook.PBEntry);
        EXPECT_TRUE(!fx.screen.controls["Form2"].visible && fx.screen.termEnabled && !app.card.CardReady);
    }
}

// Characters on the line, both ways, before the card got the n-th command beginning with header.
int charactersBefore(const CardFixture& fx, const std::string& header, int n = 1)
{
    int count = 0;
    for (const sim::TraceEntry& t : fx.port.trace()) {
        if (t.kind == sim::TraceEntry::Kind::Command && t.command.starts_with(HexToBytes(header)) && --n == 0)
            return count;
        count += int(t.command.size() + t.answer.size());
    }
    return -1;
}

struct LineFault {
    const char* what;
    sim::Fault kind;
    std::string header;  // the command it strikes
    int offset;          // characters of that command before the one struck
};

// The read with a line fault, placed by a clean run of the same read.
std::string readWith(const LineFault& fault, CardFixture& fx)
{
    CardFixture clean(kNoPin);
    loadPhonebook(clean.app, {"Muistissa/81/123"});
    PhnBook_Click(clean.app);
    loadPhonebook(fx.app, {"Muistissa/81/123"});
    sim::FaultPlan plan;
    fx.port.setFaultPlan(&plan);
    plan.strikeNext(fault.kind, charactersBefore(clean, fault.header) + fault.offset);
    PhnBook_Click(fx.app);
    fx.port.setFaultPlan(nullptr);
    const Strings texts = fx.screen.messageTexts();
    return texts.empty() ? std::string() : texts.back();
}

// T=0 has no check of its own: a damaged record or description is never taken for the card's.
TEST(PhonebookRead, ALineFaultStopsTheReadAndKeepsThePhonebook)
{
    const std::string broken = "Kortin vastaus muistipaikan 5 kohdalla tuli vajaana tai häiriintyneenä, eikä sitä "
                               "voi käyttää. Siirto keskeytettiin. Muistissa oleva luettelo säilyi ennallaan.";
    const std::pair<LineFault, std::string> rows[] = {
        // READ RECORD 5: 5 header bytes, the procedure byte, then the record.
        {{"parity error in record 5", sim::Fault::ParityError, "A0B205041C", 7}, broken},
        {{"a byte of record 5 lost", sim::Fault::DroppedByte, "A0B205041C", 7}, broken},
        // GET RESPONSE of EF ADN: the file size is its 3rd and 4th byte.
        {{"a byte of the description lost", sim::Fault::DroppedByte, "A0C000000F", 8},
         "Kortin antama luettelon kuvaus tuli vajaana tai häiriintyneenä. Siirto keskeytettiin."},
        {{"parity error in the description", sim::Fault::FlippedByte, "A0C000000F", 8},
         "Kortin antama luettelon kuvaus tuli vajaana tai häiriintyneenä. Siirto keskeytettiin."},
    };
    for (const auto& [fault, message] : rows) {
        SCOPED_TRACE(fault.what);
        CardFixture fx(kNoPin);
        EXPECT_EQ(readWith(fault, fx), message);
        EXPECT_EQ(fx.app.phonebook.PBEntry, (Strings{"", "Muistissa/81/123"}));
        EXPECT_EQ(fx.app.card.CardReady, 0) << "the next operation starts with a reset";
        if (fault.header == "A0C000000F") {
            EXPECT_TRUE(commandsWith(fx, 0xB2).empty()) << "no record is read by a broken description";
        }
    }
}

// A record sent but not read back the same may hold anything: the write names it apart.
TEST(PhonebookWrite, TheRecordAWriteStoppedAtIsNamedAsUnsure)
{
    const LineFault faults[] = {
        // UPDATE RECORD 5: 5 header bytes, the procedure byte, 28 bytes, then SW1: the card has stored it.
        {"the card resets before its 90 00", sim::Fault::CardReset, "A0DC05041C", 34},
        {"the card pulled out before its 90 00", sim::Fault::CardRemoved, "A0DC05041C", 34},
        {"parity error in the record read back", sim::Fault::ParityError, "A0B205041C", 10},
        {"the port gone with the record read back", sim::Fault::PortGone, "A0B205041C", 10},
    };
    const auto prepare = [](CardFixture& fx) {
        PhnBook_Click(fx.app);
        for (int i : {4, 5, 6})
            fx.app.phonebook.PBEntry[std::size_t(i)] = "Uusi " + std::to_string(i) + "/81/" + std::to_string(i);
        fx.port.clearTrace();
    };
    for (const LineFault& fault : faults) {
        SCOPED_TRACE(fault.what);
        CardFixture clean(kNoPin), fx(kNoPin);
        prepare(clean);
        WritePB_Click(clean.app);
        prepare(fx);
        const std::string old6 = fx.adnRecord(6);
        sim::FaultPlan plan;
        fx.port.setFaultPlan(&plan);
        plan.strikeNext(fault.kind, charactersBefore(clean, fault.header) + fault.offset);
        WritePB_Click(fx.app);
        const std::string text = fx.screen.messageTexts().back();
        EXPECT_NE(text.find("\n\nKirjoitetut muistipaikat: 4.\nKesken jäi: 5 (sen sisältö voi olla vanha, uusi tai "
                            "viallinen).\nKirjoittamatta jäivät: 6.\n"),
                  std::string::npos) << text;
        EXPECT_EQ(fx.adnRecord(4), record("Uusi 4/81/4"));
        EXPECT_EQ(fx.adnRecord(5), record("Uusi 5/81/5")) << "the card had stored it";
        EXPECT_EQ(fx.adnRecord(6), old6);
    }
}

// A broken answer to the silent ICCID read leaves the card to be reset next time.
TEST(PhonebookTransfer, ABrokenIccidReadResetsTheCardNextTime)
{
    const std::pair<const char*, int> rows[] = {{"A0A4000002", 2}, {"A0B000000A", 2}, {"A0B000000A", 8}};
    for (const auto& [header, offset] : rows) {
        SCOPED_TRACE(std::string(header) + " +" + std::to_string(offset));
        CardFixture clean(kNoPin), fx(kNoPin);
        const std::string iccid = readIccid(clean.app);
        ASSERT_FALSE(iccid.empty());
        sim::FaultPlan plan;
        fx.port.setFaultPlan(&plan);
        plan.strikeNext(sim::Fault::DroppedByte, charactersBefore(clean, header) + offset);
        fx.app.card.CardReady = 1;
        EXPECT_EQ(readIccid(fx.app), "");
        EXPECT_EQ(fx.app.card.CardReady, 0);
    }
}

// A byte lost from the master file's description during the reset: the read goes on,
// the next operation starts with a reset.
TEST(PhonebookRead, AFaultDuringTheResetDoesNotStopTheReadInSilence)
{
    CardFixture clean, fx;
    clean.screen.inputAnswers = fx.screen.inputAnswers = {"1234"};
    PhnBook_Click(clean.app);
    sim::FaultPlan plan;
    fx.port.setFaultPlan(&plan);
    plan.strikeNext(sim::Fault::DroppedByte, charactersBefore(clean, "A0C0000016") + 20);
    PhnBook_Click(fx.app);
    EXPECT_EQ(fx.app.phonebook.PBEntry, clean.app.phonebook.PBEntry);
    EXPECT_NE(fx.screen.term.find(" Done :  100 Records"), std::string::npos);
    EXPECT_EQ(fx.app.card.CardReady, 0);
}

}  // namespace
}  // namespace puolukka
