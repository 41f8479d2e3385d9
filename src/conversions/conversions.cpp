#include "conversions/conversions.h"

namespace puolukka {

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 0;
}

int anyCaseHexDigit(char c)
{
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') ? hexDigitValue(c) : -1;
}

std::string HexToBytes(const std::string& text)
{
    std::string bytes;
    bytes.reserve((text.size() + 1) / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = hexDigitValue(text[i]);
        const int low = i + 1 < text.size() ? hexDigitValue(text[i + 1]) : 0;
        bytes.push_back(char(16 * high + low));
    }
    return bytes;
}

int HexToValue(const std::string& text)
{
    const int high = text.size() > 0 ? hexDigitValue(text[0]) : 0;
    const int low = text.size() > 1 ? hexDigitValue(text[1]) : 0;
    return 16 * high + low;
}

unsigned char InverseByte(unsigned char byte)
{
    unsigned x = byte ^ 0xFFu;
    unsigned result = 0;
    for (int i = 0; i < 8; ++i) {
        x <<= 1;
        if (x >= 256)
            result += 1u << i;
        x &= 0xFFu;
    }
    return static_cast<unsigned char>(result);
}

std::string inverseBytes(const std::string& bytes)
{
    std::string out(bytes);
    for (char& c : out)
        c = char(InverseByte(static_cast<unsigned char>(c)));
    return out;
}

std::string hexByte(int value)
{
    static const char digits[] = "0123456789ABCDEF";
    value &= 0xFF;
    return {digits[value >> 4], digits[value & 0x0F]};
}

std::string bytesToHex(const std::string& bytes)
{
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (unsigned char c : bytes)
        hex += hexByte(c);
    return hex;
}

}  // namespace puolukka
