#include "ui/phone_edit.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>

#include <gtest/gtest.h>

#include "app/app.h"
#include "scripted_port.h"
#include "scripted_screen.h"
#include "ui/entry_dialog.h"

namespace puolukka {
namespace {

struct PhoneEditTest : ::testing::Test {
    PhoneEditTest()
    {
        app.phonebook.PBEntry = {"", "Aino" + std::string(10, '\xFF') + "/81/0401234567",
                                 std::string("\xC4iti", 4) + std::string(10, '\xFF') + "/91/+358501234567",
                                 std::string(14, '\xFF') + "/FF/"};
        app.phonebook.PBCount = 3;
    }
    ~PhoneEditTest() override
    {
        delete window.data();
        QApplication::processEvents();
    }
    void open() { PBEdit_Click(app, window, nullptr); }
    QStringList rowTexts() const
    {
        QStringList texts;
        for (int i = 0; i < window->list()->count(); ++i)
            texts << window->list()->item(i)->text();
        return texts;
    }
    EntryDialog* editRow(int row)
    {
        window->list()->setCurrentRow(row);
        window->findChild<QPushButton*>("Command1")->click();
        return window->entryDialog();
    }

    VirtualClock clock;
    test::ScriptedScreen screen;
    test::ScriptedPort port{clock};
    App app{screen, clock, port};
    QPointer<PhoneEdit> window;
};

TEST_F(PhoneEditTest, NoPhonebookOpensNothing)
{
    app.phonebook.PBCount = 0;
    open();
    EXPECT_TRUE(window.isNull());
    ASSERT_EQ(screen.messageTexts().size(), 1u);
    EXPECT_EQ(screen.messageTexts()[0], "Ei luetteloa muistissa. Avaa luettelo tai lue se SIM:ltä!");
    EXPECT_EQ(screen.boxes("message")[0].title, "Puolukka");
    EXPECT_TRUE(screen.termEnabled);
}

TEST_F(PhoneEditTest, ListsEveryEntryOnceAndDisablesTheTerminal)
{
    open();
    ASSERT_FALSE(window.isNull());
    EXPECT_EQ(window->objectName(), "PhoneEdit");
    EXPECT_EQ(window->windowTitle(), "Luettelo");
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isModal());
    EXPECT_EQ(rowTexts(), (QStringList{"1.  Aino             0401234567",
                                       QString::fromLatin1("2.  \xC4iti             +358501234567"),
                                       "3.  " + QString(17, QChar(' '))}));
    EXPECT_TRUE(QFontInfo(window->list()->font()).fixedPitch());
    EXPECT_EQ(window->rows().nameLen, 14);
    EXPECT_EQ(window->namel(), 14);
    const auto labels = window->statusBar()->findChildren<QLabel*>();
    QStringList panelTexts;
    for (QLabel* l : labels)
        panelTexts << l->text();
    EXPECT_TRUE(panelTexts.contains(QString::fromUtf8("Nimen maksimipituus 14 merkkiä")));
    EXPECT_TRUE(panelTexts.contains("CAPS"));
    EXPECT_TRUE(panelTexts.contains("NUM"));
    EXPECT_EQ(window->list()->currentRow(), 0);
    EXPECT_FALSE(screen.termEnabled);
    EXPECT_EQ(window->findChild<QPushButton*>("PhneBkQuit")->text(), "&Sulje");

    // A second click only brings the open window forward: no refresh.
    app.phonebook.PBEntry[1] = "Muutettu/81/1";
    PhoneEdit* first = window;
    open();
    EXPECT_EQ(window.data(), first);
    EXPECT_TRUE(rowTexts()[0].startsWith("1.  Aino"));

    // Closing gives the terminal back; the next click fills a new window.
    window->findChild<QPushButton*>("PhneBkQuit")->click();
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(screen.termEnabled);
    EXPECT_EQ(app.phonebook.EditorOpen, 0);
}

TEST_F(PhoneEditTest, TheDialogEditsOneEntry)
{
    open();
    EntryDialog* dialog = editRow(1);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->objectName(), "muokkaa");
    EXPECT_EQ(dialog->windowTitle(), "Muistipaikka: 2");
    EXPECT_FALSE(dialog->isModal());
    EXPECT_EQ(dialog->nameField()->text(), QString::fromLatin1("\xC4iti"));
    EXPECT_EQ(dialog->numberField()->text(), "+358501234567");
    EXPECT_EQ(dialog->nameField()->maxLength(), 14);
    EXPECT_EQ(dialog->numberField()->maxLength(), 21);
    EXPECT_EQ(dialog->okButton()->text(), "&OK");
    EXPECT_EQ(dialog->cancelButton()->text(), "&Peruuta");

    // A bad number is refused and the dialog stays for a correction.
    dialog->numberField()->setText("040-123");
    dialog->okButton()->click();
    ASSERT_EQ(screen.messageTexts().size(), 1u);
    EXPECT_EQ(screen.messageTexts()[0], "Numerossa saa olla vain numeroita, *, # ja alussa + (enintään 20 numeroa).");
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(app.phonebook.PBEntry[2].substr(0, 4), "\xC4iti");

    dialog->nameField()->setText(QString::fromLatin1("M\xE4tti"));
    dialog->numberField()->setText("0401");
    dialog->okButton()->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(window->entryDialog(), nullptr);
    EXPECT_EQ(app.phonebook.PBEntry[2], std::string("M\xE4tti", 5) + std::string(9, '\xFF') + "/80/0401");
    EXPECT_EQ(app.phonebook.PBEntry[1], "Aino" + std::string(10, '\xFF') + "/81/0401234567");
    EXPECT_EQ(rowTexts()[1], QString::fromLatin1("2.  M\xE4tti            0401"));
}

TEST_F(PhoneEditTest, CancelChangesNothingAndAFurtherEditRefillsTheDialog)
{
    open();
    EntryDialog* dialog = editRow(0);
    dialog->nameField()->setText("Muuta");
    EntryDialog* again = editRow(2);
    EXPECT_EQ(again, dialog);
    EXPECT_EQ(dialog->windowTitle(), "Muistipaikka: 3");
    EXPECT_EQ(dialog->nameField()->text(), "");
    dialog->cancelButton()->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(window->entryDialog(), nullptr);
    EXPECT_EQ(app.phonebook.PBEntry[1], "Aino" + std::string(10, '\xFF') + "/81/0401234567");
    EXPECT_TRUE(rowTexts()[0].startsWith("1.  Aino"));
}

TEST_F(PhoneEditTest, NamesTakeOnlyOneByteCharactersAndNoSlash)
{
    open();
    EntryDialog* dialog = editRow(0);
    dialog->nameField()->setText("A/B");
    dialog->okButton()->click();
    EXPECT_EQ(screen.messageTexts().back(), "Nimessä ei voi olla merkkiä /.");
    dialog->nameField()->setText(QString::fromUtf8("Jüri €"));
    dialog->okButton()->click();
    EXPECT_NE(screen.messageTexts().back().find("Latin-1"), std::string::npos);
    EXPECT_EQ(app.phonebook.PBEntry[1], "Aino" + std::string(10, '\xFF') + "/81/0401234567");
}

}  // namespace
}  // namespace puolukka
