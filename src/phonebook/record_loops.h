#pragma once

#include <string>
#include <vector>

namespace puolukka {

struct App;

// How a record loop of a phonebook transfer ended.
enum class LoopOutcome {
    Done,      // every record was sent its command
    LineLost,  // the port failed or nothing came back, not even the echo
    CardMute,  // the reader echoed but the card stopped answering
};

// READ RECORD 1..count of the selected EF (absolute mode, P3 = recLenText).
// Each answer goes into entries[i] as the record followed by its two status
// bytes (what RecordToEntry expects); an answer that ended early keeps what
// arrived after the echo and procedure byte. entries is re-created with
// elements 0..count. Shows the progress window, the "." marks and RinProc2.
LoopOutcome readAdnRecords(App& app, int count, const std::string& recLenText,
                           std::vector<std::string>& entries);

// UPDATE RECORD i with records[i] for i = 1..records.size()-1 (element 0 is
// unused). A record is marked "." when the card answered 90 00, "X" otherwise;
// a card that refuses the header with a status word is not sent the record.
LoopOutcome writeAdnRecords(App& app, const std::vector<std::string>& records,
                            const std::string& recLenText);

// The message that ends a transfer cut short by the line or the card.
std::string loopOutcomeText(LoopOutcome outcome);

}  // namespace puolukka
