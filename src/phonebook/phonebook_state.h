#pragma once

#include <string>
#include <vector>

namespace puolukka {

// The card's EF ADN records as this program last read or wrote them, so that
// a write knows what the card holds without reading it again. Trusted only for
// the same card (ICCID) in the same card session (CardState::CardSession: no
// reset or card change since) and the same record length and count.
struct CardCopy {
    std::string iccid;
    int session = -1;
    int recLen = 0;
    std::vector<std::string> records;  // element 0 unused
};

// The phonebook held in memory: one entry text per card record,
// name "/" TON "/" number (see conversions/adn_codec.h).
struct Phonebook {
    std::vector<std::string> PBEntry = std::vector<std::string>(1);  // elements 1..PBCount used
    int PBCount = 0;            // 0: no phonebook in memory
    int CardRecLen = 0;         // record length of EF ADN learned by the last read or write
    int RecLenWarning = 0;      // 1: the record-length warning may still be shown in this write
    int EditorOpen = 0;         // 1 while the list window PhoneEdit is shown: Term stays disabled
    // True when the phonebook holds changes that are neither in a file nor on
    // a card: set by whatever changes entries in place (the entry editor, an
    // import of contacts); cleared when a phonebook is read from a card or
    // opened from a file, when it is saved, and when a write put every entry
    // on the card. Quitting asks whether to save while it is set.
    bool Changed = false;
    CardCopy LastCard;
};

}  // namespace puolukka
