#include "phonebook/contacts.h"

#include <algorithm>

#include "conversions/adn_codec.h"
#include "conversions/name_codec.h"
#include "conversions/text_encoding.h"
#include "phonebook/editor.h"
#include "phonebook/phone_number.h"

namespace puolukka {

namespace {

// Words that name a kind of number, in address books' and spreadsheets' own
// words; a label naming several kinds takes the first row that matches.
struct KindWords {
    NumberKind kind;
    const char* marker;
    std::initializer_list<const char*> words;  // lower case, matched inside the label
};
const KindWords kKinds[] = {
    {NumberKind::Fax, "faksi", {"fax", "faksi"}},
    {NumberKind::Pager, "hakulaite", {"pager", "hakulaite"}},
    {NumberKind::Mobile, "mob", {"cell", "mobile", "iphone", "matkapuh", "gsm", "kännykkä", "känny"}},
    {NumberKind::Work, "työ", {"work", "business", "company", "työ"}},
    {NumberKind::Home, "koti", {"home", "koti"}},
};

std::string ellipsisList(const std::vector<std::string>& lines, std::size_t shown)
{
    std::string text;
    for (std::size_t i = 0; i < lines.size() && i < shown; ++i)
        text += "\n  " + lines[i];
    if (lines.size() > shown)
        text += "\n  ... ja " + std::to_string(lines.size() - shown) + " muuta";
    return text;
}

// The name with its marker shortened to fit: the marker stays while the name
// before it keeps a character; otherwise the name alone is shortened.
std::string shortenMarked(const std::string& base, const std::string& marker, int capacity)
{
    if (!marker.empty()) {
        std::u32string chars = utf8ToCodePoints(base);
        keepAtMost(chars, capacity);
        while (!chars.empty()) {
            chars.pop_back();
            while (!chars.empty() && chars.back() == U' ')
                chars.pop_back();
            if (chars.empty())
                break;
            const std::string candidate = codePointsToUtf8(chars) + marker;
            if (fitName(candidate, capacity).fits)
                return candidate;
        }
    }
    return shortenName(base, capacity);
}

constexpr std::size_t kListedLines = 10;

}  // namespace

NumberKind kindFromLabel(std::string_view label)
{
    const std::string text = lowerCase(label);
    for (const KindWords& row : kKinds)
        for (const char* word : row.words)
            if (text.find(word) != std::string::npos)
                return row.kind;
    return NumberKind::None;
}

const char* kindMarker(NumberKind kind)
{
    for (const KindWords& row : kKinds)
        if (row.kind == kind)
            return row.marker;
    return "";
}

std::string cleanContactText(std::string_view text)
{
    std::u32string chars = utf8ToCodePoints(text);
    for (char32_t& c : chars)
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == 0x2028 || c == 0x2029)
            c = U' ';
    const auto first = chars.find_first_not_of(U' ');
    if (first == std::u32string::npos)
        return {};
    const auto last = chars.find_last_not_of(U' ');
    return codePointsToUtf8(std::u32string_view(chars).substr(first, last - first + 1));
}

bool isFreeEntry(const std::string& entry)
{
    const EntryFields fields = splitEntry(entry);
    return fields.separators == 2 && tonValue(fields.ton) == 0xFF && unpaddedName(fields.name).empty();
}

std::vector<Contact> phonebookContacts(const Phonebook& book)
{
    std::vector<Contact> contacts;
    for (int i = 1; i <= book.PBCount && i < int(book.PBEntry.size()); ++i) {
        const std::string& entry = book.PBEntry[std::size_t(i)];
        const EntryFields fields = splitEntry(entry);
        if (fields.separators < 2 || isFreeEntry(entry))
            continue;
        Contact c;  // a name-only contact (TON FF) has no number
        c.name = cleanContactText(decodeName(fields.name).text);
        const std::string number = latin1ToUtf8(fields.number);
        if (!number.empty())
            c.numbers.push_back({number, NumberKind::None});
        if (!c.name.empty() || !c.numbers.empty())
            contacts.push_back(std::move(c));
    }
    return contacts;
}

