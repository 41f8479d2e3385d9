#include "ui_fixture.h"

#include "conversions/name_codec.h"
#include "phonebook/contact_files.h"
#include "phonebook/vcard.h"

namespace puolukka {
namespace {

const std::string kFree = std::string(14, '\xFF') + "/FF/";

std::string entry(const std::string& name, const std::string& ton, const std::string& number)
{
    return padName(encodeName(name).bytes, 14) + "/" + ton + "/" + number;
}

struct ContactsTest : test::AppTest<> {
    ContactsTest()
    {
        app.phonebook.PBEntry = {"", entry("Vanha", "81", "1"), kFree, entry("Toinen", "91", "+3582"), kFree, kFree};
        app.phonebook.PBCount = 5;
        app.phonebook.CardRecLen = 28;
    }
    FileChoice choose(const std::string& name) { return {false, (dir / name).string(), name}; }
    void write(const std::string& name, const std::string& bytes) { std::ofstream(dir / name, std::ios::binary) << bytes; }
    static std::string sample(const std::string& name)
    {
        return test::fileBytes(test::fs::path(PUOLUKKA_SOURCE_DIR) / "fuzz/corpus" / name);
    }
    QStringList previewLines(const ImportDialog& dialog) const
    {
        QStringList lines;
        for (int i = 0; i < dialog.preview()->count(); ++i)
            lines << dialog.preview()->item(i)->text();
        return lines;
    }
};

TEST_F(ContactsTest, ImportFillsTheFreePositionsWithTheUsersConsentToShorten)
{
    write("puhelin.vcf", sample("vcard/phone_21_qp_latin1.vcf"));
    screen.fileAnswers = {choose("puhelin.vcf")};
    QStringList before, after;
    QString counts;
    bool nameLengthLocked = false;
    TuoYhteystiedot_Click(app, nullptr, [&](ImportDialog& dialog) {
        nameLengthLocked = !dialog.nameLength()->isEnabled() && dialog.nameLength()->value() == 14;
        before = previewLines(dialog);
        dialog.shorten()->setChecked(true);
        after = previewLines(dialog);
        counts = dialog.counts()->text();
        return dialog.fillFree()->isChecked() && dialog.region()->currentData() == "FI";
    });
    EXPECT_TRUE(nameLengthLocked) << "the card's name length is known";
    EXPECT_EQ(before, (QStringList{
                          "Ei oteta: Matti Mäkelä, +358401234567 -> Matti Mäkelä (mob): nimi ei mahdu kortille (4 merkkiä liikaa)",
                          "Ei oteta: Matti Mäkelä, 09 123 4567 -> Matti Mäkelä (työ): nimi ei mahdu kortille (4 merkkiä liikaa)",
                          "Otetaan: Äiti, 040-765 4321: 0407654321",
                      }));
    EXPECT_EQ(after[0], "Lyhennetään: Matti Mäkelä, +358401234567 -> Matti Mä (mob): +358401234567 (lyhennetty)");
    EXPECT_EQ(counts, "Otetaan 3, joista lyhennetään 2; ei oteta 0.");
    const std::vector<std::string> expected = {"", app.phonebook.PBEntry[1], entry("Matti Mä (mob)", "91", "+358401234567"),
                                               app.phonebook.PBEntry[3], entry("Matti Mä (työ)", "81", "091234567"),
                                               entry("Äiti", "81", "0407654321")};
    EXPECT_EQ(app.phonebook.PBEntry, expected);
    ASSERT_EQ(screen.messageTexts().size(), 1u);
    EXPECT_TRUE(screen.messageTexts()[0].starts_with("Luetteloon otettiin 3 numeroa, lyhennettiin 2, pois jäi 0."));
    EXPECT_TRUE(screen.controls["WritePB"].enabled && screen.termEnabled);
}

TEST_F(ContactsTest, NothingChangesWithoutTheUsersYes)
{
    const std::vector<std::string> original = app.phonebook.PBEntry;
    write("a.vcf", sample("vcard/contacts_40.vcf"));
    write("bad.csv", "Nimi;Postinumero\nMatti;00100\n");
    // Cancel in the window, No to the replace question, a CSV without a number column, no file chosen.
    screen.fileAnswers = {choose("a.vcf"), choose("a.vcf"), choose("bad.csv"), FileChoice{}};
    screen.messageAnswers = {Answer::No};
    TuoYhteystiedot_Click(app, nullptr, [](ImportDialog&) { return false; });
    TuoYhteystiedot_Click(app, nullptr, [](ImportDialog& dialog) {
        dialog.replace()->setChecked(true);
        return true;
    });
    TuoYhteystiedot_Click(app, nullptr, [](ImportDialog&) { return true; });
    TuoYhteystiedot_Click(app, nullptr, [](ImportDialog&) { return true; });
    EXPECT_EQ(app.phonebook.PBEntry, original);
    const auto messages = screen.messageTexts();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], "Korvataanko muistissa oleva luettelo?");
    EXPECT_NE(messages[1].find("otsikkoriviltä ei löytynyt nimen ja numeron sarakkeita"), std::string::npos);
    EXPECT_NE(messages[1].find("Muistissa oleva luettelo säilyi ennallaan."), std::string::npos);
}

