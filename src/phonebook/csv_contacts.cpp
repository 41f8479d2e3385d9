#include "phonebook/csv_contacts.h"

#include <algorithm>
#include <cctype>

#include "conversions/text_encoding.h"

namespace puolukka {

namespace {

// Header words, lower case. A column whose label is one of these whole is a
// name column; a number column has one of kPhoneWords among its words (or is
// "numero"/"number" alone, so that "Postinumero" or "Customer Number" is not).
const char* const kFullName[] = {"nimi", "name", "full name", "display name", "formatted name", "koko nimi",
                                 "näyttönimi", "fn", "yhteystieto", "contact", "contact name"};
const char* const kGivenName[] = {"etunimi", "first name", "given name"};
const char* const kMiddleName[] = {"toinen nimi", "middle name", "additional name"};
const char* const kFamilyName[] = {"sukunimi", "last name", "family name", "surname"};
const char* const kPhoneWords[] = {"phone", "telephone", "tel", "puh", "puhelin", "puhelinnumero", "mobile", "cell",
                                   "gsm", "matkapuhelin", "matkapuh", "kännykkä", "fax", "faksi", "iphone"};
const char* const kNumberAlone[] = {"numero", "number", "nro"};
// A column beside a number column that tells its kind ("Phone 1 - Type").
const char* const kKindWords[] = {"type", "tyyppi", "label", "laji"};

// The label in lower case with single blanks; its words split at anything
// that is neither a letter nor a digit.
std::string label(std::string_view text)
{
    std::string out;
    for (char c : lowerCase(cleanContactText(text))) {
        if (c == ' ' && (out.empty() || out.back() == ' '))
            continue;
        out += c;
    }
    return out;
}

std::vector<std::string> words(const std::string& label)
{
    std::vector<std::string> result(1);
    for (char c : label) {
        const auto b = static_cast<unsigned char>(c);
        if (std::isalnum(b) || b >= 0x80)
            result.back() += c;
        else if (!result.back().empty())
            result.emplace_back();
    }
    if (result.back().empty())
        result.pop_back();
    return result;
}

template <std::size_t N>
bool isOneOf(const std::string& text, const char* const (&list)[N])
{
    return std::any_of(std::begin(list), std::end(list), [&](const char* w) { return text == w; });
}

template <std::size_t N>
bool hasWordOf(const std::vector<std::string>& ws, const char* const (&list)[N])
{
    return std::any_of(ws.begin(), ws.end(), [&](const std::string& w) { return isOneOf(w, list); });
}

// Finnish joins words: "työpuhelin", "kotipuhelin", "työfaksi".
bool isPhoneWord(const std::string& word)
{
    return isOneOf(word, kPhoneWords) || word.ends_with("puhelin") || word.ends_with("faksi");
}

struct NumberColumn {
    std::size_t index;
    NumberKind kind;                 // from the label
    std::size_t kindColumn = SIZE_MAX;  // a column whose text gives each row's kind
};

struct Columns {
    std::size_t full = SIZE_MAX, given = SIZE_MAX, middle = SIZE_MAX, family = SIZE_MAX;
    std::vector<NumberColumn> numbers;
    bool hasName() const { return full != SIZE_MAX || given != SIZE_MAX || family != SIZE_MAX; }
};

Columns findColumns(const std::vector<std::string>& header)
{
    Columns c;
    std::vector<std::string> labels;
    for (const std::string& h : header)
        labels.push_back(label(h));
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const std::string& l = labels[i];
        const std::vector<std::string> ws = words(l);
        auto first = [&](std::size_t& slot) {
            if (slot == SIZE_MAX)
                slot = i;
        };
        if (isOneOf(l, kFullName))
            first(c.full);
        else if (isOneOf(l, kGivenName))
            first(c.given);
        else if (isOneOf(l, kMiddleName))
            first(c.middle);
        else if (isOneOf(l, kFamilyName))
            first(c.family);
        else if (!hasWordOf(ws, kKindWords)
                 && (std::any_of(ws.begin(), ws.end(), isPhoneWord) || (ws.size() == 1 && isOneOf(ws[0], kNumberAlone))))
            c.numbers.push_back({i, kindFromLabel(l)});
    }
    // "Phone 1 - Value" takes each row's kind from "Phone 1 - Type".
    for (NumberColumn& n : c.numbers) {
        const std::string& l = labels[n.index];
        const auto dash = l.rfind(" - ");
        if (dash == std::string::npos)
            continue;
        for (std::size_t i = 0; i < labels.size(); ++i)
            if (labels[i].starts_with(l.substr(0, dash + 3)) && hasWordOf(words(labels[i].substr(dash + 3)), kKindWords))
                n.kindColumn = i;
    }
    return c;
}

std::string field(const std::vector<std::string>& row, std::size_t index)
{
    return index < row.size() ? cleanContactText(row[index]) : std::string();
}

std::string quoted(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos && !text.starts_with(" ") && !text.ends_with(" "))
        return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

}  // namespace

