#pragma once

#include <string>
#include <vector>

namespace puolukka {

struct App;

// How a record loop of a phonebook transfer ended.
enum class LoopOutcome {
    Done,      // every record was done
    LineLost,  // the port failed or nothing came back, not even the echo
    CardMute,  // the reader echoed but the card stopped answering
    Refused,   // the card refused a record (a status word other than 90 00) or sent it short
    Differs,   // a record written and read back holds other bytes than were written
    Broken,    // the card's answer came cut short or with a character the port flagged (parity error)
};

struct LoopResult {
    LoopOutcome outcome = LoopOutcome::Done;
    int record = 0;            // the record the loop stopped at (0 when Done)
    std::string statusWord;    // the card's status word there as "98 04"; empty when none came
    std::vector<int> written;  // a write: the records written and read back the same, in order
    // A write: the record the loop stopped at had been sent to the card, so it
    // may hold its old bytes, the new ones or others.
    bool unsure = false;
};

// READ RECORD 1..count of the selected EF (absolute mode, P3 = recLenText).
// Each answer goes into records[i] as the record followed by its two status
// bytes (what RecordToEntry expects); records is re-created with elements
// 0..count. A record counts as read only when it came whole with 90 00: any
// other answer stops the loop (Refused). Shows the progress window, the "."
// marks and RinProc2.
LoopResult readAdnRecords(App& app, int count, const std::string& recLenText, std::vector<std::string>& records);

// UPDATE RECORD n with records[n] for each n of numbers (records[0] unused),
// each read back at once with READ RECORD and compared. Stops at the first
// record the card refuses (a status word instead of the procedure byte, or
// after the data; marked "X") or that reads back different (Differs); a record
// written and read back the same is marked ".". A record whose data went to
// the card and that was not read back the same is unsure: the card may have
// stored it, or part of it, whatever its answer said or did not say. The progress window shows
// "Kirjoitetaan muistia" with room for numbers.size() + 2 steps.
LoopResult writeAdnRecords(App& app, const std::vector<std::string>& records, const std::vector<int>& numbers,
                           const std::string& recLenText);

// What stopped a loop, for the message that ends the transfer: the Finnish
// text of its outcome and record. Empty for Done.
std::string loopOutcomeText(const LoopResult& result);

// Record numbers as a short text: runs as "1–4", at most a dozen runs before
// ", ..." stands for the rest ("1–4, 7, 9"); every run when whole is set.
std::string recordList(const std::vector<int>& numbers, bool whole = false);

// The ICCID of the card (EF 2FE2 under the MF) as digits; empty when the card
// has none or does not give it. Selects the MF on the way, showing nothing.
std::string readIccid(App& app);

// The progress window Form2 of the transfers.
void showProgress(App& app, const std::string& caption, int maximum);
void hideProgress(App& app);

}  // namespace puolukka
