#include "phonebook/phonebook_file.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "card_fixture.h"
#include "conversions/adn_codec.h"
#include "phonebook/card_transfer.h"
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
    EXPECT_TRUE(box.save);
    EXPECT_EQ(slurp(dir / "kirja.phb"), kPadded + "\r\n" + odd + "\r\n\r\n");
    EXPECT_TRUE(screen.messageTexts().empty());
    EXPECT_TRUE(screen.termEnabled);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << "no temporary left";
}

TEST_F(FileFixture, OpenReadsEveryLine)
{
    for (const auto& [content, entries] : std::vector<std::pair<std::string, Strings>>{
             {kPadded + "\r\nB\nx/81/1\r\nC/81/2\r\n", {kPadded, "B\nx/81/1", "C/81/2"}},  // a lone LF stays inside
             {kPadded + "\r\nB\nx/81/1\r\nC/81/2", {kPadded, "B\nx/81/1", "C/81/2"}},  // no line end at the end
             {"", {}},
             {"A/81/1\nB/81/2\n", {"A/81/1", "B/81/2"}}}) {  // LF only
        SCOPED_TRACE(content);
        app.phonebook = Phonebook{};
        screen.controls["WritePB"].enabled = false;
        put(dir / "a.phb", content);
        choose(screen, dir / "a.phb");
        avaa(app);
        EXPECT_EQ(Strings(app.phonebook.PBEntry.begin() + 1, app.phonebook.PBEntry.end()), entries);
        EXPECT_EQ(app.phonebook.PBCount, int(entries.size()));
        EXPECT_TRUE(screen.controls["WritePB"].enabled);
    }
    const auto box = screen.boxes("file").at(0);
    EXPECT_EQ(box.title + "|" + box.filter,
              "Avaa luettelo|luettelot (*.phb)|*.phb|Kaikki tiedostot (*.*)|*.*|Teksti (*.txt)|*.txt");
    EXPECT_FALSE(box.save);
}

TEST_F(FileFixture, ReplaceQuestionAndCancelKeepThePhonebook)
{
    load({"Old/81/1"});
    screen.messageAnswers.push_back(Answer::No);
    avaa(app);
    EXPECT_EQ(app.card.AnswerHex, "7");
    EXPECT_TRUE(screen.boxes("file").empty() && screen.termEnabled);
    avaa(app);  // Yes, then the dialog is cancelled
    EXPECT_EQ(app.card.AnswerHex, "6");
    EXPECT_TRUE(screen.controls["Term"].focused);
    EXPECT_EQ(app.phonebook.PBEntry, (Strings{"", "Old/81/1"}));
}

TEST_F(FileFixture, FailuresKeepThePhonebookAndTheEarlierFileAndSaySo)
{
    load({"Old/81/1", "Old2/81/2"});
    for (const fs::path& p : {dir / "missing.phb", dir}) {
        screen.clearTranscript();
        choose(screen, p);
        avaa(app);
        EXPECT_TRUE(screen.messageTexts().at(1).starts_with("Luetteloa ei voitu lukea tiedostosta " + p.string() + " ("));
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

// Card -> memory -> file -> memory -> card: every record comes back byte for
// byte; an edit in between changes exactly its own record.
TEST_F(FileFixture, WholeTripKeepsEveryRecord)
{
    const test::CardOptions options{.pin1Enabled = false};
    test::CardFixture source(options), target(options);
    PhnBook_Click(source.app);
    ASSERT_EQ(source.app.phonebook.PBCount, 100);
    choose(source.screen, dir / "trip.phb");
    SavePB_Click(source.app);

    for (int i = 1; i <= 100; ++i)
        target.card().setRecord(0x6F3A, i, std::string(28, '\x00'));
    choose(target.screen, dir / "trip.phb");
    avaa(target.app);
    ASSERT_EQ(target.app.phonebook.PBCount, 100);
    const EntryEdit edit{"", "", "Uusi", "+358401", NameView::Decoded};
    ASSERT_EQ(storeEditedEntry(target.app.phonebook, 7, edit, 14, nullptr), EditResult::Stored);
    WritePB_Click(target.app);

    int warning = 0;
    const std::string edited = EntryToRecord("Uusi" + std::string(10, '\xFF') + "/91/+358401", 28, warning);
    for (int i = 1; i <= 100; ++i)
        EXPECT_EQ(target.adnRecord(i), i == 7 ? edited : source.adnRecord(i)) << i;
    EXPECT_EQ(RecordToEntry(target.adnRecord(7) + std::string("\x90\x00", 2)), "Uusi" + std::string(10, '\xFF') + "/91/+358401");
}

}  // namespace
}  // namespace puolukka
