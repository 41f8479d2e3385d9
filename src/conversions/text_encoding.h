#pragma once

#include <string>
#include <string_view>

namespace puolukka {

// Text inside the program is UTF-8. These turn it into code points and back,
// and read the encodings contact files arrive in.

// The code points of UTF-8 text. Each byte that does not start a well-formed
// sequence (overlong forms, surrogates and values past U+10FFFF included)
// gives U+FFFD and clears *valid.
std::u32string utf8ToCodePoints(std::string_view text, bool* valid = nullptr);
void appendUtf8(std::string& out, char32_t c);
std::string codePointsToUtf8(std::u32string_view text);
bool isValidUtf8(std::string_view text);
// Number of code points (what the user counts as characters).
std::size_t utf8Length(std::string_view text);

// ASCII and Latin-1 letters in lower case ("TYÖ" -> "työ"), for matching labels.
std::string lowerCase(std::string_view text);

// One byte a character: ISO 8859-1, and Windows-1252 (8859-1 with printable
// characters in 80-9F, what spreadsheets on Windows save).
std::string latin1ToUtf8(std::string_view bytes);
std::string windows1252ToUtf8(std::string_view bytes);
// UTF-8 text of a named character set (case does not matter): UTF-8, ISO-8859-1
// (LATIN1), ISO-8859-15, WINDOWS-1252 (CP1252), US-ASCII. False for other names.
bool charsetToUtf8(std::string_view charset, std::string_view bytes, std::string& text);

// A text file's content as UTF-8: a UTF-8 byte order mark is dropped, UTF-16
// with a byte order mark is converted, and content that is not UTF-8 is read
// as Windows-1252.
std::string textFileToUtf8(std::string_view bytes);

}  // namespace puolukka
