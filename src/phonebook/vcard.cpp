#include "phonebook/vcard.h"

#include <cctype>
#include <optional>

#include "conversions/conversions.h"
#include "conversions/text_encoding.h"

namespace puolukka {

namespace {

constexpr std::size_t kFoldAt = 75;  // octets a line, RFC 2425 5.8.1

std::string upper(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

bool equalsNoCase(std::string_view a, std::string_view b) { return upper(a) == upper(b); }

struct Parameter {
    std::string name;   // upper case; a 2.1 word without "=" is a TYPE
    std::string value;  // quotes removed
};

struct Property {
    std::string name;  // upper case, group removed ("item1.TEL" -> "TEL")
    std::vector<Parameter> parameters;
    std::string value;  // raw, as on the line

    std::optional<std::string> parameter(std::string_view wanted) const
    {
        for (const Parameter& p : parameters)
            if (p.name == wanted)
                return p.value;
        return std::nullopt;
    }
};

// Splits at `separator` outside double quotes.
std::vector<std::string> splitOutsideQuotes(std::string_view text, char separator)
{
    std::vector<std::string> parts(1);
    bool quoted = false;
    for (char c : text) {
        if (c == '"')
            quoted = !quoted;
        if (c == separator && !quoted)
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

// The position of the colon that ends the name and parameters, or npos.
std::size_t valueColon(std::string_view line)
{
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ':' && !quoted)
            return i;
    }
    return std::string_view::npos;
}

std::optional<Property> parseProperty(std::string_view line)
{
    const std::size_t colon = valueColon(line);
    if (colon == std::string_view::npos)
        return std::nullopt;
    Property property;
    property.value = std::string(line.substr(colon + 1));
    const std::vector<std::string> head = splitOutsideQuotes(line.substr(0, colon), ';');
    std::string name = head[0];
    if (const auto dot = name.rfind('.'); dot != std::string::npos)
        name.erase(0, dot + 1);
    property.name = upper(name);
    for (std::size_t i = 1; i < head.size(); ++i) {
        const std::string& text = head[i];
        const auto equals = text.find('=');
        Parameter p;
        if (equals == std::string::npos) {
            p.value = text;
            const std::string word = upper(text);
            p.name = word == "QUOTED-PRINTABLE" || word == "BASE64" || word == "8BIT" ? "ENCODING" : "TYPE";
        } else {
            p.name = upper(text.substr(0, equals));
            p.value = text.substr(equals + 1);
        }
        std::string unquoted;
        for (char c : p.value)
            if (c != '"')
                unquoted += c;
        p.value = unquoted;
        property.parameters.push_back(p);
    }
    return property;
}

bool isQuotedPrintable(std::string_view line)
{
    const std::size_t colon = valueColon(line);
    return colon != std::string_view::npos && upper(line.substr(0, colon)).find("QUOTED-PRINTABLE") != std::string::npos;
}

std::string decodeQuotedPrintable(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '=' && i + 2 < text.size() && anyCaseHexDigit(text[i + 1]) >= 0 && anyCaseHexDigit(text[i + 2]) >= 0) {
            out += char(anyCaseHexDigit(text[i + 1]) * 16 + anyCaseHexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The physical lines joined into logical ones: a line that starts with a blank
// or a tab continues the one before (the blank goes); a quoted-printable value
// ending in "=" continues on the next line (vCard 2.1 soft line break).
std::vector<std::string> unfold(std::string_view text)
{
    std::vector<std::string> physical;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\r' || text[i] == '\n') {
            physical.emplace_back(text.substr(start, i - start));
            if (i + 1 < text.size() && text[i] == '\r' && text[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
    }
    std::vector<std::string> logical;
    bool softBreak = false;
    for (const std::string& line : physical) {
        if (!logical.empty() && softBreak && !equalsNoCase(line, "END:VCARD")) {
            logical.back().pop_back();  // the "="
            logical.back() += line;
        } else if (!logical.empty() && !line.empty() && (line[0] == ' ' || line[0] == '\t')) {
            logical.back() += line.substr(1);
        } else {
            logical.push_back(line);
        }
        softBreak = !logical.back().empty() && logical.back().back() == '=' && isQuotedPrintable(logical.back());
    }
    return logical;
}

// The value as UTF-8 text: quoted-printable decoded, its CHARSET (or UTF-8,
// else the Windows code page) read. Nothing for binary values.
std::optional<std::string> valueText(const Property& property)
{
    std::string bytes = property.value;
    if (const auto encoding = property.parameter("ENCODING")) {
        const std::string e = upper(*encoding);
        if (e == "QUOTED-PRINTABLE")
            bytes = decodeQuotedPrintable(bytes);
        else if (e == "BASE64" || e == "B")
            return std::nullopt;
    }
    std::string text;
    if (const auto charset = property.parameter("CHARSET"); charset && charsetToUtf8(*charset, bytes, text))
        return text;
    return isValidUtf8(bytes) ? bytes : windows1252ToUtf8(bytes);
}

// Splits a structured value at ";" that are not escaped.
std::vector<std::string> splitComponents(std::string_view text)
{
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            parts.back() += text[i];
            parts.back() += text[++i];
        } else if (text[i] == ';') {
            parts.emplace_back();
        } else {
            parts.back() += text[i];
        }
    }
    return parts;
}

// RFC 2426 2.4.2 / RFC 6350 3.4: \n (or \N) a line break, \, \; \\ the character.
// An unescaped "," separates the values of a list: it becomes a blank.
std::string unescape(std::string_view text, bool listCommas)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[++i];
            out += next == 'n' || next == 'N' ? '\n' : next;
        } else if (text[i] == ',' && listCommas) {
            out += ' ';
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string joinNonEmpty(std::initializer_list<std::string> parts)
{
    std::string out;
    for (const std::string& part : parts) {
        const std::string clean = cleanContactText(part);
        if (clean.empty())
            continue;
        if (!out.empty())
            out += ' ';
        out += clean;
    }
    return out;
}

// The kind of a TEL from its TYPE parameters (all of them: "WORK;CELL" is a mobile).
NumberKind telKind(const Property& property)
{
    std::string label;
    for (const Parameter& p : property.parameters)
        if (p.name == "TYPE")
            label += p.value + " ";
    return kindFromLabel(label);
}

struct CardText {
    std::string fn;
    std::string n;
    std::string org;
    std::vector<ContactNumber> numbers;
};

void finishCard(const CardText& card, std::vector<Contact>& contacts)
{
    Contact contact;
    contact.name = cleanContactText(card.fn);
    if (contact.name.empty() && !card.n.empty()) {
        std::vector<std::string> parts = splitComponents(card.n);
        parts.resize(5);
        contact.name = joinNonEmpty({unescape(parts[1], true), unescape(parts[2], true), unescape(parts[0], true)});
    }
    if (contact.name.empty())
        contact.name = cleanContactText(card.org);
    contact.numbers = card.numbers;
    if (!contact.name.empty() || !contact.numbers.empty())
        contacts.push_back(std::move(contact));
}

void appendFolded(std::string& out, const std::string& line)
{
    std::size_t start = 0;
    std::size_t room = kFoldAt;
    while (line.size() - start > room) {
        std::size_t cut = start + room;
        while (cut > start && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
            --cut;  // a UTF-8 character stays on one line
        out.append(line, start, cut - start);
        out += "\r\n ";
        start = cut;
        room = kFoldAt - 1;  // the blank that starts the next line counts
    }
    out.append(line, start, std::string::npos);
    out += "\r\n";
}

std::string escapeText(std::string_view text)
{
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == ',' || c == ';')
            out += '\\';
        if (c == '\n')
            out += "\\n";
        else if (c != '\r')
            out += c;
    }
    return out;
}

const char* typeOf(NumberKind kind)
{
    switch (kind) {
    case NumberKind::Home:
        return "HOME";
    case NumberKind::Work:
        return "WORK";
    case NumberKind::Mobile:
        return "CELL";
    case NumberKind::Fax:
        return "FAX";
    case NumberKind::Pager:
        return "PAGER";
    case NumberKind::None:
        break;
    }
    return "";
}

}  // namespace

std::vector<Contact> parseVCards(std::string_view fileBytes)
{
    std::string utf16;
    if (fileBytes.starts_with("\xFF\xFE") || fileBytes.starts_with("\xFE\xFF")) {
        utf16 = textFileToUtf8(fileBytes);
        fileBytes = utf16;
    } else if (fileBytes.starts_with("\xEF\xBB\xBF")) {
        fileBytes.remove_prefix(3);
    }

    std::vector<Contact> contacts;
    CardText card;
    int depth = 0;  // a card may hold another (AGENT of 2.1): only the outer one counts
    for (const std::string& line : unfold(fileBytes)) {
        const auto property = parseProperty(line);
        if (!property)
            continue;
        const std::string value = upper(cleanContactText(property->value));
        if (property->name == "BEGIN" && value == "VCARD") {
            if (depth++ == 0)
                card = CardText{};
            continue;
        }
        if (property->name == "END" && value == "VCARD") {
            if (depth > 0 && --depth == 0)
                finishCard(card, contacts);
            continue;
        }
        if (depth != 1)
            continue;
        const auto text = valueText(*property);
        if (!text)
            continue;
        if (property->name == "FN" && card.fn.empty()) {
            card.fn = unescape(*text, false);
        } else if (property->name == "N" && card.n.empty()) {
            card.n = *text;
        } else if (property->name == "ORG" && card.org.empty()) {
            card.org = unescape(splitComponents(*text)[0], false);
        } else if (property->name == "TEL") {
            std::string number = cleanContactText(*text);
            while (number.size() >= 4 && equalsNoCase(number.substr(0, 4), "tel:"))
                number = cleanContactText(number.substr(4));
            if (!number.empty())
                card.numbers.push_back({number, telKind(*property)});
        }
    }
    if (depth > 0)
        finishCard(card, contacts);  // a file cut short keeps its last card
    return contacts;
}

std::string writeVCards(const std::vector<Contact>& contacts)
{
    std::string out;
    for (const Contact& contact : contacts) {
        const std::string name = escapeText(contact.name);
        out += "BEGIN:VCARD\r\nVERSION:3.0\r\n";
        appendFolded(out, "FN:" + name);
        appendFolded(out, "N:;" + name + ";;;");
        for (const ContactNumber& number : contact.numbers) {
            const std::string type = typeOf(number.kind);
            appendFolded(out, (type.empty() ? "TEL:" : "TEL;TYPE=" + type + ":") + number.text);
        }
        out += "END:VCARD\r\n";
    }
    return out;
}

}  // namespace puolukka
