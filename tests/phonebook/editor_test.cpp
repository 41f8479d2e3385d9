#include "phonebook/editor.h"

#include <gtest/gtest.h>

#include "conversions/adn_codec.h"
#include "conversions/conversions.h"

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

std::string ff(std::size_t n) { return std::string(n, '\xFF'); }

// Entries as a card read leaves them: 28-byte records, 14-byte names.
const std::string kAiti = HexToBytes("5B697469") + ff(10) + "/81/0401234567";            // GSM "Äiti"
const std::string kMama = HexToBytes("8104089CB0BCB0") + ff(7) + "/91/+358501234567";   // UCS2 81 "Мама"
const std::string kLatin1 = "M\xE4kel\xE4" + ff(8) + "/81/050";                          // another tool's bytes

TEST(Editor, DisplayRowsNamesAndNumbers)
{
    EXPECT_EQ(displayRow(1, "Aino", "040"), "1.  Aino             040");
    EXPECT_EQ(displayRow(1000, "Hyvin pitkä nimi joka", "1"), "1000Hyvin pitkä nimi 1") << "characters, not bytes";
    EXPECT_EQ(fillEditorRows(book({"Ilman/"})).rows[0], "1.  Ilman            Ilman/");

    const std::string longName = "ABCDEFGHIJKLMNOPQRSTU\xFF\xFF";  // padding after the 20th character
    const Phonebook b = book({"Aino" + ff(10) + "/81/0401234567", "Tasan14merkkia/91/+358",
                              longName + "/81/1", "ilman kauttaviivaa", "x\xFF" "ei erotinta"});
    const EditorRows rows = fillEditorRows(b, NameView::Bytes);
    // Padding beyond 20 characters is shown; an entry without '/' has a name from the padding
    // within 20 characters, or else the row before lends its own.
    const std::string shown = "ABCDEFGHIJKLMNOPQRSTUÿÿ";
    EXPECT_EQ(rows.names, (Strings{"Aino", "Tasan14merkkia", shown, shown, "x"}));
    EXPECT_EQ(rows.numbers[0] + "|" + rows.numbers[1] + "|" + rows.numbers[3], "0401234567|+358|ilman kauttaviivaa");
    EXPECT_EQ(std::pair(rows.nameLen, rows.numStart), std::pair(-1, 1));
    EXPECT_EQ(nameLimitText(14), "Nimen maksimipituus 14 merkkiä");
}

TEST(Editor, NamesShowDecodedOrAsTheirBytes)
{
    const Phonebook b = book({kAiti, kMama, kLatin1, ff(14) + "/FF/", HexToBytes("80042F") + ff(11) + "/81/1",
                              "Koti/Ty|" + ff(6) + "/80/02"});
    const EditorRows decoded = fillEditorRows(b);
    EXPECT_EQ(decoded.names, (Strings{"Äiti", "Мама", "M\uFFFDkel\uFFFD", "", "Я", "Koti/Työ"}));
    EXPECT_EQ(decoded.rows[1], "2.  Мама             +358501234567");
    EXPECT_EQ(decoded.numbers[4] + "|" + decoded.numbers[5], "1|02") << "TON and number follow the last two \"/\"";
    EXPECT_EQ(fillEditorRows(b, NameView::Bytes).names,
              (Strings{"[iti", "\u0081\u0004\u0008\u009C°¼°", "Mäkelä", "", "\u0080\u0004/", "Koti/Ty|"}));
}

TEST(Editor, TheNameFieldTakesTheCardsNameLength)
{
    Phonebook b = book({"Ale/81/1", "Alexander Graham Bell/81/2", "Ilman erotinta"});
    EXPECT_EQ(nameFieldLength(b), 21) << "no card known: the longest name of the phonebook";
    b.CardRecLen = 28;
    EXPECT_EQ(nameFieldLength(b), 14);

    // name typed, status text
    const std::pair<const char*, const char*> rows[] = {
        {"Mäkelä", "Nimen maksimipituus 14 merkkiä (GSM), jäljellä 8"},
        {"Мама", "Nimen maksimipituus 11 merkkiä (UCS2), jäljellä 7"},
        {"Alexander Graham Bell", "Nimen maksimipituus 14 merkkiä (GSM), 7 liikaa"},
        {"\U0001F600", "Merkkiä \U0001F600 ei voi tallentaa SIM-kortille"},
    };
    for (const auto& [name, text] : rows)
        EXPECT_EQ(nameStatusText(name, 14, NameView::Decoded), text);
    EXPECT_EQ(nameStatusText("Mäkelä", 14, NameView::Bytes), "Nimen maksimipituus 14 merkkiä (tavuina), jäljellä 8");
}

