#include "phonebook/phonebook_file.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "card_fixture.h"
#include "conversions/adn_codec.h"
#include "phonebook/card_transfer.h"
#include "conversions/conversions.h"
#include "link/reset.h"
#include "phonebook/editor.h"
#include "scripted_port.h"

namespace puolukka {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

struct FileFixture : ::testing::Test {
    FileFixture() { fs::remove_all(dir), fs::create_directories(dir); }
    ~FileFixture() override { fs::remove_all(dir); }

    static std::string slurp(const fs::path& p)
    {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static void put(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }
    static void choose(test::ScriptedScreen& s, const fs::path& p)
    {
        s.fileAnswers.push_back(FileChoice{false, p.string(), p.filename().string()});
    }
    void load(const Strings& entries)
    {
        app.phonebook.PBEntry.assign(1, std::string());
        app.phonebook.PBEntry.insert(app.phonebook.PBEntry.end(), entries.begin(), entries.end());
        app.phonebook.PBCount = int(entries.size());
    }

    const fs::path dir = fs::temp_directory_path() / ("puolukka_pb_" + std::to_string(::getpid()) + "_" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
    VirtualClock clock;
    test::ScriptedScreen screen;
    test::ScriptedPort port{clock};
    App app{screen, clock, port};
};

const std::string kPadded = std::string("Aino\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 14) + "/81/0401234567";

TEST_F(FileFixture, SaveWritesEachEntryWithCrLfByteForByte)
{
    const std::string odd = std::string("\x01\x0D\xE4", 3) + "/91/+3581";  // a lone CR inside a name
    load({kPadded, odd, ""});
    choose(screen, dir / "kirja.phb");
    SavePB_Click(app);
    const auto box = screen.boxes("file").at(0);
    EXPECT_EQ(box.title + "|" + box.filter,
              "Tallenna luettelo|Luettelot (*.phb)|*.phb|Kaikki tiedostot (*.*)|*.*|Teksti (*.txt)|*.txt");
    EXPECT_EQ(slurp(dir / "kirja.phb"), kPadded + "\r\n" + odd + "\r\n\r\n");
    EXPECT_TRUE(screen.messageTexts().empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << "no temporary left";
}

TEST_F(FileFixture, OpenReadsEveryLine)
{
    for (const auto& [content, entries] : std::vector<std::pair<std::string, Strings>>{
             {kPadded + "\r\nB\nx/81/1\r\nC/81/2\r\n", {kPadded, "B\nx/81/1", "C/81/2"}},  // a lone LF stays inside
             {kPadded + "\r\nB\nx/81/1\r\nC/81/2", {kPadded, "B\nx/81/1", "C/81/2"}},  // no line end at the end
             {"", {}},
             {"A/81/1\nB/81/2\n", {"A/81/1", "B/81/2"}},  // LF only
             // Lines added with LF to a CR LF file each stay an entry of their own.
             {"Eka/81/111\nToka/81/222\r\n", {"Eka/81/111", "Toka/81/222"}},
             {"Eka/81/111\r\n\nToka/81/2\nKolmas/FF/", {"Eka/81/111", "", "Toka/81/2", "Kolmas/FF/"}},
             // A UCS2 name holds bytes 0A and 0D; only a whole entry before a lone LF ends a line.
             {"\x80\x04\x0A\x01\x0D/81/1\r\nC/81/2\r\n", {"\x80\x04\x0A\x01\x0D/81/1", "C/81/2"}}}) {
        SCOPED_TRACE(content);
        app.phonebook = Phonebook{};
        screen.controls["WritePB"].enabled = false;
        put(dir / "a.phb", content);
        choose(screen, dir / "a.phb");
        avaa(app);
        EXPECT_EQ(Strings(app.phonebook.PBEntry.begin() + 1, app.phonebook.PBEntry.end()), entries);
        EXPECT_TRUE(screen.controls["WritePB"].enabled);
    }
    const auto box = screen.boxes("file").at(0);
    EXPECT_EQ(box.title + "|" + box.filter,
              "Avaa luettelo|luettelot (*.phb)|*.phb|Kaikki tiedostot (*.*)|*.*|Teksti (*.txt)|*.txt");
}

TEST_F(FileFixture, OpenListsEntriesThatCannotBeWrittenAndTheUserDecides)
{
    put(dir / "a.phb", "Aino/81/040-123 4567\r\nBad/81/040abc\r\nPlus/81/+358 40 1234567\r\nOk/91/+358\r\n");
    for (const Answer answer : {Answer::No, Answer::Yes}) {
        load({"Old/81/1"});
        app.phonebook.Changed = true;
        screen.clearTranscript();
        screen.messageAnswers = {Answer::Yes, answer};  // replace the phonebook; then open anyway or not
        choose(screen, dir / "a.phb");
        avaa(app);
        const auto box = screen.boxes("message").at(1);
        EXPECT_EQ(box.text, "Tiedostossa on 2 muistipaikkaa, joita ei voi kirjoittaa kortille sellaisenaan:\n"
                            "rivi 2: numerossa on merkki \"a\", jota kortti ei voi tallentaa\n"
                            "rivi 3: numero alkaa merkillä +, mutta TON ei ole 91\n"
                            "\nNiitä ei kirjoiteta kortille ennen kuin ne on korjattu. Avataanko luettelo silti?");
        EXPECT_TRUE(box.buttons == Buttons::YesNo && box.defaultButton == Answer::No);
        if (answer == Answer::No) {
            EXPECT_EQ(app.phonebook.PBEntry, (Strings{"", "Old/81/1"}));
            EXPECT_TRUE(app.phonebook.Changed);
        } else {  // separators typed in numbers are gone; nothing else changed
            EXPECT_EQ(app.phonebook.PBEntry,
                      (Strings{"", "Aino/81/0401234567", "Bad/81/040abc", "Plus/81/+358401234567", "Ok/91/+358"}));
            EXPECT_FALSE(app.phonebook.Changed);
        }
    }
}

TEST_F(FileFixture, AFileOfManyMoreLinesThanAnyPhonebookIsRefusedWithItsCount)
{
    std::string huge;
    for (int i = 0; i < 200000; ++i)
        huge += "a/1/1\n";
    put(dir / "huge.phb", huge);
    put(dir / "full.phb", huge.substr(0, kMaxFileEntries * 6));
    load({"Old/81/1"});
    screen.messageAnswers = {Answer::Yes};
    choose(screen, dir / "huge.phb");
    avaa(app);
    EXPECT_EQ(screen.messageTexts().back(),
              "Tiedostossa " + (dir / "huge.phb").string() + " on 200000 riviä. Luettelossa voi olla enintään 1000 "
              "muistipaikkaa (SIM-kortilla enintään 255), joten tiedosto ei ole luettelo. Muistissa oleva luettelo "
              "säilyi ennallaan.");
    EXPECT_EQ(app.phonebook.PBEntry, (Strings{"", "Old/81/1"}));
    choose(screen, dir / "full.phb");
    avaa(app);
    EXPECT_EQ(app.phonebook.PBCount, int(kMaxFileEntries));
}

TEST_F(FileFixture, ASaveThatWouldSplitANameIsRefusedNamingTheEntry)
{
    put(dir / "old.phb", "earlier\r\n");
    for (const std::string& name : {std::string("Eka\r\nToka"), std::string("Eka/81/1\nToka")}) {
        load({"A/81/1", name + "/81/2", "C/81/3"});
        screen.clearTranscript();
        choose(screen, dir / "old.phb");
        SavePB_Click(app);
        EXPECT_EQ(firstEntryLostInFile(app.phonebook), 2);
        EXPECT_TRUE(screen.messageTexts().at(0).starts_with("Muistipaikan 2 nimessä (\"Eka")) << screen.messageTexts()[0];
        EXPECT_TRUE(screen.messageTexts()[0].ends_with(
            "\") on rivinvaihto, jota luettelotiedosto ei voi säilyttää. Luetteloa ei tallennettu."));
        EXPECT_EQ(slurp(dir / "old.phb"), "earlier\r\n");
    }
    load({"Lone\rCR/81/1", "\x80\x04\x0A\x04\x0D/81/2", "Ei\nkokonainen/81/3"});  // these come back as they are
    EXPECT_EQ(firstEntryLostInFile(app.phonebook), 0);
}

TEST_F(FileFixture, QuittingWithUnsavedChangesAsksToSave)
{
    load({"A/81/1"});
    EXPECT_TRUE(askSaveBeforeQuit(app)) << "nothing changed: no question";
    EXPECT_TRUE(screen.transcript.empty());
    const EntryEdit edit{"A", "1", "B", "2", NameView::Bytes};
    ASSERT_EQ(storeEditedEntry(app.phonebook, 1, edit, 1, nullptr), EditResult::Stored);  // marks it changed
    screen.messageAnswers = {Answer::Cancel, Answer::Discard, Answer::Save, Answer::Save};
    EXPECT_FALSE(askSaveBeforeQuit(app));
    EXPECT_TRUE(askSaveBeforeQuit(app));
    const auto box = screen.boxes("message").at(0);
    EXPECT_TRUE(box.buttons == Buttons::SaveDiscardCancel && box.defaultButton == Answer::Save);
    EXPECT_FALSE(askSaveBeforeQuit(app)) << "the save dialog was cancelled";
    choose(screen, dir / "kirja.phb");
    EXPECT_TRUE(askSaveBeforeQuit(app));
    EXPECT_EQ(slurp(dir / "kirja.phb"), "B/81/2\r\n");
    EXPECT_FALSE(app.phonebook.Changed);
}

TEST_F(FileFixture, FailuresKeepThePhonebookAndTheEarlierFileAndSaySo)
{
    load({"Old/81/1", "Old2/81/2"});
    screen.messageAnswers.push_back(Answer::No);
    avaa(app);  // No to the replace question
    EXPECT_TRUE(screen.boxes("file").empty());
    avaa(app);  // Yes, then the dialog is cancelled
    for (const fs::path& p : {dir / "missing.phb", dir}) {
        screen.clearTranscript();
        choose(screen, p);
        avaa(app);
        EXPECT_TRUE(screen.messageTexts().back().starts_with("Luetteloa ei voitu lukea tiedostosta " + p.string() + " ("));
        EXPECT_EQ(app.phonebook.PBEntry, (Strings{"", "Old/81/1", "Old2/81/2"}));
    }
    put(dir / "old.phb", "earlier\r\n");
    fs::create_directories(dir / "sub");
    for (const fs::path& target : {dir / "no_such_dir" / "x.phb", dir / "sub"}) {
        screen.clearTranscript();
        choose(screen, target);
        SavePB_Click(app);
        EXPECT_TRUE(screen.messageTexts().at(0).starts_with("Luetteloa ei voitu tallentaa tiedostoon " + target.string() + " ("));
    }
    EXPECT_TRUE(fs::is_empty(dir / "sub"));
    EXPECT_EQ(slurp(dir / "old.phb"), "earlier\r\n");
    choose(screen, dir / "old.phb");
    SavePB_Click(app);
    EXPECT_EQ(slurp(dir / "old.phb"), "Old/81/1\r\nOld2/81/2\r\n");

    load({});
    screen.clearTranscript();
    SavePB_Click(app);
    EXPECT_EQ(screen.messageTexts(), Strings{"Ei tallennettavaa luetteloa muistissa!"});
    EXPECT_TRUE(screen.boxes("file").empty());
}

// A card full of records that are easy to get wrong (28-byte records, 14-byte names).
std::vector<std::string> awkwardRecords()
{
    const auto rec = [](const std::string& hex) { return HexToBytes(hex); };
    return {
        "",
        rec("4B6F74692F5479F6FFFFFFFFFFFF" "0681" "0940123456FFFFFFFFFF" "FFFF"),  // "Koti/Työ": a "/" in the name
        rec("80042F043E043A0432FFFFFFFFFF" "0791" "5340123456F7FFFFFFFF" "FFFF"),  // UCS2 "Яков": byte 2F
        rec("80040A04300041FFFFFFFFFFFFFF" "0281" "21FFFFFFFFFFFFFFFFFF" "FFFF"),  // UCS2 "Њаa": byte 0A
        rec("80010D00610064FFFFFFFFFFFFFF" "0281" "21FFFFFFFFFFFFFFFFFF" "FFFF"),  // UCS2 "čad": byte 0D
        rec("5661696E206E696D69FFFFFFFFFF" "FFFF" "FFFFFFFFFFFFFFFFFFFF" "FFFF"),  // name only, as phones keep it
        rec("4E696D69FFFFFFFFFFFFFFFFFFFF" "01FF" "FFFFFFFFFFFFFFFFFFFF" "FFFF"),  // name only, another way
        rec("50697463E4FFFFFFFFFFFFFFFFFF" "0B91" "21436587092143658709" "FF02"),  // number going on in EXT1
        rec("436170FFFFFFFFFFFFFFFFFFFFFF" "0281" "21FFFFFFFFFFFFFFFFFF" "05FF"),  // a capability record
        rec("46FFFFFFFFFFFFFFFFFFFFFFFFFF" "0481" "21F365FFFFFFFFFFFFFF" "FFFF"),  // digits after an F
        rec("546F6E35FFFFFFFFFFFFFFFFFFFF" "0205" "21FFFFFFFFFFFFFFFFFF" "FFFF"),  // TON 05
        rec("2A23FFFFFFFFFFFFFFFFFFFFFFFF" "0381" "A1B2FFFFFFFFFFFFFFFF" "FFFF"),  // "*" and "#" digits
        rec("526976690A7661696B746FFFFFFF" "0281" "21FFFFFFFFFFFFFFFFFF" "FFFF"),  // GSM name with a line feed
        rec("4CFFFFFFFFFFFFFFFFFFFFFFFFFF" "FE81" "21436587092143658709" "1234"),  // a length byte past the field
        std::string(28, '\xFF'),
    };
}

// Card -> memory -> file -> memory -> card, for a card full of awkward records.
TEST_F(FileFixture, WholeTripKeepsEveryRecordByteForByte)
{
    const std::vector<std::string> awkward = awkwardRecords();
    const int n = int(awkward.size()) - 1;
    const test::CardOptions options{.pin1Enabled = false};
    test::CardFixture source(options);
    for (int i = 1; i <= 100; ++i)
        source.card().setRecord(0x6F3A, i, i <= n ? awkward[std::size_t(i)] : std::string(28, '\xFF'));
    PhnBook_Click(source.app);
    ASSERT_EQ(source.app.phonebook.PBCount, 100);
    choose(source.screen, dir / "trip.phb");
    SavePB_Click(source.app);
    ASSERT_TRUE(source.screen.messageTexts().empty()) << source.screen.messageTexts()[0];

    // Back to the same card after a reset (so the write reads the card first), once as it was
    // and once with one entry edited: only that record changes, every other stays byte for byte.
    for (const bool edit : {false, true}) {
        SCOPED_TRACE(edit);
        resetointi(source.app);
        source.screen.clearTranscript();
        source.port.clearTrace();
        source.screen.messageAnswers = {Answer::Yes, Answer::Yes};  // replace the phonebook; open it anyway
        choose(source.screen, dir / "trip.phb");
        avaa(source.app);
        ASSERT_EQ(source.app.phonebook.PBCount, 100);
        EXPECT_TRUE(source.screen.messageTexts().at(1).starts_with(
            "Tiedostossa on 1 muistipaikka, jota ei voi kirjoittaa kortille sellaisenaan:\nrivi 13: nimessä on rivinvaihto"))  // record 3 holds a byte 0A
            << source.screen.messageTexts().at(1);
        if (edit)
            source.app.phonebook.PBEntry[20] = "Uusi/91/+358401";
        WritePB_Click(source.app);
        int updates = 0;
        for (const auto& t : source.port.trace())
            updates += t.kind == sim::TraceEntry::Kind::Command && t.command.size() > 1 && t.command[1] == '\xDC';
        EXPECT_EQ(updates, edit ? 1 : 0);
        for (int i = 1; i <= n; ++i)
            EXPECT_EQ(bytesToHex(source.adnRecord(i)), bytesToHex(awkward[std::size_t(i)])) << i;
        int warning = 0;
        EXPECT_EQ(source.adnRecord(20), edit ? EntryToRecord("Uusi/91/+358401", 28, warning) : std::string(28, '\xFF'));
    }

    // To another card the entries come across whole: every record reads back as the same entry
    // (what only the first card's bytes meant, such as an EXT1 link, stays with it), except the
    // name with a line break, which is not written.
    test::CardFixture other(options);
    other.card().description().files[std::size_t(other.card().description().findPath("2FE2"))].data =
        HexToBytes("98530821436587092144");
    choose(other.screen, dir / "trip.phb");
    avaa(other.app);
    WritePB_Click(other.app);
    const std::string ok("\x90\x00", 2);
    for (int i = 1; i <= n; ++i) {
        if (i == 12)
            EXPECT_EQ(other.adnRecord(i), test::CardFixture(options).adnRecord(i)) << "left as it was";
        else
            EXPECT_EQ(RecordToEntry(other.adnRecord(i) + ok), RecordToEntry(awkward[std::size_t(i)] + ok)) << i;
    }
    for (int i : {1, 2, 3, 4, 5, 10, 11})  // these are written exactly as the first card holds them
        EXPECT_EQ(other.adnRecord(i), awkward[std::size_t(i)]) << i;
}

}  // namespace
}  // namespace puolukka
