#pragma once

#include <cstddef>
#include <string>

namespace puolukka {

// Safe picking out of card answers. An answer can be short, empty or split over
// two reads, so every position past the end of the text reads as empty text.

// len characters from the 1-based position pos; empty (or shorter) past the end.
inline std::string hexAt(const std::string& text, std::size_t pos, std::size_t len)
{
    if (pos == 0 || pos > text.size())
        return {};
    return text.substr(pos - 1, len);
}

// Everything from the 1-based position pos on; empty past the end.
inline std::string textFrom(const std::string& text, std::size_t pos)
{
    if (pos == 0 || pos > text.size())
        return {};
    return text.substr(pos - 1);
}

// The last n characters; empty when the text is shorter than n.
inline std::string lastChars(const std::string& text, std::size_t n)
{
    if (text.size() < n)
        return {};
    return text.substr(text.size() - n);
}

// Number of characters of a UTF-8 text (what the user typed, as the user counts it).
inline std::size_t characterCount(const std::string& text)
{
    std::size_t count = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80)
            ++count;
    return count;
}

}  // namespace puolukka
