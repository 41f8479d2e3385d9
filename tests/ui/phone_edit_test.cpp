#include "ui_fixture.h"

namespace puolukka {
namespace {

const std::string kAino = "Aino" + std::string(10, '\xFF') + "/81/0401234567";

struct PhoneEditTest : test::AppTest<> {
    PhoneEditTest()
    {
        app.phonebook.PBEntry = {"", kAino, "\xC4iti" + std::string(10, '\xFF') + "/91/+358501234567",
                                 std::string(14, '\xFF') + "/FF/"};
        app.phonebook.PBCount = 3;
        PBEdit_Click(app, window, nullptr);
    }
    ~PhoneEditTest() override { delete window.data(), test::flushDeletes(); }
    QString row(int i) const { return window->list()->item(i)->text(); }
    EntryDialog* editRow(int i)
    {
        window->list()->setCurrentRow(i);
        window->findChild<QPushButton*>("Command1")->click();
        return window->entryDialog();
    }
    void press(QPushButton* button) { button->click(), test::flushDeletes(); }

    QPointer<PhoneEdit> window;
};

TEST_F(PhoneEditTest, ListsEveryEntryOnceAndHoldsTheTerminal)
{
    ASSERT_FALSE(window.isNull());
    EXPECT_TRUE(window->windowTitle() == "Luettelo" && !window->isModal());
    ASSERT_EQ(window->list()->count(), 3);
    EXPECT_EQ(row(0), "1.  Aino             0401234567");
    EXPECT_EQ(row(1), QString::fromLatin1("2.  \xC4iti             +358501234567"));
    EXPECT_EQ(row(2), "3.  " + QString(17, QChar(' ')));
    QStringList panels;
    for (QLabel* label : window->statusBar()->findChildren<QLabel*>())
        panels << label->text();
    EXPECT_TRUE(panels.contains(QString::fromUtf8("Nimen maksimipituus 14 merkkiä")));
    EXPECT_FALSE(screen.termEnabled);

    app.phonebook.PBEntry[1] = "Muutettu/81/1";  // a second click only brings the window forward: no refresh
    PhoneEdit* first = window;
    PBEdit_Click(app, window, nullptr);
    EXPECT_EQ(window.data(), first);
    EXPECT_TRUE(row(0).startsWith("1.  Aino"));
    press(window->findChild<QPushButton*>("PhneBkQuit"));  // closing gives the terminal back
    EXPECT_TRUE(window.isNull() && screen.termEnabled);

    app.phonebook.PBCount = 0;  // no phonebook: nothing opens
    PBEdit_Click(app, window, nullptr);
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(screen.messageTexts(),
              std::vector<std::string>{"Ei luetteloa muistissa. Avaa luettelo tai lue se SIM:ltä!"});
}

TEST_F(PhoneEditTest, TheDialogRefusesBadInputAndStoresExactlyOneEntryOrNothingOnCancel)
{
    EntryDialog* dialog = editRow(0);
    dialog->nameField()->setText("Muuta");
    EXPECT_EQ(editRow(2), dialog);  // a further edit refills the dialog
    EXPECT_EQ(dialog->windowTitle() + dialog->nameField()->text(), "Muistipaikka: 3");
    press(dialog->cancelButton());
    EXPECT_EQ(window->entryDialog(), nullptr);
    EXPECT_EQ(app.phonebook.PBEntry[1], kAino);
    ASSERT_NE(dialog = editRow(1), nullptr);
    EXPECT_TRUE(dialog->windowTitle() == "Muistipaikka: 2" && !dialog->isModal());
    EXPECT_EQ(dialog->nameField()->text() + "/" + dialog->numberField()->text(),
              QString::fromLatin1("\xC4iti/+358501234567"));
    EXPECT_EQ(dialog->nameField()->maxLength(), 14);
    const std::tuple<QString, QString, std::string> refused[] = {
        {"Äiti", "040-123", "Numerossa saa olla vain numeroita, *, # ja alussa + (enintään 20 numeroa)."},
        {"A/B", "1", "Nimessä ei voi olla merkkiä /."},
        {"Jüri €", "1", "Latin-1"},
    };
    for (const auto& [name, number, message] : refused) {
        dialog->nameField()->setText(name);
        dialog->numberField()->setText(number);
        press(dialog->okButton());
        EXPECT_NE(screen.messageTexts().back().find(message), std::string::npos) << message;
        EXPECT_TRUE(window->entryDialog() && dialog->isVisible());  // stays for a correction
    }
    dialog->nameField()->setText(QString::fromLatin1("M\xE4tti"));
    dialog->numberField()->setText("0401");
    press(dialog->okButton());
    EXPECT_EQ(window->entryDialog(), nullptr);
    const std::string matti = "M\xE4tti" + std::string(9, '\xFF') + "/80/0401";
    EXPECT_EQ(app.phonebook.PBEntry, (std::vector<std::string>{"", kAino, matti, std::string(14, '\xFF') + "/FF/"}));
    EXPECT_EQ(row(1), QString::fromLatin1("2.  M\xE4tti            0401"));
}

}  // namespace
}  // namespace puolukka