TEST_F(ContactsTest, ReplacingOrStartingANewPhonebookAsksForTheNameLength)
{
    write("kirja.csv", sample("csv/addressbook_comma_utf8_bom.csv"));
    screen.fileAnswers = {choose("kirja.csv"), choose("kirja.csv")};
    screen.messageAnswers = {Answer::Yes};
    TuoYhteystiedot_Click(app, nullptr, [](ImportDialog& dialog) {
        dialog.replace()->setChecked(true);
        return true;
    });
    EXPECT_EQ(app.phonebook.PBCount, 5) << "the positions of the card stay";
    EXPECT_EQ(app.phonebook.PBEntry[1], entry("Äiti (mob)", "91", "+358401112222"));
    EXPECT_EQ(app.phonebook.PBEntry[5], entry("Sanna Laine", "81", "0509876543"));

    Phonebook none;
    app.phonebook = none;  // nothing in memory, no card known: the user says how long names may be
    bool offered = false;
    TuoYhteystiedot_Click(app, nullptr, [&](ImportDialog& dialog) {
        offered = dialog.nameLength()->isEnabled() && dialog.nameLength()->value() == 14 &&
                  !dialog.fillFree()->isEnabled() && dialog.replace()->isChecked();
        dialog.nameLength()->setValue(6);
        dialog.shorten()->setChecked(true);
        return true;
    });
    EXPECT_TRUE(offered);
    ASSERT_EQ(app.phonebook.PBCount, 5);
    EXPECT_EQ(app.phonebook.PBEntry[5], padName(encodeName("Sanna").bytes, 6) + "/81/0509876543");
}

TEST_F(ContactsTest, ExportWritesEveryUsedEntryAsVCardOrCsv)
{
    app.phonebook.PBEntry[2] = entry("Äiti", "81", "0401234567");
    screen.fileAnswers = {choose("kaikki"), choose("kaikki.csv"), FileChoice{}};
    VieYhteystiedot_Click(app);
    VieYhteystiedot_Click(app);
    VieYhteystiedot_Click(app);
    EXPECT_EQ(parseVCards(test::fileBytes(dir / "kaikki.vcf")).size(), 3u);  // no extension typed: a vCard
    EXPECT_EQ(test::fileBytes(dir / "kaikki.csv"), "\xEF\xBB\xBFNimi,Numero\r\nVanha,1\r\nÄiti,0401234567\r\nToinen,+3582\r\n");
    EXPECT_EQ(screen.messageTexts(), (std::vector<std::string>{"3 yhteystietoa vietiin tiedostoon " + (dir / "kaikki.vcf").string() + ".",
                                                               "3 yhteystietoa vietiin tiedostoon " + (dir / "kaikki.csv").string() + "."}));

    screen.clearTranscript();
    app.phonebook.PBCount = 0;
    VieYhteystiedot_Click(app);
    EXPECT_EQ(screen.messageTexts(), std::vector<std::string>{"Ei luetteloa muistissa. Avaa luettelo tai lue se SIM:ltä!"});
    EXPECT_TRUE(screen.boxes("file").empty());
}

}  // namespace
}  // namespace puolukka
