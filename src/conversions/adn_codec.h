#pragma once

#include <string>

namespace puolukka {

// Card record <-> phonebook entry text.
//
// Entry text: name "/" TON "/" number. The name keeps the record's alpha field
// byte for byte (padding bytes 255 included); TON is the type-of-number byte in
// upper-case hex without a leading zero; the number is the dialling digits, with
// a leading "+" when TON is 91 or 90, BCD values 10-14 shown as "A"-"E".
// The name is not escaped and may itself hold "/" ("Koti/Työ", or a UCS2 name
// with a byte 2F such as Cyrillic "Я" 04 2F): the TON and the number are the
// fields after the LAST two "/" of the entry.
//
// ADN record of length L (X = L - 14): alpha field X bytes, length byte (BCD
// bytes + 1), TON byte, 10 BCD bytes (low nibble first, F-padded), capability
// byte FF, extension byte FF.

inline constexpr int kAdnFixedBytes = 14;
inline constexpr int kAdnMaxDigits = 20;
inline constexpr int kAdnNumberBytes = 10;

inline constexpr char kAdnPadding = char(0xFF);

// An entry's three fields, split at its last two "/". An entry with exactly
// two "/" splits as it always has; with one "/" the rest is the TON and the
// number is empty; with none the whole text is the name.
struct EntryFields {
    std::string name;
    std::string ton;
    std::string number;
    int separators = 0;  // "/" found, counted up to 2
};
EntryFields splitEntry(const std::string& entry);

// The name without the padding bytes at its end.
std::string unpaddedName(const std::string& name);

// The TON field's value: one or two hex digits of either case; -1 for anything else.
int tonValue(const std::string& ton);

// record: the record's bytes followed by the two status bytes of the read.
// An answer too short to hold a record (under 16 bytes) is returned unchanged.
// The number is read from the 10 number bytes only, whatever the length byte says.
std::string RecordToEntry(const std::string& recordAndStatus);

// Which record-length warning EntryToRecord gave.
enum class RecLenNotice { None, Shorter, Larger };

// Builds the record of cardRecLen bytes for an entry. recLenWarning is the
// write's "warning may still be shown" flag (1 at the start of a write); the
// first non-empty entry decides it and clears it. When that entry's name is
// longer or shorter than the card's alpha field, *notice says which warning to
// show (its text is recLenWarningText).
//
// TON FF marks an unused entry when the name is empty (padding only, or
// nothing left of it in the card's alpha field): the record is all FF. With a name it is a name-only contact as phones store it
// (GSM 11.11 10.5.1: length and TON/NPI FF, no number), and the name is kept.
//
// Beyond the plain layout: a number is cut to the 20 digits a record holds, "*"
// and "#" are stored as BCD A and B, and an entry without its "/" separators
// keeps its text as the name, with no number. Characters a record cannot hold
// are not checked here: see entryProblem (phonebook/entry_check.h).
std::string EntryToRecord(const std::string& entry, int cardRecLen, int& recLenWarning,
                          RecLenNotice* notice = nullptr);

// The two lines the terminal shows for a record-length warning (CR LF included).
std::string recLenWarningText(RecLenNotice notice);

// The TON byte as entry text: upper-case hex without a leading zero (5 -> "5", 0x91 -> "91").
std::string tonText(unsigned char ton);

}  // namespace puolukka