// One edit: the entry before, what the dialog showed and held, the entry after (or the message).
struct EditCase {
    const char* what;
    std::string before;
    EntryEdit edit;
    int nameLength;
    std::string after;
};

TEST(Editor, AnEditStoresTheNameInTheRightFormAndLeavesUnchangedBytesAlone)
{
    const EditCase cases[] = {
        {"typed name in GSM", ff(14) + "/FF/", {"", "", "Mäkelä", "0401", NameView::Decoded}, 14,
         HexToBytes("4D7B6B656C7B") + ff(8) + "/80/0401"},
        {"typed name in UCS2", kAiti, {"Äiti", "0401234567", "Мама", "0401234567", NameView::Decoded}, 14,
         HexToBytes("8104089CB0BCB0") + ff(7) + "/81/0401234567"},
        {"unchanged", kMama, {"Мама", "+358501234567", "Мама", "+358501234567", NameView::Decoded}, 14, kMama},
        {"number only: the UCS2 name keeps its bytes", kMama, {"Мама", "+358501234567", "Мама", "0401", NameView::Decoded},
         14, HexToBytes("8104089CB0BCB0") + ff(7) + "/80/0401"},
        {"name only: TON A1 stays", "Vanha" + ff(9) + "/A1/123", {"Vanha", "123", "Uusi", "123", NameView::Decoded}, 14,
         "Uusi" + ff(10) + "/A1/123"},
        {"another tool's bytes stay when only the number changes", kLatin1,
         {"M\uFFFDkel\uFFFD", "050", "M\uFFFDkel\uFFFD", "0501", NameView::Decoded}, 14, "M\xE4kel\xE4" + ff(8) + "/80/0501"},
        {"bytes view types Latin-1 bytes", kAiti, {"[iti", "0401234567", "Äiti", "0401234567", NameView::Bytes}, 14,
         "\xC4iti" + ff(10) + "/81/0401234567"},
        {"an emptied name deletes", kAiti, {"Äiti", "0401234567", "", "0401234567", NameView::Decoded}, 14, ff(14) + "/FF/"},
        {"a name typed into an unused entry without a number: a name-only contact", ff(14) + "/FF/",
         {"", "", "Muistiin", "", NameView::Decoded}, 14, "Muistiin" + ff(6) + "/FF/"},
        {"names may hold \"/\"", kAiti, {"Äiti", "0401234567", "Koti/Työ", "0401234567", NameView::Decoded}, 14,
         "Koti/Ty|" + ff(6) + "/81/0401234567"},
        {"a UCS2 name may hold the byte 2F", kAiti, {"Äiti", "0401234567", "Я", "0401234567", NameView::Decoded}, 14,
         HexToBytes("80042F") + ff(11) + "/81/0401234567"},
        // A card with 14-byte records has no name field: the number alone decides.
        {"no name field: new number", "/81/0401234567", {"", "0401234567", "", "0509", NameView::Decoded}, 0, "/80/0509"},
        {"no name field: number cleared", "/81/0401234567", {"", "0401234567", "", "", NameView::Decoded}, 0, "/FF/"},
        {"a longer name from a file stays whole when only the number changes", "Alexander Graham Bell/81/1",
         {"Alexander Graham Bell", "1", "Alexander Graham Bell", "+3581", NameView::Decoded}, 14,
         "Alexander Graham Bell/91/+3581"},
    };
    for (const EditCase& c : cases) {
        Phonebook b = book({"Eka/81/1", c.before});
        std::string message;
        const EditResult result = storeEditedEntry(b, 2, c.edit, c.nameLength, &message);
        EXPECT_EQ(result, c.after == c.before ? EditResult::Unchanged : EditResult::Stored) << c.what << ": " << message;
        EXPECT_EQ(bytesToHex(b.PBEntry[2]), bytesToHex(c.after)) << c.what;
        EXPECT_EQ(b.PBEntry[1], "Eka/81/1") << c.what;
    }
}

