#pragma once

#include <string>
#include <vector>

namespace puolukka {

// The phonebook held in memory: one entry text per card record,
// name "/" TON "/" number (see conversions/adn_codec.h).
struct Phonebook {
    std::vector<std::string> PBEntry = std::vector<std::string>(1);  // elements 1..PBCount used
    int PBCount = 0;            // 0: no phonebook in memory
    int CardRecLen = 0;         // record length of EF ADN learned by the last read or write
    int RecLenWarning = 0;      // 1: the record-length warning may still be shown in this write
    std::vector<std::string> CardRecord;  // records built by the current write
    int EditorOpen = 0;         // 1 while the list window PhoneEdit is shown: Term stays disabled
    // True when the phonebook holds changes that are neither in a file nor on
    // a card: set by whatever changes entries in place (the entry editor, an
    // import of contacts); cleared when a phonebook is read from a card or
    // opened from a file, when it is saved, and when a write put every entry
    // on the card. Quitting asks whether to save while it is set.
    bool Changed = false;
};

}  // namespace puolukka