std::vector<ImportItem> planImport(const std::vector<Contact>& contacts, const ImportOptions& options)
{
    std::vector<ImportItem> items;
    for (const Contact& contact : contacts) {
        if (contact.numbers.empty()) {
            ImportItem item;
            item.sourceName = item.name = contact.name;
            item.reason = "ei puhelinnumeroa";
            items.push_back(item);
            continue;
        }
        for (const ContactNumber& number : contact.numbers) {
            ImportItem item;
            item.sourceName = contact.name;
            item.sourceNumber = number.text;
            const std::string marker = contact.numbers.size() > 1 && number.kind != NumberKind::None
                                           ? (contact.name.empty() ? "(" : " (") + std::string(kindMarker(number.kind)) + ")"
                                           : std::string();
            item.name = contact.name + marker;
            const RecordNumber dialled = recordNumber(number.text, options.region);
            if (!dialled.ok) {
                item.reason = dialled.reason;
                items.push_back(item);
                continue;
            }
            item.number = dialled.number;
            item.ton = dialled.ton;

            NameFit fit = fitName(item.name, options.nameLength);
            if (!fit.name.encodable) {
                std::string c;
                appendUtf8(c, fit.name.unencodable);
                item.reason = "nimessä on merkki " + c + ", jota SIM-kortille ei voi tallentaa";
                items.push_back(item);
                continue;
            }
            item.status = ImportStatus::Taken;
            if (!fit.fits) {
                item.status = ImportStatus::TooLong;
                item.reason = "nimi ei mahdu kortille (" + std::to_string(-fit.left) + " merkkiä liikaa)";
                if (options.shortenNames) {
                    item.name = shortenMarked(contact.name, marker, options.nameLength);
                    fit = fitName(item.name, options.nameLength);
                    item.status = ImportStatus::Shortened;
                    item.reason.clear();
                }
            }
            if (item.status == ImportStatus::Taken || item.status == ImportStatus::Shortened)
                item.entry = padName(fit.name.bytes, options.nameLength) + "/" + item.ton + "/" + item.number;
            items.push_back(item);
        }
    }
    return items;
}

ImportSummary applyImport(Phonebook& book, std::vector<ImportItem>& items, ImportMode mode,
                          const ImportOptions& options)
{
    ImportSummary summary;
    std::vector<ImportItem*> storable;
    for (ImportItem& item : items) {
        if (item.status == ImportStatus::Taken || item.status == ImportStatus::Shortened)
            storable.push_back(&item);
        else
            ++summary.refused;
    }
    const std::string unused = std::string(std::size_t(std::max(options.nameLength, 0)), kPaddingChar) + "/FF/";

    std::vector<int> positions;
    if (mode == ImportMode::Replace || book.PBCount == 0) {
        const int count = std::max(book.PBCount, int(storable.size()));
        book.PBEntry.assign(std::size_t(count) + 1, unused);
        book.PBEntry[0].clear();
        book.PBCount = count;
        for (int i = 1; i <= int(storable.size()); ++i)
            positions.push_back(i);
    } else {
        book.PBEntry.resize(std::max(book.PBEntry.size(), std::size_t(book.PBCount) + 1));
        for (int i = 1; i <= book.PBCount; ++i)
            if (isFreeEntry(book.PBEntry[std::size_t(i)]))
                positions.push_back(i);
    }

    std::size_t next = 0;
    for (ImportItem* item : storable) {
        if (next >= positions.size()) {
            item->status = ImportStatus::NoRoom;
            item->reason = "ei vapaata muistipaikkaa";
            ++summary.refused;
            continue;
        }
        item->position = positions[next++];
        book.PBEntry[std::size_t(item->position)] = item->entry;
        ++summary.taken;
        if (item->status == ImportStatus::Shortened)
            ++summary.shortened;
    }
    if (summary.taken > 0)
        book.Changed = true;  // in memory only, until it is saved or written
    return summary;
}

std::string importItemText(const ImportItem& item)
{
    std::string text = item.sourceName.empty() ? "(nimetön)" : item.sourceName;
    if (!item.sourceNumber.empty())
        text += ", " + item.sourceNumber;
    switch (item.status) {
    case ImportStatus::Taken:
        return text + (item.name != item.sourceName ? " -> " + item.name : std::string()) + ": " + item.number;
    case ImportStatus::Shortened:
        return text + " -> " + item.name + ": " + item.number + " (lyhennetty)";
    case ImportStatus::TooLong:
        return text + (item.name != item.sourceName ? " -> " + item.name : std::string()) + ": " + item.reason;
    default:
        return text + ": " + item.reason;
    }
}

std::string importSummaryText(const ImportSummary& summary, const std::vector<ImportItem>& items)
{
    std::vector<std::string> shortened;
    std::vector<std::string> refused;
    for (const ImportItem& item : items) {
        if (item.status == ImportStatus::Shortened && item.position > 0)
            shortened.push_back(importItemText(item));
        else if (item.status != ImportStatus::Taken && item.status != ImportStatus::Shortened)
            refused.push_back(importItemText(item));
    }
    // Finnish counts one "numero" but two "numeroa".
    std::string text = "Luetteloon otettiin " + std::to_string(summary.taken)
                       + (summary.taken == 1 ? " numero" : " numeroa") + ", lyhennettiin "
                       + std::to_string(summary.shortened) + ", pois jäi " + std::to_string(summary.refused) + ".";
    if (!shortened.empty())
        text += "\n\nLyhennetyt nimet:" + ellipsisList(shortened, kListedLines);
    if (!refused.empty())
        text += "\n\nPois jäivät:" + ellipsisList(refused, kListedLines);
    return text;
}

}  // namespace puolukka
