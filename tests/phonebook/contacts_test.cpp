#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "conversions/conversions.h"
#include "conversions/name_codec.h"
#include "phonebook/contacts.h"
#include "phonebook/csv_contacts.h"
#include "phonebook/phone_number.h"
#include "phonebook/vcard.h"

namespace puolukka {
namespace {

using K = NumberKind;
using Contacts = std::vector<Contact>;

// The samples are also the fuzzers' seeds.
std::string sample(const std::string& name)
{
    std::ifstream in(std::filesystem::path(PUOLUKKA_SOURCE_DIR) / "fuzz/corpus" / name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ff(std::size_t n) { return std::string(n, '\xFF'); }

// An entry as the codec stores a name in a 14-byte name field.
std::string entry(const std::string& name, const std::string& ton, const std::string& number)
{
    return padName(encodeName(name).bytes, 14) + "/" + ton + "/" + number;
}

TEST(VCard, RealWorldSamplesOfEachVersion)
{
    const std::pair<const char*, Contacts> samples[] = {
        {"vcard/phone_21_qp_latin1.vcf",
         {{"Matti Mäkelä", {{"+358401234567", K::Mobile}, {"09 123 4567", K::Work}}},
          {"Äiti", {{"040-765 4321", K::Home}}}}},
        {"vcard/addressbook_30_folded.vcf",
         {{"Virtanen, Aino",
           {{"+358 50 123 4567", K::Mobile}, {"(09) 8765 432", K::Work}, {"09 111 2222", K::Home},
            {"0800 12345", K::None}, {"+46 70 123 45 67", K::None}}},
          {"Pekkanen Kalle", {{"040 1111111", K::Mobile}}}}},
        {"vcard/contacts_40.vcf",
         {{"Мама", {{"+358-40-555-0100", K::Mobile}, {"+358-9-555-0101;ext=12", K::Work}}},
          {"Taksi Oy", {{"0100-0700", K::None}}}}},
    };
    for (const auto& [file, expected] : samples)
        EXPECT_EQ(parseVCards(sample(file)), expected) << file;
}

// Little-endian UTF-16 with its byte order mark.
std::string utf16le(std::u16string_view text)
{
    std::string bytes = "\xFF\xFE";
    for (const char16_t c : text)
        bytes += {char(c & 0xFF), char(c >> 8)};
    return bytes;
}

TEST(VCard, OddButValidInput)
{
    const std::pair<std::string, Contacts> rows[] = {
        // N only: given, additional and family in that order; lists become blanks.
        {"BEGIN:VCARD\nN:Meikäläinen;Matti,Juhani;;Dr.;\nTEL:1\nEND:VCARD\n", {{"Matti Juhani Meikäläinen", {{"1", K::None}}}}},
        // Lower case, LF only, a nested AGENT card, escapes of 3.0, a card cut short.
        {"begin:vcard\nfn:A\\;B\\\\C\\nD\nAGENT:BEGIN:VCARD\nBEGIN:VCARD\nFN:Agentti\nEND:VCARD\ntel;type=fax:2\n"
         "END:VCARD\nBEGIN:VCARD\nFN:Kesken\n",
         {{"A;B\\C D", {{"2", K::Fax}}}, {"Kesken", {}}}},
        // Windows-1252 without a charset; a photo in base64 is skipped; a card with nothing is left out.
        {"BEGIN:VCARD\r\nFN:M\xE4kel\xE4 \x80\r\nPHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQ\r\nEND:VCARD\r\nBEGIN:VCARD\r\nEND:VCARD\r\n",
         {{"Mäkelä €", {}}}},
        // UTF-16 with a byte order mark, as some address books save.
        {utf16le(u"FN:Ма\n"), {}},
        {utf16le(u"BEGIN:VCARD\nFN:М\nEND:VCARD\n"), {{"М", {}}}},
    };
    for (const auto& [text, expected] : rows)
        EXPECT_EQ(parseVCards(text), expected) << text;
}

TEST(VCard, WritesEscapedFoldedVersion3ThatReadsBackTheSame)
{
    const Contacts contacts = {
        {"Äiti", {{"+358401234567", K::None}}},
        {"Virtanen, Aino; \"Aikku\" \\ koti", {{"0401", K::Mobile}, {"*100#", K::Work}}},
        {std::string(40, 'x') + "Мама" + std::string(40, 'y') + "€", {{"1", K::Home}}},
        {"Nimetön numero", {}},
    };
    const std::string text = writeVCards(contacts);
    EXPECT_TRUE(text.starts_with("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Äiti\r\nN:;Äiti;;;\r\nTEL:+358401234567\r\nEND:VCARD\r\n"));
    EXPECT_NE(text.find("FN:Virtanen\\, Aino\\; \"Aikku\" \\\\ koti\r\n"), std::string::npos);
    EXPECT_NE(text.find("TEL;TYPE=CELL:0401\r\nTEL;TYPE=WORK:*100#\r\n"), std::string::npos);
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find("\r\n", start);
        ASSERT_NE(end, std::string::npos);
        EXPECT_LE(end - start, 75u) << text.substr(start, end - start);
        EXPECT_NE(static_cast<unsigned char>(text[start]) & 0xC0, 0x80) << "a folded line starts inside a character";
        start = end + 2;
    }
    EXPECT_EQ(parseVCards(text), contacts);
}

TEST(Csv, RecordsAndDelimiters)
{
    using Records = std::vector<std::vector<std::string>>;
    EXPECT_EQ(parseCsvRecords("a,\"b,\"\"c\"\"\r\nd\"\r\n\r\n,\nx", ','),
              (Records{{"a", "b,\"c\"\r\nd"}, {"", ""}, {"x"}}));
    EXPECT_EQ(parseCsvRecords("a;b\rc;\"\"", ';'), (Records{{"a", "b"}, {"c", ""}}));
    EXPECT_EQ(parseCsvRecords("ab\"c\",d", ','), (Records{{"ab\"c\"", "d"}})) << "a stray quote is taken as it is";
    EXPECT_EQ(csvDelimiter("Nimi;Numero;\"a,b,c\"\n1,2,3,4"), ';');
    EXPECT_EQ(csvDelimiter("Nimi\tNumero\n"), '\t');
}

TEST(Csv, SpreadsheetAndAddressBookSamples)
{
    const std::pair<const char*, Contacts> samples[] = {
        {"csv/spreadsheet_semicolon_cp1252.csv",
         {{"Matti Meikäläinen", {{"040 123 4567", K::Mobile}, {"09 876 5432", K::Work}}},
          {"Liisa \"Lissu\" Virtanen", {{"+358 50 765 4321", K::Mobile}}},
          {"Kalle", {{"050 111 2222", K::Mobile}}}}},
        {"csv/addressbook_comma_utf8_bom.csv",
         {{"Äiti", {{"+358 40 111 2222", K::Mobile}, {"050 333 4444", K::Mobile}, {"09 555 6666", K::Home}}},
          {"Мама", {{"+7 912 345-67-89", K::Mobile}}},
          {"Sanna Laine", {{"0509876543", K::Work}}}}},
    };
    for (const auto& [file, expected] : samples) {
        const CsvContacts csv = parseCsvContacts(sample(file));
        EXPECT_TRUE(csv.ok) << file << ": " << csv.error;
        EXPECT_EQ(csv.contacts, expected) << file;
    }
    for (const char* bad : {"", "Nimi;Postinumero\nMatti;00100\n", "Asiakasnumero,Puhelin\n1,2\n"})
        EXPECT_FALSE(parseCsvContacts(bad).ok || parseCsvContacts(bad).error.empty()) << bad;
}

TEST(Csv, WritesRfc4180ThatReadsBackTheSame)
{
    const Contacts contacts = {{"Äiti", {{"+358401234567", K::None}}},
                               {"Virtanen, \"Aikku\"", {{"0401", K::None}}},
                               {"Kaksi; riviä", {{"1", K::None}}}};
    const std::string text = writeCsvContacts(contacts);
    EXPECT_EQ(text, "\xEF\xBB\xBFNimi,Numero\r\nÄiti,+358401234567\r\n\"Virtanen, \"\"Aikku\"\"\",0401\r\n"
                    "Kaksi; riviä,1\r\n");
    EXPECT_EQ(parseCsvContacts(text).contacts, contacts);
}

TEST(PhoneNumbers, NormalisedToWhatARecordHolds)
{
    // text, region, number, TON ("" = refused, the reason containing the last column)
    const std::tuple<const char*, const char*, const char*, const char*> rows[] = {
        {"+358 40 123 4567", "FI", "+358401234567", "91"},
        {"040-765 4321", "FI", "0407654321", "81"},
        {"00 46 70 123 45 67", "FI", "+46701234567", "91"},   // the international prefix counts as "+"
        {"358401234567", "FI", "0401234567", "81"},           // the home country code without "+"
        {"070 123 45 67", "SE", "0701234567", "81"},
        {"*100#", "FI", "*100#", "81"},
        {"+358-9-555-0101;ext=12", "FI", "", "muita merkkejä"},
        {"1-800-FLOWERS", "US", "", "muita merkkejä"},
        {"*1234567890123456789012#", "FI", "", "yli 20 numeroa"},
        {"+", "FI", "", "numeroa ei ole"},
        {"+00000", "FI", "", "ei voitu lukea"},
    };
    for (const auto& [text, region, number, tonOrReason] : rows) {
        const RecordNumber r = recordNumber(text, region);
        if (*number) {
            EXPECT_TRUE(r.ok) << text << ": " << r.reason;
            EXPECT_EQ(r.number + "/" + r.ton, std::string(number) + "/" + tonOrReason) << text;
        } else {
            EXPECT_FALSE(r.ok) << text;
            EXPECT_NE(r.reason.find(tonOrReason), std::string::npos) << text << ": " << r.reason;
        }
    }
}

TEST(ContactImport, EachNumberAnEntryMarkedByItsKindShortenedOnlyWithConsent)
{
    Contacts contacts = parseVCards(sample("vcard/phone_21_qp_latin1.vcf"));
    contacts.insert(contacts.end(), {{"Alexander Graham Bell", {{"+1 202 555 0100", K::None}}},
                                     {"Ei numeroa", {}},
                                     {"Hymiö \U0001F600", {{"040 1", K::None}}},
                                     {"Koti/Työ", {{"040 2", K::None}}},
                                     {"Мама", {{"tel", K::None}}}});
    ImportOptions options;
    const auto plan = planImport(contacts, options);
    ASSERT_EQ(plan.size(), 8u);
    const std::tuple<ImportStatus, std::string, std::string> expected[] = {
        {ImportStatus::TooLong, "Matti Mäkelä (mob)", "nimi ei mahdu kortille (4 merkkiä liikaa)"},
        {ImportStatus::TooLong, "Matti Mäkelä (työ)", "nimi ei mahdu kortille (4 merkkiä liikaa)"},
        {ImportStatus::Taken, "Äiti", ""},
        {ImportStatus::TooLong, "Alexander Graham Bell", "nimi ei mahdu kortille (7 merkkiä liikaa)"},
        {ImportStatus::Refused, "Ei numeroa", "ei puhelinnumeroa"},
        {ImportStatus::Refused, "Hymiö \U0001F600", "nimessä on merkki \U0001F600, jota SIM-kortille ei voi tallentaa"},
        {ImportStatus::Taken, "Koti/Työ", ""},  // the name may hold "/"
        {ImportStatus::Refused, "Мама", "numerossa on muita merkkejä kuin numeroita"},
    };
    for (std::size_t i = 0; i < plan.size(); ++i) {
        const auto& [status, name, reason] = expected[i];
        EXPECT_EQ(plan[i].status, status) << i;
        EXPECT_EQ(plan[i].name, name) << i;
        EXPECT_EQ(plan[i].reason, reason) << i;
    }
    EXPECT_EQ(plan[2].entry, HexToBytes("5B697469") + ff(10) + "/81/0407654321");

    options.shortenNames = true;
    const auto shortened = planImport(contacts, options);
    EXPECT_EQ(shortened[0].name + "|" + shortened[1].name + "|" + shortened[3].name,
              "Matti Mä (mob)|Matti Mä (työ)|Alexander Grah");
    EXPECT_EQ(shortened[1].entry, HexToBytes("4D61747469204D7B202874797C29") + "/81/091234567");
    EXPECT_EQ(shortened[3].entry, "Alexander Grah/91/+12025550100");
    options.nameLength = 6;  // no room for the marker: the name alone
    EXPECT_EQ(planImport(contacts, options)[0].name, "Matti");
    // A name of any length (a broken file) is shortened at once, its marker kept.
    options.nameLength = 14;
    const Contacts endless = {{"Matti " + std::string(300000, 'x'), {{"0401", K::Mobile}, {"0402", K::Work}}}};
    EXPECT_EQ(planImport(endless, options)[1].name, "Matti xx (työ)");
}

TEST(ContactImport, ReplaceOrFillTheFreePositionsAndSaySo)
{
    const Contacts contacts = {{"Uusi 1", {{"0401", K::None}}}, {"Uusi 2", {{"0402", K::None}}},
                               {"Uusi 3", {{"0403", K::None}}}, {"Hylätty", {{"x", K::None}}}};
    const ImportOptions options;
    Phonebook book;
    book.PBEntry = {"", entry("Vanha", "81", "1"), ff(14) + "/FF/", entry("Toinen", "81", "2"), ff(14) + "/FF/"};
    book.PBCount = 4;

    Phonebook filled = book;
    auto items = planImport(contacts, options);
    const ImportSummary fill = applyImport(filled, items, ImportMode::FillFree, options);
    EXPECT_EQ(filled.PBCount, 4);
    EXPECT_EQ(filled.PBEntry, (std::vector<std::string>{"", book.PBEntry[1], entry("Uusi 1", "81", "0401"),
                                                        book.PBEntry[3], entry("Uusi 2", "81", "0402")}));
    EXPECT_EQ(std::tuple(fill.taken, fill.shortened, fill.refused), std::tuple(2, 0, 2));
    EXPECT_EQ(items[2].status, ImportStatus::NoRoom);
    EXPECT_EQ(importSummaryText(fill, items),
              "Luetteloon otettiin 2 numeroa, lyhennettiin 0, pois jäi 2.\n\nPois jäivät:\n"
              "  Uusi 3, 0403: ei vapaata muistipaikkaa\n"
              "  Hylätty, x: numerossa on muita merkkejä kuin numeroita");

    Phonebook replaced = book;
    items = planImport(contacts, options);
    const ImportSummary replace = applyImport(replaced, items, ImportMode::Replace, options);
    EXPECT_EQ(replaced.PBEntry, (std::vector<std::string>{"", entry("Uusi 1", "81", "0401"), entry("Uusi 2", "81", "0402"),
                                                          entry("Uusi 3", "81", "0403"), ff(14) + "/FF/"}));
    EXPECT_EQ(std::tuple(replace.taken, replace.refused), std::tuple(3, 1));

    Phonebook empty;
    items = planImport(contacts, options);
    applyImport(empty, items, ImportMode::FillFree, options);  // nothing in memory: the entries are the phonebook
    EXPECT_EQ(empty.PBCount, 3);
}

TEST(ContactImport, ExportThenImportGivesTheSameEntries)
{
    Phonebook book;
    book.PBEntry = {"",
                    entry("Äiti", "81", "0401234567"),
                    entry("Мама", "91", "+79123456789"),
                    ff(14) + "/FF/",
                    entry("€uro {x}", "91", "+358401"),
                    entry("Sকদ", "81", "*100#"),
                    entry("Virtanen, Aino", "81", "091234567"),
                    entry("-Բփ-1", "91", "+37410123456")};
    book.PBCount = 7;
    const Contacts exported = phonebookContacts(book);
    EXPECT_EQ(exported.at(1), (Contact{"Мама", {{"+79123456789", K::None}}}));
    for (const bool csv : {false, true}) {
        const Contacts back = csv ? parseCsvContacts(writeCsvContacts(exported)).contacts : parseVCards(writeVCards(exported));
        ASSERT_EQ(back, exported) << csv;
        auto items = planImport(back, ImportOptions{});
        Phonebook imported;
        const ImportSummary summary = applyImport(imported, items, ImportMode::Replace, ImportOptions{});
        EXPECT_EQ(summary.taken, 6);
        std::vector<std::string> used;
        for (int i = 1; i <= book.PBCount; ++i)
            if (!isFreeEntry(book.PBEntry[std::size_t(i)]))
                used.push_back(book.PBEntry[std::size_t(i)]);
        EXPECT_EQ(std::vector<std::string>(imported.PBEntry.begin() + 1, imported.PBEntry.end()), used) << csv;
    }
}

}  // namespace
}  // namespace puolukka