char csvDelimiter(std::string_view text)
{
    int commas = 0, semicolons = 0, tabs = 0;
    bool quoted = false;
    for (char c : text) {
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && (c == '\r' || c == '\n'))
            break;
        else if (!quoted)
            commas += c == ',', semicolons += c == ';', tabs += c == '\t';
    }
    if (semicolons > commas && semicolons >= tabs)
        return ';';
    if (tabs > commas && tabs > semicolons)
        return '\t';
    return ',';
}

std::vector<std::vector<std::string>> parseCsvRecords(std::string_view text, char delimiter)
{
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> record;
    std::string fieldText;
    bool inQuotes = false;
    bool fieldStarted = false;  // the current record has a character (or a delimiter)
    auto endField = [&] {
        record.push_back(std::move(fieldText));
        fieldText.clear();
    };
    auto endRecord = [&] {
        endField();
        records.push_back(std::move(record));
        record.clear();
        fieldStarted = false;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inQuotes) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                fieldText += '"';
                ++i;
            } else if (c == '"') {
                inQuotes = false;
            } else {
                fieldText += c;
            }
            continue;
        }
        if (c == '"' && fieldText.empty()) {
            inQuotes = true;
            fieldStarted = true;
        } else if (c == delimiter) {
            endField();
            fieldStarted = true;
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            if (fieldStarted || !fieldText.empty())
                endRecord();
            else
                record.clear();  // an empty line
        } else {
            fieldText += c;  // a stray quote inside an unquoted field is taken as it is
            fieldStarted = true;
        }
    }
    if (fieldStarted || !fieldText.empty() || !record.empty())
        endRecord();
    return records;
}

CsvContacts parseCsvContacts(std::string_view fileBytes)
{
    CsvContacts result;
    const std::string text = textFileToUtf8(fileBytes);
    const auto records = parseCsvRecords(text, csvDelimiter(text));
    if (records.empty()) {
        result.error = "tiedosto on tyhjä";
        return result;
    }
    const Columns columns = findColumns(records[0]);
    if (!columns.hasName() || columns.numbers.empty()) {
        result.error = "otsikkoriviltä ei löytynyt nimen ja numeron sarakkeita (esimerkiksi \"Nimi\" ja \"Numero\")";
        return result;
    }
    for (std::size_t r = 1; r < records.size(); ++r) {
        const auto& row = records[r];
        Contact contact;
        contact.name = field(row, columns.full);
        if (contact.name.empty()) {
            for (std::size_t index : {columns.given, columns.middle, columns.family}) {
                const std::string part = field(row, index);
                if (!part.empty())
                    contact.name += (contact.name.empty() ? "" : " ") + part;
            }
        }
        for (const NumberColumn& column : columns.numbers) {
            NumberKind kind = column.kind;
            if (const NumberKind k = kindFromLabel(field(row, column.kindColumn)); k != NumberKind::None)
                kind = k;
            // Address books put several numbers of one kind in one field: "040 1 ::: 050 2".
            const std::string cell = column.index < row.size() ? row[column.index] : std::string();
            std::size_t start = 0;
            while (start <= cell.size()) {
                const auto end = std::min(cell.find(":::", start), cell.size());
                const std::string number = cleanContactText(std::string_view(cell).substr(start, end - start));
                if (!number.empty())
                    contact.numbers.push_back({number, kind});
                start = end + 3;
            }
        }
        if (!contact.name.empty() || !contact.numbers.empty())
            result.contacts.push_back(std::move(contact));
    }
    result.ok = true;
    return result;
}

std::string writeCsvContacts(const std::vector<Contact>& contacts)
{
    std::string out = "\xEF\xBB\xBF" "Nimi,Numero\r\n";
    for (const Contact& contact : contacts) {
        for (const ContactNumber& number : contact.numbers)
            out += quoted(contact.name) + "," + quoted(number.text) + "\r\n";
        if (contact.numbers.empty())
            out += quoted(contact.name) + ",\r\n";
    }
    return out;
}

}  // namespace puolukka
