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

// A phonebook file is one entry a line, each line ended by CR LF, one byte per
// character (the padding bytes 255 of the names included).
// The lines of a file's content; a last line without its CR LF counts the same.
std::vector<std::string> phonebookFileLines(const std::string& content);
// The file's content for entries 1..PBCount.
std::string phonebookFileText(const Phonebook& book);

}  // namespace puolukka
