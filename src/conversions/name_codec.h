#pragma once

#include <string>
#include <string_view>

namespace puolukka {

// The alpha identifier of a phonebook record (GSM 11.11 10.5.1, TS 31.102
// 4.4.2.3) as phones write it: either the GSM 7-bit default alphabet, one
// character a byte with bit 8 clear (TS 23.038 6.2.1, with the escape 1B to
// its extension table), or one of the three UCS2 forms of TS 102 221 annex A:
//   80: the rest are 16-bit characters, most significant byte first;
//   81: character count, one byte giving bits 15-8 of a base pointer (bit 16
//       and bits 7-1 zero), then one byte a character: bit 8 clear, a GSM
//       character; bit 8 set, base pointer + the low 7 bits;
//   82: character count, a two-byte base pointer, then characters as in 81.
// Unused bytes are FF. Text on the program's side is UTF-8.

enum class NameCoding { Gsm, Ucs2, Ucs2HalfPage, Ucs2Base };  // GSM alphabet, 80, 81, 82

struct DecodedName {
    std::string text;                   // UTF-8
    NameCoding coding = NameCoding::Gsm;
    // False when the bytes are not a well-formed name in any of the codings
    // (a byte over 7F in GSM text, a count past the field, a lone surrogate):
    // such bytes show as U+FFFD. Cards written by other tools, e.g. in Latin-1.
    bool clean = true;
};

// Decodes an alpha field, padding included. GSM text ends at the first FF; the
// forms 81 and 82 end after their character count (an FF inside the count is
// a character, base + 7F); form 80 ends at the character FFFF.
DecodedName decodeName(std::string_view alpha);

struct EncodedName {
    // False when a character fits none of the codings (outside the 16-bit
    // range of UCS2, e.g. an emoji); `unencodable` is the first such one.
    bool encodable = true;
    char32_t unencodable = 0;
    NameCoding coding = NameCoding::Gsm;
    std::string bytes;   // without padding
    int characters = 0;  // characters of the text
};

// Encodes text the way phones choose: the GSM alphabet when every character
// has a GSM code (extension characters take two bytes), otherwise the
// shortest UCS2 form that holds the name (80 on a tie). In the forms 81 and 82
// characters of the GSM default table take one byte; all others must lie in
// one half-page of 128 characters (for 81 one that starts at a multiple of 128
// below 8000).
EncodedName encodeName(std::string_view text);

// Whether text fits a name field of `capacity` bytes, and how many more
// characters of its kind would (one-byte ones in GSM, 81 and 82; two-byte
// ones in 80). `left` is negative when the name is that many characters too long.
struct NameFit {
    EncodedName name;
    int capacity = 0;
    bool fits = false;
    int left = 0;
    int maxCharacters() const { return name.characters + left; }
};
NameFit fitName(std::string_view text, int capacity);

// The encoded bytes padded with FF to capacity (longer bytes are returned as they are).
std::string padName(std::string bytes, int capacity);

// Cuts chars to the most characters any coding fits in capacity bytes: every
// character takes at least one byte, so a longer beginning never fits. Shortening
// starts there, and a name of any length (a broken file) is shortened at once.
void keepAtMost(std::u32string& chars, int capacity);

// The longest beginning of text (whole characters, trailing blanks dropped)
// whose encoding fits capacity bytes; the empty text when none does.
std::string shortenName(std::string_view text, int capacity);

// Short name of a coding for the user: "GSM", "UCS2".
const char* codingName(NameCoding coding);

}  // namespace puolukka
