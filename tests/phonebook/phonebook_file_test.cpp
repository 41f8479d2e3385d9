#include "phonebook/phonebook_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "card_fixture.h"
#include "scripted_port.h"

#include <unistd.h>
#include "conversions/adn_codec.h"
#include "phonebook/card_transfer.h"
#include "phonebook/editor.h"

namespace puolukka {
namespace {

namespace fs = std::filesystem;
using test::CardFixture;
using test::CardOptions;

struct FileFixture : ::testing::Test {
    FileFixture()
    {
        dir = fs::temp_directory_path() / ("puolukka_pb_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    ~FileFixture() override { fs::remove_all(dir); }

    static std::string slurp(const fs::path& p)
    {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static void put(const fs::path& p, const std::string& bytes)
    {
        std::ofstream out(p, std::ios::binary);
        out << bytes;
    }
    void choose(const fs::path& p) { screen.fileAnswers.push_back(FileChoice{false, p.string(), p.filename().string()}); }
    void load(const std::vector<std::string>& entries)
    {
        app.phonebook.PBEntry.assign(1, std::string());
        app.phonebook.PBEntry.insert(app.phonebook.PBEntry.end(), entries.begin(), entries.end());
        app.phonebook.PBCount = int(entries.size());
    }

    fs::path dir;
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
    choose(dir / "kirja.phb");
    SavePB_Click(app);
    const auto box = screen.boxes("file").at(0);
    EXPECT_EQ(box.title, "Tallenna luettelo");
    EXPECT_EQ(box.filter, "Luettelot (*.phb)|*.phb|Kaikki tiedostot (*.*)|*.*|Teksti (*.txt)|*.txt");
    EXPECT_TRUE(box.save);
    EXPECT_EQ(slurp(dir / "kirja.phb"), kPadded + "\r\n" + odd + "\r\n\r\n");
    EXPECT_TRUE(screen.messageTexts().empty());
    EXPECT_TRUE(screen.termEnabled);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << "no temporary left";
}

TEST_F(FileFixture, OpenReadsLinesWithOrWithoutTheLastLineEnd)
{
    for (const std::string& tail : {std::string("\r\n"), std::string()}) {
        put(dir / "a.phb", kPadded + "\r\nB\nx/81/1\r\n" + "C/81/2" + tail);
        app.phonebook = Phonebook{};
        choose(dir / "a.phb");
        avaa(app);
        ASSERT_EQ(app.phonebook.PBCount, 3);
        EXPECT_EQ(app.phonebook.PBEntry[1], kPadded);
        EXPECT_EQ(app.phonebook.PBEntry[2], "B\nx/81/1") << "a lone LF stays inside an entry";
        EXPECT_EQ(app.phonebook.PBEntry[3], "C/81/2");
        EXPECT_EQ(screen.controls["RinProc2"].text, " 3");
        EXPECT_TRUE(screen.controls["WritePB"].enabled);
    }
    const auto box = screen.boxes("file").at(0);
    EXPECT_EQ(box.title, "Avaa luettelo");
    EXPECT_EQ(box.filter, "luettelot (*.phb)|*.phb|Kaikki tiedostot (*.*)|*.*|Teksti (*.txt)|*.txt");
    EXPECT_FALSE(box.save);
}

TEST_F(FileFixture, OpenOfAnEmptyFileOrALfOnlyFile)
{
    put(dir / "empty.phb", "");
    choose(dir / "empty.phb");
    screen.controls["WritePB"].enabled = false;
    avaa(app);
    EXPECT_EQ(app.phonebook.PBCount, 0);
    EXPECT_TRUE(screen.controls["WritePB"].enabled);

    put(dir / "unix.txt", "A/81/1\nB/81/2\n");
    choose(dir / "unix.txt");
    avaa(app);
    ASSERT_EQ(app.phonebook.PBCount, 2);
    EXPECT_EQ(app.phonebook.PBEntry[2], "B/81/2");
}

TEST_F(FileFixture, ReplaceQuestionAndCancelKeepThePhonebook)
{
    load({"Old/81/1"});
    screen.messageAnswers.push_back(Answer::No);
    avaa(app);
    EXPECT_EQ(screen.messageTexts().at(0), "Korvataanko muistissa oleva luettelo?");
    EXPECT_EQ(app.card.AnswerHex, "7");
    EXPECT_TRUE(screen.boxes("file").empty());
    EXPECT_TRUE(screen.termEnabled);

    avaa(app);  // Yes, then the dialog is cancelled
    EXPECT_EQ(app.card.AnswerHex, "6");
    EXPECT_TRUE(screen.controls["Term"].focused);
    EXPECT_EQ(app.phonebook.PBEntry[1], "Old/81/1");
}

TEST_F(FileFixture, AFileThatCannotBeReadLeavesThePhonebookAsItWas)
{
    load({"Old/81/1", "Old2/81/2"});
    for (const fs::path& p : {dir / "missing.phb", dir}) {
        screen.clearTranscript();
        choose(p);
        avaa(app);
        const auto boxes = screen.boxes("message");
        ASSERT_EQ(boxes.size(), 2u) << p;
        EXPECT_NE(boxes[1].text.find("Luetteloa ei voitu lukea"), std::string::npos);
        EXPECT_EQ(boxes[1].icon, Icon::Exclamation);
        EXPECT_EQ(app.phonebook.PBCount, 2);
        EXPECT_EQ(app.phonebook.PBEntry[2], "Old2/81/2");
    }
}

TEST_F(FileFixture, AFailedSaveKeepsTheEarlierFileAndSaysSo)
{
    put(dir / "old.phb", "earlier\r\n");
    load({"New/81/1"});
    fs::create_directories(dir / "sub");
    for (const fs::path& target : {dir / "no_such_dir" / "x.phb", dir / "sub"}) {
        screen.clearTranscript();
        choose(target);
        SavePB_Click(app);
        ASSERT_EQ(screen.messageTexts().size(), 1u) << target;
        EXPECT_NE(screen.messageTexts()[0].find("Luetteloa ei voitu tallentaa"), std::string::npos);
        EXPECT_EQ(screen.boxes("message")[0].title, "Puolukka");
    }
    EXPECT_TRUE(fs::is_directory(dir / "sub"));
    EXPECT_TRUE(fs::is_empty(dir / "sub"));
    EXPECT_EQ(slurp(dir / "old.phb"), "earlier\r\n");
    choose(dir / "old.phb");
    SavePB_Click(app);
    EXPECT_EQ(slurp(dir / "old.phb"), "New/81/1\r\n");
}

TEST_F(FileFixture, NothingToSave)
{
    SavePB_Click(app);
    ASSERT_EQ(screen.boxes("message").size(), 1u);
    EXPECT_EQ(screen.boxes("message")[0].text, "Ei tallennettavaa luetteloa muistissa!");
    EXPECT_EQ(screen.boxes("message")[0].icon, Icon::Exclamation);
    EXPECT_TRUE(screen.boxes("file").empty());
}

// Card -> memory -> file -> memory -> card: every record comes back byte for
// byte; an edit in between changes exactly its own record.
TEST_F(FileFixture, WholeTripKeepsEveryRecord)
{
    CardOptions options;
    options.pin1Enabled = false;
    CardFixture source(options);
    PhnBook_Click(source.app);
    ASSERT_EQ(source.app.phonebook.PBCount, 100);
    source.screen.fileAnswers.push_back(FileChoice{false, (dir / "trip.phb").string(), "trip.phb"});
    SavePB_Click(source.app);

    CardFixture target(options);
    for (int i = 1; i <= 100; ++i)
        target.card().setRecord(0x6F3A, i, std::string(28, '\x00'));
    target.screen.fileAnswers.push_back(FileChoice{false, (dir / "trip.phb").string(), "trip.phb"});
    avaa(target.app);
    ASSERT_EQ(target.app.phonebook.PBCount, 100);
    ASSERT_TRUE(storeEditedEntry(target.app.phonebook, 7, "Uusi", "+358401", 14));
    WritePB_Click(target.app);

    for (int i = 1; i <= 100; ++i) {
        if (i == 7)
            continue;
        EXPECT_EQ(target.adnRecord(i), source.adnRecord(i)) << i;
    }
    int warning = 0;
    EXPECT_EQ(target.adnRecord(7), EntryToRecord(editedEntry("Uusi", "+358401", 14), 28, warning));
    EXPECT_EQ(RecordToEntry(target.adnRecord(7) + std::string("\x90\x00", 2)),
              std::string("Uusi") + std::string(10, '\xFF') + "/91/+358401");
}

}  // namespace
}  // namespace puolukka
