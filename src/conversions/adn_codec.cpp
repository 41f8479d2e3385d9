#include "conversions/adn_codec.h"

#include <algorithm>

#include "conversions/conversions.h"

namespace puolukka {

namespace {

constexpr char kPad = char(0xFF);

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

    // Split at the first "/" and at the next "/" after the TON field.
    const auto p1 = entry.find('/');
    std::string alpha;
    std::string tonField;
    std::string number;
    if (p1 == std::string::npos) {
        alpha = entry;   // no separators: the whole text is the name
        tonField = "81";
    } else {
        alpha = entry.substr(0, p1);
        const auto p2 = entry.find('/', p1 + 1);
        tonField = entry.substr(p1 + 1, p2 == std::string::npos ? std::string::npos : p2 - p1 - 1);
        if (p2 != std::string::npos)
            number = entry.substr(p2 + 1);
    }

    if (tonField.substr(0, 2) == "FF")
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

    // The TON field is read as hex: "91" is 0x91, a single digit its own value.
    const int ton = tonField.size() >= 2 ? HexToValue(tonField) : hexDigitValue(tonField.empty() ? '0' : tonField[0]);

    if (!number.empty() && number[0] == '+')
        number.erase(0, 1);
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
