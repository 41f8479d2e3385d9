#include "conversions/adn_codec.h"

#include <algorithm>

#include "conversions/conversions.h"

namespace puolukka {

namespace {

constexpr char kPad = kAdnPadding;

// A digit of an entry's number as the hex digit its BCD nibble carries.
char bcdDigit(char c)
{
    if (c == '*')
        return 'A';
    if (c == '#')
        return 'B';
    return c;
}

}  // namespace

EntryFields splitEntry(const std::string& entry)
{
    EntryFields fields;
    const auto last = entry.rfind('/');
    if (last == std::string::npos) {
        fields.name = entry;
        return fields;
    }
    const auto before = last == 0 ? std::string::npos : entry.rfind('/', last - 1);
    if (before == std::string::npos) {
        fields.separators = 1;
        fields.name = entry.substr(0, last);
        fields.ton = entry.substr(last + 1);
        return fields;
    }
    fields.separators = 2;
    fields.name = entry.substr(0, before);
    fields.ton = entry.substr(before + 1, last - before - 1);
    fields.number = entry.substr(last + 1);
    return fields;
}

std::string unpaddedName(const std::string& name)
{
    const auto end = name.find_last_not_of(kAdnPadding);
    return end == std::string::npos ? std::string() : name.substr(0, end + 1);
}

int tonValue(const std::string& ton)
{
    if (ton.empty() || ton.size() > 2)
        return -1;
    int value = 0;
    for (char c : ton) {
        const int digit = anyCaseHexDigit(c);
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

std::string tonText(unsigned char ton)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    if (ton >= 16)
        text += digits[ton >> 4];
    text += digits[ton & 0x0F];
    return text;
}

std::string RecordToEntry(const std::string& text)
{
    const std::size_t L = text.size();
    if (L < 16)
        return text;  // too short to hold a record: left as it arrived
    const std::string name = text.substr(0, L - 16);
    const std::size_t n = static_cast<unsigned char>(text[L - 16]);
    const std::string ton = tonText(static_cast<unsigned char>(text[L - 15]));
    // n counts the TON byte, so n bytes from here are one more than the BCD bytes (normally an
    // unused FF). The number field has 10 bytes: a larger length byte must not pull the
    // capability and extension bytes or the status word into the number.
    const std::string raw = text.substr(L - 14, std::min<std::size_t>(n, kAdnNumberBytes));

    std::string digits = bytesToHex(raw);
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        std::swap(digits[i], digits[i + 1]);
    const auto f = digits.find('F');
    if (f != std::string::npos)
        digits.erase(f);
    if (ton == "91" || ton == "90")
        digits.insert(0, "+");
    return name + "/" + ton + "/" + digits;
}

std::string recLenWarningText(RecLenNotice notice)
{
    switch (notice) {
    case RecLenNotice::Shorter:
        return "\r\nWarning ! Destination records shorter than source records \r\n"
               "          Names will be truncated to maximum available space \r\n";
    case RecLenNotice::Larger:
        return "\r\nWarning ! Destination records larger than source records \r\n"
               "          Record length will be automatically adjusted \r\n";
    case RecLenNotice::None:
        break;
    }
    return {};
}

std::string EntryToRecord(const std::string& entry, int cardRecLen, int& recLenWarning,
                          RecLenNotice* notice)
{
    if (notice)
        *notice = RecLenNotice::None;
    const int alphaLen = std::max(0, cardRecLen - kAdnFixedBytes);

    EntryFields fields = splitEntry(entry);
    std::string& alpha = fields.name;
    if (fields.separators == 0)
        fields.ton = "81";  // no separators: the whole text is the name
    const int parsedTon = tonValue(fields.ton.substr(0, 2));
    // An unparsable TON field reads as its hex digits always have: others count as 0.
    const int ton = parsedTon >= 0 ? parsedTon : HexToValue(fields.ton);

    // An unused entry: no name in what the record's alpha field keeps of it.
    if (ton == 0xFF && unpaddedName(alpha.substr(0, std::size_t(alphaLen))).empty())
        return std::string(std::size_t(std::max(0, cardRecLen)), kPad);

    const int d = alphaLen - int(alpha.size());
    if (d == 0) {
        recLenWarning = 0;
    } else if (d < 0) {
        alpha.resize(std::size_t(alphaLen));
        if (recLenWarning == 1 && notice)
            *notice = RecLenNotice::Shorter;
        recLenWarning = 0;
    } else {
        alpha.append(std::size_t(d), kPad);
        if (recLenWarning == 1 && notice)
            *notice = RecLenNotice::Larger;
        recLenWarning = 0;
    }

    std::string number = fields.number;
    if (!number.empty() && number[0] == '+')
        number.erase(0, 1);
    if (ton == 0xFF && number.empty())
        return alpha + std::string(std::size_t(kAdnFixedBytes), kPad);  // a name-only contact

    if (number.size() > std::size_t(kAdnMaxDigits))
        number.resize(kAdnMaxDigits);  // a record holds 20 digits; more would overrun it
    std::string digits;
    for (char c : number)
        digits += bcdDigit(c);
    if (digits.size() % 2 != 0)
        digits += 'F';
    const char lengthByte = char(digits.size() / 2 + 1);
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        std::swap(digits[i], digits[i + 1]);
    if (digits.size() < 24)
        digits.append(24 - digits.size(), 'F');

    std::string record = alpha;
    record += lengthByte;
    record += char(ton);
    record += HexToBytes(digits);
    return record;
}

}  // namespace puolukka
