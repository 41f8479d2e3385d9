#include "ui_fixture.h"

#include "conversions/conversions.h"

namespace puolukka {
namespace {

const std::string kAino = "Aino" + std::string(10, '\xFF') + "/81/0401234567";
const std::string kAiti = "[iti" + std::string(10, '\xFF') + "/91/+358501234567";  // GSM "Äiti"
const std::string kMama = HexToBytes("8104089CB0BCB0") + std::string(7, '\xFF') + "/81/050";
const std::string kEmpty = std::string(14, '\xFF') + "/FF/";

struct PhoneEditTest : test::AppTest<> {
    PhoneEditTest() { load({kAino, kAiti, kMama, kEmpty}, 28); }
    ~PhoneEditTest() override { close(); }
    void close() { delete window.data(), test::flushDeletes(); }
    void load(const std::vector<std::string>& entries, int cardRecLen)
    {
        close();
        app.phonebook.PBEntry = {""};
        app.phonebook.PBEntry.insert(app.phonebook.PBEntry.end(), entries.begin(), entries.end());
        app.phonebook.PBCount = int(entries.size());
        app.phonebook.CardRecLen = cardRecLen;
        PBEdit_Click(app, window, nullptr);
    }
    QString row(int i) const { return window->list()->item(i)->text(); }
    QString status() const
    {
        QStringList panels;
        for (QLabel* label : window->statusBar()->findChildren<QLabel*>())
            panels << label->text();
        return panels.join("|");
    }
    EntryDialog* editRow(int i)
    {
        window->list()->setCurrentRow(i);
        window->findChild<QPushButton*>("Command1")->click();
        return window->entryDialog();
    }
    void press(QPushButton* button) { button->click(), test::flushDeletes(); }
    // Keys typed into a field, each through its validator.
    static void type(QLineEdit* field, const QString& text)
    {
        for (QChar c : text) {
            QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(field, &key);
        }
    }

