#include "phonebook/editor.h"

#include "conversions/adn_codec.h"

namespace puolukka {

namespace {

// Left-aligned in a field of exactly width characters.
std::string field(const std::string& text, std::size_t width)
{
    std::string result = text.substr(0, width);
    result.resize(width, ' ');
    return result;
}

// The text from 1-based position on; past the end it is empty.
std::string fromPosition(const std::string& text, int position)
{
    if (position < 1 || std::size_t(position) > text.size())
        return {};
    return text.substr(std::size_t(position - 1));
}

bool isNumberChar(char c) { return (c >= '0' && c <= '9') || c == '*' || c == '#' || (c >= 'A' && c <= 'E'); }

}  // namespace

std::string displayRow(int position, const std::string& name, const std::string& number)
{
    return field(std::to_string(position) + ".", 4) + field(name, 17) + number;
}

EditorRows fillEditorRows(const Phonebook& book)
{
    EditorRows rows;
    std::string name;  // an entry without "/" and without padding keeps the name of the row before
    for (int i = 1; i <= book.PBCount && i < int(book.PBEntry.size()); ++i) {
        const std::string& e = book.PBEntry[std::size_t(i)];
        const auto firstSlash = e.find('/');
        const int nameLen = firstSlash == std::string::npos ? -1 : int(firstSlash);
        // The next "/" searched from just after the first one; none gives position 1.
        const auto secondSlash = e.find('/', std::size_t(nameLen + 1));
        const int numStart = secondSlash == std::string::npos ? 1 : int(secondSlash) + 2;

        const auto pad = e.find(kPaddingChar);
        if (pad != std::string::npos && pad < 20)
            name = e.substr(0, pad);
        else if (nameLen >= 0)
            name = e.substr(0, std::size_t(nameLen));
        const std::string number = fromPosition(e, numStart);

        rows.names.push_back(name);
        rows.numbers.push_back(number);
        rows.rows.push_back(displayRow(int(rows.rows.size()) + 1, name, number));
        rows.nameLen = nameLen;
        rows.numStart = numStart;
    }
    return rows;
}

int firstNameLength(const Phonebook& book)
{
    if (book.PBEntry.size() < 2)
        return -1;
    const auto slash = book.PBEntry[1].find('/');
    return slash == std::string::npos ? -1 : int(slash);
}

std::string nameLimitText(int nameLen) { return "Nimen maksimipituus " + std::to_string(nameLen) + " merkkiä"; }

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

bool validName(const std::string& name, std::string* message)
{
    const bool ok = name.find('/') == std::string::npos;
    if (!ok && message)
        *message = "Nimessä ei voi olla merkkiä /.";
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

std::string editedEntry(const std::string& name, const std::string& number, int maxNameLen)
{
    std::string padded = name;
    if (int(padded.size()) < maxNameLen)
        padded.resize(std::size_t(maxNameLen), kPaddingChar);
    if (padded.empty() || padded[0] == kPaddingChar)
        return padded + "/FF/";
    return padded + "/" + tonForNumber(number) + "/" + number;
}

bool storeEditedEntry(Phonebook& book, int position, const std::string& name, const std::string& number,
                      int maxNameLen)
{
    if (position < 1 || position > book.PBCount || position >= int(book.PBEntry.size()))
        return false;
    book.PBEntry[std::size_t(position)] = editedEntry(name, number, maxNameLen);
    return true;
}

}  // namespace puolukka
