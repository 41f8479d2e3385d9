#include "phonebook/editor.h"

#include <algorithm>

#include "conversions/adn_codec.h"
#include "conversions/name_codec.h"
#include "conversions/text_encoding.h"

namespace puolukka {

namespace {

// Left-aligned in a field of exactly width characters.
std::string field(const std::string& text, std::size_t width)
{
    std::u32string chars = utf8ToCodePoints(text);
    chars.resize(width, U' ');
    return codePointsToUtf8(chars);
}

// The text from 1-based position on; past the end it is empty.
std::string fromPosition(const std::string& text, int position)
{
    if (position < 1 || std::size_t(position) > text.size())
        return {};
    return text.substr(std::size_t(position - 1));
}

bool isNumberChar(char c) { return (c >= '0' && c <= '9') || c == '*' || c == '#' || (c >= 'A' && c <= 'E'); }

std::string unusedEntry(int nameLength) { return std::string(std::size_t(std::max(nameLength, 0)), kPaddingChar) + "/FF/"; }

}  // namespace

std::string displayRow(int position, const std::string& name, const std::string& number)
{
    return field(std::to_string(position) + ".", 4) + field(name, 17) + number;
}

std::string shownName(const std::string& alpha, NameView view)
{
    if (view == NameView::Decoded)
        return decodeName(alpha).text;
    return latin1ToUtf8(alpha.substr(0, alpha.find(kPaddingChar)));
}

EditorRows fillEditorRows(const Phonebook& book, NameView view)
{
    EditorRows rows;
    std::string name;  // an entry without "/" and without padding keeps the name of the row before
    for (int i = 1; i <= book.PBCount && i < int(book.PBEntry.size()); ++i) {
        const std::string& e = book.PBEntry[std::size_t(i)];
        const EntryFields fields = splitEntry(e);
        int nameLen = 0;
        int numStart = 0;
        if (fields.separators == 2) {
            // The name may hold "/": TON and number follow the last two.
            nameLen = int(fields.name.size());
            numStart = int(e.size() - fields.number.size()) + 1;
        } else {
            const auto firstSlash = e.find('/');
            nameLen = firstSlash == std::string::npos ? -1 : int(firstSlash);
            // The next "/" searched from just after the first one; none gives position 1.
            const auto secondSlash = e.find('/', std::size_t(nameLen + 1));
            numStart = secondSlash == std::string::npos ? 1 : int(secondSlash) + 2;
        }

        // Decoded, the whole name field counts (a UCS2 name may hold FF bytes);
        // as bytes, the name ends at padding within the first 20 characters.
        const auto pad = e.find(kPaddingChar);
        if (nameLen >= 0 && view == NameView::Decoded)
            name = decodeName(e.substr(0, std::size_t(nameLen))).text;
        else if (pad != std::string::npos && pad < 20 && (nameLen < 0 || int(pad) < nameLen))
            name = shownName(e.substr(0, pad), view);
        else if (nameLen >= 0)
            name = latin1ToUtf8(e.substr(0, std::size_t(nameLen)));
        const std::string number = fromPosition(e, numStart);

        rows.names.push_back(name);
        rows.numbers.push_back(latin1ToUtf8(number));
        rows.rows.push_back(displayRow(int(rows.rows.size()) + 1, name, rows.numbers.back()));
        rows.nameLen = nameLen;
        rows.numStart = numStart;
    }
    return rows;
}

int nameFieldLength(const Phonebook& book)
{
    if (book.CardRecLen >= kAdnFixedBytes)
        return book.CardRecLen - kAdnFixedBytes;
    std::size_t longest = 0;
    for (int i = 1; i <= book.PBCount && i < int(book.PBEntry.size()); ++i) {
        const EntryFields fields = splitEntry(book.PBEntry[std::size_t(i)]);
        if (fields.separators > 0)
            longest = std::max(longest, fields.name.size());
    }
    return int(longest);
}

std::string nameLimitText(int nameLength)
{
    return "Nimen maksimipituus " + std::to_string(nameLength) + " merkkiä";
}

std::string nameStatusText(const std::string& name, int nameLength, NameView view)
{
    if (view == NameView::Bytes) {
        const int used = int(utf8Length(name));
        const int left = nameLength - used;
        return nameLimitText(nameLength) + " (tavuina), "
               + (left >= 0 ? "jäljellä " + std::to_string(left) : std::to_string(-left) + " liikaa");
    }
    const NameFit fit = fitName(name, nameLength);
    if (!fit.name.encodable) {
        std::string c;
        appendUtf8(c, fit.name.unencodable);
        return "Merkkiä " + c + " ei voi tallentaa SIM-kortille";
    }
    return nameLimitText(std::max(fit.maxCharacters(), 0)) + " (" + codingName(fit.name.coding) + "), "
           + (fit.left >= 0 ? "jäljellä " + std::to_string(fit.left) : std::to_string(-fit.left) + " liikaa");
}

bool validNumber(const std::string& number, std::string* message)
{
    const std::string digits = !number.empty() && number[0] == '+' ? number.substr(1) : number;
    bool ok = digits.size() <= std::size_t(kAdnMaxDigits);
    for (char c : digits)
        ok = ok && isNumberChar(c);
    if (!ok && message)
        *message = "Numerossa saa olla vain numeroita, *, # ja alussa + (enintään 20 numeroa).";
    return ok;
}

std::string tonForNumber(const std::string& number)
{
    if (number.starts_with("+"))
        return "91";
    if (number == "0" || (number.size() >= 2 && number[0] == '0' && number[1] != '0'))
        return "80";
    return "81";
}

bool encodeEditedName(const std::string& name, int nameLength, NameView view, std::string& bytes,
                      std::string* message)
{
    const auto refuse = [message](const std::string& text) {
        if (message)
            *message = text;
        return false;
    };
    if (view == NameView::Bytes) {
        bytes.clear();
        for (char32_t c : utf8ToCodePoints(name)) {
            if (c > 0xFF)
                return refuse("Tavuina näytettyyn nimeen voi kirjoittaa vain merkkejä, jotka mahtuvat yhteen "
                              "tavuun (Latin-1).");
            bytes += char(c);
        }
    } else {
        const EncodedName encoded = encodeName(name);
        if (!encoded.encodable) {
            std::string c;
            appendUtf8(c, encoded.unencodable);
            return refuse("Merkkiä " + c + " ei voi tallentaa SIM-kortin nimeen.");
        }
        bytes = encoded.bytes;
    }
    if (int(bytes.size()) > nameLength) {
        const NameFit fit = fitName(name, nameLength);
        const int over = view == NameView::Bytes ? int(bytes.size()) - nameLength : -fit.left;
        return refuse("Nimi ei mahdu kortin nimikenttään (" + std::to_string(nameLength) + " tavua): "
                      + std::to_string(std::max(over, 1)) + " merkkiä liikaa.");
    }
    return true;
}

EditResult storeEditedEntry(Phonebook& book, int position, const EntryEdit& edit, int nameLength,
                            std::string* message)
{
    if (position < 1 || position > book.PBCount || position >= int(book.PBEntry.size()))
        return EditResult::Gone;
    const bool nameChanged = edit.name != edit.shownName;
    const bool numberChanged = edit.number != edit.shownNumber;
    if (!nameChanged && !numberChanged)
        return EditResult::Unchanged;
    std::string& entry = book.PBEntry[std::size_t(position)];
    const EntryFields old = splitEntry(entry);
    if (numberChanged && !validNumber(edit.number, message))
        return EditResult::Refused;
    std::string alpha = old.name;
    if (nameChanged) {
        if (edit.name.empty()) {
            entry = unusedEntry(nameLength);  // the editor's way to delete an entry
            book.Changed = true;
            return EditResult::Stored;
        }
        std::string bytes;
        if (!encodeEditedName(edit.name, nameLength, edit.view, bytes, message))
            return EditResult::Refused;
        alpha = padName(bytes, nameLength);
    }
    // An unchanged number keeps its TON: also FF, so a name typed into an
    // unused entry without a number is a name-only contact (GSM 11.11 10.5.1).
    std::string tonAndNumber = old.ton + "/" + old.number;
    if (numberChanged || old.separators < 2)
        tonAndNumber = tonForNumber(edit.number) + "/" + edit.number;
    // Neither name nor number left: an unused entry, whatever the card's name length.
    if (decodeName(alpha).text.empty() && shownName(alpha, NameView::Bytes).empty() && edit.number.empty())
        entry = std::string(alpha.size(), kPaddingChar) + "/FF/";
    else
        entry = alpha + "/" + tonAndNumber;
    book.Changed = true;
    return EditResult::Stored;
}

}  // namespace puolukka
