#include "phonebook/editor.h"

#include <gtest/gtest.h>

namespace puolukka {
namespace {

using Strings = std::vector<std::string>;

Phonebook book(const Strings& entries)
{
    Phonebook b;
    b.PBEntry.insert(b.PBEntry.end(), entries.begin(), entries.end());
    b.PBCount = int(entries.size());
    return b;
}

TEST(Editor, DisplayRowsNamesAndNumbers)
{
    EXPECT_EQ(displayRow(1, "Aino", "040"), "1.  Aino             040");
    EXPECT_EQ(displayRow(12, "", ""), "12. " + std::string(17, ' '));
    EXPECT_EQ(displayRow(1000, "Hyvin pitk\xE4 nimi joka", "1"), "1000Hyvin pitk\xE4 nimi 1");  // E4 is one character
    EXPECT_EQ(fillEditorRows(book({"Ilman/"})).rows[0], "1.  Ilman            Ilman/");

    const std::string longName = "ABCDEFGHIJKLMNOPQRSTU\xFF\xFF";  // padding after the 20th character
    const Phonebook b = book({"Aino" + std::string(10, '\xFF') + "/81/0401234567", "Tasan14merkkia/91/+358",
                              longName + "/81/1", "ilman kauttaviivaa", "x\xFF" "ei erotinta"});
    const EditorRows rows = fillEditorRows(b);
    // Padding beyond 20 characters is shown; an entry without '/' has a name from the padding
    // within 20 characters, or else the row before lends its own.
    EXPECT_EQ(rows.names, (Strings{"Aino", "Tasan14merkkia", longName, longName, "x"}));
    EXPECT_EQ(rows.numbers[0] + "|" + rows.numbers[1] + "|" + rows.numbers[3], "0401234567|+358|ilman kauttaviivaa");
    EXPECT_EQ(rows.rows[2].substr(4, 17), longName.substr(0, 17));
    EXPECT_EQ(std::pair(rows.nameLen, rows.numStart), std::pair(-1, 1));
    const EditorRows good = fillEditorRows(book({"Aino" + std::string(10, '\xFF') + "/81/0401234567"}));
    EXPECT_EQ(std::pair(good.nameLen, good.numStart), std::pair(14, 19));
    EXPECT_EQ(nameLimitText(good.nameLen), "Nimen maksimipituus 14 merkkiä");
    EXPECT_EQ(firstNameLength(b), 14);
}

TEST(Editor, StoresExactlyOneEntryPaddedToTheNameLength)
{
    for (const auto& [number, ton] : {std::pair{"+358401", "91"}, {"0401", "80"}, {"0", "80"}, {"00358", "81"},
                                      {"112", "81"}, {"", "81"}, {"*100#", "81"}})
        EXPECT_EQ(tonForNumber(number), ton) << number;
    Phonebook b = book({"A/81/1", "B/81/2", "C/81/3"});
    ASSERT_TRUE(storeEditedEntry(b, 2, "Uusi", "+35840", 8));
    ASSERT_TRUE(storeEditedEntry(b, 3, "", "0401", 4));  // an emptied name makes an unused entry
    EXPECT_EQ(b.PBEntry, (Strings{"", "A/81/1", "Uusi\xFF\xFF\xFF\xFF/91/+35840", "\xFF\xFF\xFF\xFF/FF/"}));
    EXPECT_EQ(editedEntry("", "1", 0), "/FF/");
    EXPECT_EQ(editedEntry("Pitkä nimi", "1", 4), "Pitkä nimi/81/1") << "a longer name is kept whole";
    EXPECT_FALSE(storeEditedEntry(b, 4, "X", "1", 4)) << "a position past the phonebook";
    EXPECT_FALSE(storeEditedEntry(b, 0, "X", "1", 4));
    EXPECT_EQ(b.PBEntry.size(), 4u);
}

TEST(Editor, NumbersAndNamesAreChecked)
{
    for (const char* good : {"", "+", "+35840123", "*100#", "0123456789ABCDE*#", "12345678901234567890", "+12345678901234567890"})
        EXPECT_TRUE(validNumber(good, nullptr)) << good;
    std::string message;
    for (const char* bad : {"123456789012345678901", "040 123", "+358-40", "abc", "1+2", "++1", "p12"}) {
        message.clear();
        EXPECT_FALSE(validNumber(bad, &message)) << bad;
        EXPECT_EQ(message, "Numerossa saa olla vain numeroita, *, # ja alussa + (enintään 20 numeroa).");
    }
    EXPECT_TRUE(validName("Äiti", nullptr));
    EXPECT_FALSE(validName("A/B", &message));
    EXPECT_EQ(message, "Nimessä ei voi olla merkkiä /.");
}

}  // namespace
}  // namespace puolukka
