#include "conversions/text_encoding.h"

#include <algorithm>
#include <cctype>

namespace puolukka {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Windows-1252 bytes 80-9F; 0 where the code page leaves the byte undefined
// (it is then read as the C1 control of the same value, as 8859-1 would).
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 88-8F
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 98-9F
};

// ISO 8859-15: the eight places where it differs from 8859-1.
struct ByteChar {
    unsigned char byte;
    char16_t c;
};
constexpr ByteChar kLatin9[] = {
    {0xA4, 0x20AC}, {0xA6, 0x0160}, {0xA8, 0x0161}, {0xB4, 0x017D},
    {0xB8, 0x017E}, {0xBC, 0x0152}, {0xBD, 0x0153}, {0xBE, 0x0178},
};

std::string upper(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

std::string latin9ToUtf8(std::string_view bytes)
{
    std::string out;
    for (char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        char32_t c = b;
        for (const ByteChar& row : kLatin9)
            if (row.byte == b)
                c = row.c;
        appendUtf8(out, c);
    }
    return out;
}

// UTF-16 code units (little or big endian) to UTF-8; pairs of surrogates join,
// a lone one gives U+FFFD.
std::string utf16ToUtf8(std::string_view bytes, bool bigEndian)
{
    std::string out;
    const auto unit = [&](std::size_t i) -> char32_t {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? char32_t(a << 8 | b) : char32_t(b << 8 | a);
    };
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char32_t c = unit(i);
        if (c >= 0xD800 && c <= 0xDBFF && i + 3 < bytes.size()) {
            const char32_t low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (c >= 0xD800 && c <= 0xDFFF)
            c = kReplacement;
        appendUtf8(out, c);
    }
    return out;
}

}  // namespace

std::u32string utf8ToCodePoints(std::string_view text, bool* valid)
{
    std::u32string out;
    out.reserve(text.size());
    bool ok = true;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        int extra = 0;
        char32_t c = 0;
        char32_t minimum = 0;
        if (b0 < 0x80) {
            out.push_back(b0);
            ++i;
            continue;
        }
        if ((b0 & 0xE0) == 0xC0) {
            extra = 1, c = b0 & 0x1F, minimum = 0x80;
        } else if ((b0 & 0xF0) == 0xE0) {
            extra = 2, c = b0 & 0x0F, minimum = 0x800;
        } else if ((b0 & 0xF8) == 0xF0) {
            extra = 3, c = b0 & 0x07, minimum = 0x10000;
        } else {
            extra = -1;
        }
        bool good = extra > 0 && i + std::size_t(extra) < text.size();
        if (good) {
            for (int k = 1; k <= extra; ++k) {
                const auto b = static_cast<unsigned char>(text[i + std::size_t(k)]);
                if ((b & 0xC0) != 0x80) {
                    good = false;
                    break;
                }
                c = (c << 6) | (b & 0x3F);
            }
        }
        if (good && (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)))
            good = false;
        if (!good) {
            out.push_back(kReplacement);
            ok = false;
            ++i;
            continue;
        }
        out.push_back(c);
        i += std::size_t(extra) + 1;
    }
    if (valid)
        *valid = ok;
    return out;
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

std::string codePointsToUtf8(std::u32string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text)
        appendUtf8(out, c);
    return out;
}

bool isValidUtf8(std::string_view text)
{
    bool valid = true;
    utf8ToCodePoints(text, &valid);
    return valid;
}

std::size_t utf8Length(std::string_view text) { return utf8ToCodePoints(text).size(); }

std::string lowerCase(std::string_view text)
{
    std::u32string chars = utf8ToCodePoints(text);
    for (char32_t& c : chars)
        if ((c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
            c += 0x20;
    return codePointsToUtf8(chars);
}

std::string latin1ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (char byte : bytes)
        appendUtf8(out, static_cast<unsigned char>(byte));
    return out;
}

std::string windows1252ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        const char32_t mapped = b >= 0x80 && b <= 0x9F ? kCp1252High[b - 0x80] : 0;
        appendUtf8(out, mapped ? mapped : b);
    }
    return out;
}

bool charsetToUtf8(std::string_view charset, std::string_view bytes, std::string& text)
{
    const std::string name = upper(charset);
    if (name == "UTF-8" || name == "UTF8" || name == "US-ASCII" || name == "ASCII") {
        // Declared UTF-8 that is not: better read as the code page it most likely is.
        text = isValidUtf8(bytes) ? std::string(bytes) : windows1252ToUtf8(bytes);
        return true;
    }
    if (name == "ISO-8859-1" || name == "ISO8859-1" || name == "LATIN1" || name == "ISO_8859-1") {
        text = latin1ToUtf8(bytes);
        return true;
    }
    if (name == "ISO-8859-15" || name == "ISO8859-15" || name == "LATIN9" || name == "LATIN-9") {
        text = latin9ToUtf8(bytes);
        return true;
    }
    if (name == "WINDOWS-1252" || name == "CP1252" || name == "CP-1252") {
        text = windows1252ToUtf8(bytes);
        return true;
    }
    return false;
}

std::string textFileToUtf8(std::string_view bytes)
{
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    else if (bytes.starts_with("\xFF\xFE"))
        return utf16ToUtf8(bytes.substr(2), false);
    else if (bytes.starts_with("\xFE\xFF"))
        return utf16ToUtf8(bytes.substr(2), true);
    if (isValidUtf8(bytes))
        return std::string(bytes);
    return windows1252ToUtf8(bytes);
}

}  // namespace puolukka
