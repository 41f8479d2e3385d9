#pragma once

#include <string>
#include <vector>

#include "conversions/adn_codec.h"
#include "phonebook/entry_check.h"
#include "phonebook/phonebook_state.h"

namespace puolukka {

// What writing the phonebook does to a card whose records are known: the
// record each position will hold, and which records differ from what the card
// holds now. Only those are sent, so the card ends exactly as a full write
// would leave it, with nothing else touched.
struct WritePlan {
    int covered = 0;                   // records the phonebook reaches: min(PBCount, the card's records)
    std::vector<std::string> records;  // element i: record i after the write (1..covered; 0 unused)
    std::vector<int> changed;          // record numbers whose bytes differ from the card's, ascending
    // Entries that cannot be written exactly (entryProblem): their records keep the card's bytes.
    std::vector<EntryFault> skipped;
    RecLenNotice notice = RecLenNotice::None;  // the record-length warning of this write, if any
};

// card: the card's records now, element 0 unused, each recLen bytes.
// A record whose entry reads the same as the card's record (names compared
// without their padding) keeps the card's bytes as they are: an unchanged
// entry never rewrites a record, whatever the record holds that the entry text
// does not show (a number continued in EF EXT1, a capability byte, a length
// byte of a name-only contact). Other entries are built by EntryToRecord.
WritePlan planWrite(const Phonebook& book, const std::vector<std::string>& card, int recLen);

// True when two entries say the same: the names without padding, the TON and the number.
bool sameEntry(const std::string& a, const std::string& b);

}  // namespace puolukka
