#pragma once

#include <string>
#include <vector>

#include "phonebook/phonebook_state.h"

namespace puolukka {

struct App;

// Opens a phonebook file into memory ("Avaa luettelo").
void avaa(App& app);
// Saves the phonebook in memory to a file ("Tallenna luettelo").
void SavePB_Click(App& app);

// Asks before the phonebook in memory is replaced (by a file or by the card);
// the answer's code (6 Yes, 7 No) is kept in AnswerHex as the program always has.
bool confirmReplace(App& app);

// The whole file, byte for byte (at most 16 MB); false with the reason when
// it cannot be read.
bool readFileContent(const std::string& path, std::string& content, std::string& reason);
// Writes the content beside the target and renames it over the target, so
// that an earlier file is either replaced whole or left as it was.
bool writeFileSafely(const std::string& path, const std::string& content, std::string& reason);

// A phonebook file is one entry a line, each line ended by CR LF, one byte per
// character (the padding bytes 255 of the names included).
//
// The entries of a file's content; a last line without its line end counts
// the same. CR LF always ends an entry. A lone LF ends one too when the text
// before it is a whole entry (name/TON/number with a TON of hex digits) or
// empty, so a file whose later lines were added with LF line ends keeps every
// entry; otherwise the LF is part of a name (a UCS2 name can hold the byte 0A).
// A file without any CR LF is split at every LF. A lone CR never ends an entry.
// lineNumbers, when given, receives each entry's first line (1-based), element
// 0 unused, as the entries' own vector is indexed from 1 in the phonebook.
std::vector<std::string> phonebookFileLines(const std::string& content, std::vector<int>* lineNumbers = nullptr);
// The file's content for entries 1..PBCount.
std::string phonebookFileText(const Phonebook& book);
// The first entry (1-based) that the file text of the phonebook would not give
// back as it is (a name holding CR LF, or a line break after something that
// reads as a whole entry); 0 when the file keeps every entry.
int firstEntryLostInFile(const Phonebook& book);

// The most entries a phonebook file may hold: a card has at most 255 records,
// so a file of many more lines is not a phonebook, and is refused before it is
// split (a file of millions of short lines would stall the window).
inline constexpr std::size_t kMaxFileEntries = 1000;

// Before the program ends: with a phonebook changed since it was last read,
// opened, saved or written, asks whether to save it ("Tallenna" / "Älä
// tallenna" / "Peruuta"). Returns true when the program may end: the
// phonebook was saved, the user chose not to save, or nothing was changed.
bool askSaveBeforeQuit(App& app);

}  // namespace puolukka