TEST(Editor, WhatCannotBeStoredIsRefusedWithAReason)
{
    const std::tuple<EntryEdit, int, std::string> cases[] = {
        {{"Äiti", "0401234567", "Alexander Graham Bell", "0401234567", NameView::Decoded}, 14,
         "Nimi ei mahdu kortin nimikenttään (14 tavua): 7 merkkiä liikaa."},
        {{"Äiti", "0401234567", "Äiti", "040-123", NameView::Decoded}, 14,
         "Numerossa saa olla vain numeroita, *, # ja alussa + (enintään 20 numeroa)."},
        {{"Äiti", "0401234567", "Äiti \U0001F600", "0401234567", NameView::Decoded}, 14,
         "Merkkiä \U0001F600 ei voi tallentaa SIM-kortin nimeen."},
        {{"[iti", "0401234567", "Мама", "0401234567", NameView::Bytes}, 14, "Latin-1"},
        {{"Äiti", "0401234567", "A", "0401234567", NameView::Decoded}, 0, "(0 tavua): 1 merkkiä liikaa."},
    };
    for (const auto& [edit, nameLength, text] : cases) {
        Phonebook b = book({kAiti});
        std::string message;
        EXPECT_EQ(storeEditedEntry(b, 1, edit, nameLength, &message), EditResult::Refused) << text;
        EXPECT_NE(message.find(text), std::string::npos) << message;
        EXPECT_EQ(b.PBEntry[1], kAiti);
    }
    Phonebook b = book({kAiti});
    const EntryEdit edit{"Äiti", "0401234567", "X", "1", NameView::Decoded};
    EXPECT_EQ(storeEditedEntry(b, 2, edit, 14, nullptr), EditResult::Gone);
    EXPECT_EQ(storeEditedEntry(b, 0, edit, 14, nullptr), EditResult::Gone);
}

TEST(Editor, NumbersAndTheirTon)
{
    for (const auto& [number, ton] : {std::pair{"+358401", "91"}, {"0401", "80"}, {"00358", "81"}, {"", "81"}})
        EXPECT_EQ(tonForNumber(number), ton) << number;
    for (const char* good : {"", "+", "0123456789ABCDE*#", "+12345678901234567890"})
        EXPECT_TRUE(validNumber(good, nullptr)) << good;
    for (const char* bad : {"123456789012345678901", "040 123", "abc", "1+2", "++1"})
        EXPECT_FALSE(validNumber(bad, nullptr)) << bad;
}

TEST(Editor, CardNamesSurviveTheListUnchangedAndAnEditIsWrittenInTheRightForm)
{
    // Records of a 28-byte card: GSM, the three UCS2 forms, another tool's Latin-1, empty.
    const Strings records = {
        "5B697469FFFFFFFFFFFFFFFFFFFF" "06" "81" "0421436587FFFFFFFFFF" "FFFF",
        "80041C0430043C0430FFFFFFFFFF" "07" "91" "5308214365F7FFFFFFFF" "FFFF",
        "8104089CB0BCB0FFFFFFFFFFFFFF" "02" "81" "21FFFFFFFFFFFFFFFFFF" "FFFF",
        "820505302D82D32D31FFFFFFFFFF" "02" "81" "21FFFFFFFFFFFFFFFFFF" "FFFF",
        "4DE46B656CE4FFFFFFFFFFFFFFFF" "02" "81" "21FFFFFFFFFFFFFFFFFF" "FFFF",
        std::string(56, 'F'),
    };
    Phonebook b;
    for (const std::string& r : records)
        b.PBEntry.push_back(RecordToEntry(HexToBytes(r + "9000")));
    b.PBCount = int(records.size());
    b.CardRecLen = 28;
    const EditorRows rows = fillEditorRows(b);
    // Every row confirmed as shown changes nothing; the card gets its bytes back.
    for (int i = 1; i <= b.PBCount; ++i) {
        const auto k = std::size_t(i - 1);
        const EntryEdit same{rows.names[k], rows.numbers[k], rows.names[k], rows.numbers[k], NameView::Decoded};
        EXPECT_EQ(storeEditedEntry(b, i, same, nameFieldLength(b), nullptr), EditResult::Unchanged);
        int warning = 1;
        EXPECT_EQ(bytesToHex(EntryToRecord(b.PBEntry[std::size_t(i)], 28, warning)), records[k]) << rows.names[k];
    }
    EXPECT_EQ(rows.names[1], rows.names[2]) << "forms 80 and 81 of one name";
    // "Mäkelä" typed over the Latin-1 bytes goes to the card in GSM.
    const EntryEdit typed{rows.names[4], "12", "Mäkelä", "12", NameView::Decoded};
    ASSERT_EQ(storeEditedEntry(b, 5, typed, nameFieldLength(b), nullptr), EditResult::Stored);
    int warning = 1;
    EXPECT_EQ(bytesToHex(EntryToRecord(b.PBEntry[5], 28, warning)), "4D7B6B656C7BFFFFFFFFFFFFFFFF" "02" "81" "21" + std::string(22, 'F'));
}

}  // namespace
}  // namespace puolukka
