#pragma once

#include <string>
#include <vector>

namespace puolukka {

// Whether an entry can go to a card exactly as it reads: the checks a
// phonebook file gets when it is opened and every entry gets before a write.
// A write never stores an entry that fails them (its record keeps what the
// card holds), so no character is ever turned into something else.

// The reason, in Finnish, why an entry cannot be written exactly; empty when it can:
// - fewer than two "/" (not the form name/TON/number);
// - a TON that is not one or two hex digits (the program writes TON without a leading zero);
// - a number with a character outside + 0-9 * # A-E, a "+" anywhere but first,
//   a leading "+" while the TON is not 91 or 90 (the card would keep the
//   digits without it), or more than the 20 digits a record holds;
// - a line break (CR or LF) in a name. Names in UCS2 (first byte 80, 81 or 82,
//   GSM 11.11 Annex B) are exempt: there bytes 0A and 0D belong to characters.
// An unused entry (no name, TON FF) is always writable.
std::string entryProblem(const std::string& entry);

// The entry as users mean it: the separators people type in numbers (blank,
// "-", ".", "(", ")") dropped from the number, the TON's hex digits in upper
// case. Entries without the three fields come back unchanged.
std::string tidyEntry(const std::string& entry);

// One entry that cannot be written exactly, for the messages that list them.
struct EntryFault {
    int position = 0;  // where it is: a line of a file or a position of the phonebook
    std::string reason;
};

// The faults of entries[1..] (element 0 unused) with their positions;
// positions[k] gives entry k's position, or k itself when positions is empty.
std::vector<EntryFault> entryFaults(const std::vector<std::string>& entries, const std::vector<int>& positions = {});

// "rivi 12: numerossa ..." lines for the first few faults, then how many more.
std::string faultList(const std::vector<EntryFault>& faults, const std::string& positionWord);

// A name as message text: without its padding, Latin-1 characters as UTF-8,
// control characters as blanks.
std::string printableName(const std::string& name);

}  // namespace puolukka
