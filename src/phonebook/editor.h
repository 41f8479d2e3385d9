#pragma once

#include <string>
#include <vector>

#include "phonebook/phonebook_state.h"

namespace puolukka {

// The phonebook list window's content, without any window: what its three
// lists and small labels hold after it has filled itself from the phonebook.
// Names are bytes (one char per byte, 0-255), as in the entries.
struct EditorRows {
    std::vector<std::string> names;    // List1: each entry's name without its padding
    std::vector<std::string> numbers;  // List2: each entry's number
    std::vector<std::string> rows;     // List3: the display rows
    int nameLen = 0;                   // Label2: name length of the last entry
    int numStart = 0;                  // Label1: where the last entry's number begins (1-based)
};

inline constexpr char kPaddingChar = char(0xFF);

// A display row: "12." left-aligned in 4 characters (cut to 4), the name
// left-aligned in 17 characters (cut to 17), then the number.
std::string displayRow(int position, const std::string& name, const std::string& number);

// Fills the rows from entries 1..PBCount. An entry without "/" is still listed:
// its number column shows the whole entry and its name is the part before a
// padding byte within the first 20 characters, or else the name of the row before.
EditorRows fillEditorRows(const Phonebook& book);

// Length of entry 1's name part (before its first "/"); -1 when it has none.
int firstNameLength(const Phonebook& book);

// Status bar text once the window is filled.
std::string nameLimitText(int nameLen);

// The longest number a record holds: a "+" and 20 digits.
inline constexpr int kMaxNumberChars = 21;

// True when a record can hold the number: an optional leading "+" and up to 20
// of 0-9, "*", "#" and A-E. Otherwise false with the message to show.
bool validNumber(const std::string& number, std::string* message);
// True when a name can be stored: no "/" (it would end the name in the entry).
bool validName(const std::string& name, std::string* message);

// TON from how the number begins: "+" 91; "0" and then no "0" 80; "00" and
// everything else 81.
std::string tonForNumber(const std::string& number);

// The entry text the editor stores for a name and number: the name padded
// with padding bytes to maxNameLen, "/", TON, "/", the number; an empty name
// makes an unused entry (padding only, TON "FF", no number).
std::string editedEntry(const std::string& name, const std::string& number, int maxNameLen);

// tallennamuisti: stores the edited entry at 1-based position. False (and
// nothing changed) when the position is no longer in the phonebook.
bool storeEditedEntry(Phonebook& book, int position, const std::string& name, const std::string& number,
                      int maxNameLen);

}  // namespace puolukka
