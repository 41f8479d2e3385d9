#pragma once

#include <string>
#include <vector>

#include "phonebook/phonebook_state.h"

namespace puolukka {

// How the list window and the entry dialog show names: decoded the way phones
// store them (GSM alphabet or UCS2, conversions/name_codec.h), or the raw bytes
// one Latin-1 character a byte ("Näytä tavuina"), for cards written by tools
// that store names in another way.
enum class NameView { Decoded, Bytes };

// The phonebook list window's content, without any window: what its three
// lists and small labels hold after it has filled itself from the phonebook.
// Texts are UTF-8; the entries themselves keep the card's bytes.
struct EditorRows {
    std::vector<std::string> names;    // List1: each entry's name as shown, without padding
    std::vector<std::string> numbers;  // List2: each entry's number
    std::vector<std::string> rows;     // List3: the display rows
    int nameLen = 0;                   // Label2: name length of the last entry
    int numStart = 0;                  // Label1: where the last entry's number begins (1-based)
};

inline constexpr char kPaddingChar = char(0xFF);

// A display row: "12." left-aligned in 4 characters (cut to 4), the name
// left-aligned in 17 characters (cut to 17), then the number. Characters, not
// bytes, are counted.
std::string displayRow(int position, const std::string& name, const std::string& number);

// Fills the rows from entries 1..PBCount. An entry without "/" is still listed:
// its number column shows the whole entry and its name is the part before a
// padding byte within the first 20 characters, or else the name of the row before.
EditorRows fillEditorRows(const Phonebook& book, NameView view = NameView::Decoded);

// The name as the list shows it: the alpha field decoded, or its bytes up to
// the padding as Latin-1.
std::string shownName(const std::string& alpha, NameView view);

// The bytes a name may take: the card's alpha field (record length - 14) once
// the card's records are known, otherwise the longest name field of the
// phonebook in memory.
int nameFieldLength(const Phonebook& book);

// Status bar text once the window is filled.
std::string nameLimitText(int nameLength);
// Status bar text while a name is typed: the most characters of the form the
// name is in, and how many are left (or how many too many).
std::string nameStatusText(const std::string& name, int nameLength, NameView view);

// The longest number a record holds: a "+" and 20 digits.
inline constexpr int kMaxNumberChars = 21;

// True when a record can hold the number: an optional leading "+" and up to 20
// of 0-9, "*", "#" and A-E. Otherwise false with the message to show.
bool validNumber(const std::string& number, std::string* message);

// TON from how the number begins: "+" 91; "0" and then no "0" 80; "00" and
// everything else 81.
std::string tonForNumber(const std::string& number);

// The name's bytes for a record: encoded by the name codec (or Latin-1 bytes
// in the bytes view), at most nameLength bytes. False with the message to show
// when it cannot be stored.
bool encodeEditedName(const std::string& name, int nameLength, NameView view, std::string& bytes,
                      std::string* message);

// What the entry dialog was filled with and what it holds when "&OK" is pressed.
struct EntryEdit {
    std::string shownName;
    std::string shownNumber;
    std::string name;
    std::string number;
    NameView view = NameView::Decoded;
};

enum class EditResult { Unchanged, Stored, Refused, Gone };

// tallennamuisti: stores the edited entry at 1-based position.
// - Nothing typed differs from what was shown: the entry stays byte for byte.
// - An unchanged name keeps its bytes (padding included); an unchanged number
//   keeps its TON.
// - A changed name is encoded and padded with FF to nameLength; emptied, it
//   makes the entry unused (padding only, TON "FF", no number), as does an
//   entry left with neither name nor number.
// - A changed number gets the TON its beginning gives.
// Refused (with *message) when the name or number cannot be stored; Gone when
// the position is no longer in the phonebook.
EditResult storeEditedEntry(Phonebook& book, int position, const EntryEdit& edit, int nameLength,
                            std::string* message);

}  // namespace puolukka