    QPointer<PhoneEdit> window;
};

TEST_F(PhoneEditTest, ListsDecodedNamesOrTheirBytesAndHoldsTheTerminal)
{
    ASSERT_EQ(window->list()->count(), 4);
    EXPECT_EQ(row(0), "1.  Aino             0401234567");
    EXPECT_EQ(row(1), "2.  Äiti             +358501234567");
    EXPECT_EQ(row(2), "3.  Мама             050");
    EXPECT_TRUE(status().startsWith("Nimen maksimipituus 14 merkkiä|"));
    EXPECT_FALSE(screen.termEnabled);

    window->list()->setCurrentRow(2);
    window->showBytes()->setChecked(true);  // the bytes, one Latin-1 character each
    EXPECT_EQ(row(2), QString::fromLatin1("3.  \x81\x04\x08\x9C\xB0\xBC\xB0          050"));
    EXPECT_EQ(window->list()->currentRow(), 2);
    window->showBytes()->setChecked(false);
    EXPECT_EQ(row(1), "2.  Äiti             +358501234567");

    PhoneEdit* first = window;
    PBEdit_Click(app, window, nullptr);  // a second click brings the same window forward
    EXPECT_EQ(window.data(), first);
    press(window->findChild<QPushButton*>("PhneBkQuit"));  // closing gives the terminal back
    EXPECT_TRUE(window.isNull() && screen.termEnabled);

    app.phonebook.PBCount = 0;  // no phonebook: nothing opens
    PBEdit_Click(app, window, nullptr);
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(screen.messageTexts(),
              std::vector<std::string>{"Ei luetteloa muistissa. Avaa luettelo tai lue se SIM:ltä!"});
}

TEST_F(PhoneEditTest, TheDialogRefusesWhatCannotBeStoredAndStoresOneEntryOrNothingOnCancel)
{
    EntryDialog* dialog = editRow(0);
    dialog->nameField()->setText("Muuta");
    EXPECT_EQ(editRow(3), dialog);  // a further edit refills the dialog
    EXPECT_EQ(dialog->windowTitle() + dialog->nameField()->text(), "Muistipaikka: 4");
    press(dialog->cancelButton());
    EXPECT_EQ(window->entryDialog(), nullptr);
    EXPECT_EQ(app.phonebook.PBEntry[1], kAino);
    ASSERT_NE(dialog = editRow(1), nullptr);
    EXPECT_EQ(dialog->nameField()->text() + "/" + dialog->numberField()->text(), "Äiti/+358501234567");
    dialog->numberField()->setText("040-123");  // refused with its reason (the editor's own tests have them all)
    press(dialog->okButton());
    EXPECT_EQ(screen.messageTexts(),
              std::vector<std::string>{"Numerossa saa olla vain numeroita, *, # ja alussa + (enintään 20 numeroa)."});
    EXPECT_TRUE(window->entryDialog() && dialog->isVisible());  // stays for a correction
    dialog->nameField()->setText("Mäkelä");
    dialog->numberField()->setText("0401");
    press(dialog->okButton());
    EXPECT_EQ(window->entryDialog(), nullptr);
    const std::string makela = HexToBytes("4D7B6B656C7B") + std::string(8, '\xFF') + "/80/0401";
    EXPECT_EQ(app.phonebook.PBEntry, (std::vector<std::string>{"", kAino, makela, kMama, kEmpty}));
    EXPECT_EQ(row(1), "2.  Mäkelä           0401");
    EXPECT_TRUE(status().startsWith("Nimen maksimipituus 14 merkkiä|")) << "the limit again once the dialog is gone";
}

TEST_F(PhoneEditTest, TypingStopsAtTheCardsNameLengthInBytesAndTheStatusBarCounts)
{
    EntryDialog* dialog = editRow(2);
    EXPECT_TRUE(status().startsWith("Nimen maksimipituus 11 merkkiä (UCS2), jäljellä 7"));
    dialog->nameField()->selectAll();
    type(dialog->nameField(), "Mäkelä-Virtanen");  // GSM: 14 characters fit
    EXPECT_EQ(dialog->nameField()->text(), "Mäkelä-Virtane");
    EXPECT_TRUE(status().startsWith("Nimen maksimipituus 14 merkkiä (GSM), jäljellä 0"));
    dialog->nameField()->selectAll();
    type(dialog->nameField(), "ЯЯЯЯЯЯЯЯЯЯЯЯЯ");  // UCS2 form 81: 3 bytes and 11 characters
    EXPECT_EQ(dialog->nameField()->text().size(), 11);
    press(dialog->okButton());
    // Я is 042F: offset 2F in the half-page 0400.
    EXPECT_EQ(bytesToHex(app.phonebook.PBEntry[3]), "810B08AFAFAFAFAFAFAFAFAFAFAF" + bytesToHex("/81/050"));
}

TEST_F(PhoneEditTest, UnchangedEntriesStayAsTheyWereEvenWithoutANameField)
{
    load({"/81/0401234567", "/91/+35850"}, 14);
    EntryDialog* dialog = editRow(0);  // 14-byte records: OK on an unchanged entry keeps its number
    EXPECT_TRUE(status().startsWith("Nimen maksimipituus 0 merkkiä"));
    press(dialog->okButton());
    EXPECT_EQ(app.phonebook.PBEntry[1], "/81/0401234567");
    // A longer name from a file is shown whole, never cut to the field's length: the status says so.
    load({"Alexander Graham Bell/81/1", "Ale/81/2"}, 28);
    dialog = editRow(0);
    EXPECT_EQ(dialog->nameField()->text(), "Alexander Graham Bell");
    EXPECT_TRUE(status().contains("7 liikaa"));
    dialog->numberField()->setText("2");
    press(dialog->okButton());
    EXPECT_EQ(app.phonebook.PBEntry[1], "Alexander Graham Bell/81/2");
}

}  // namespace
}  // namespace puolukka
