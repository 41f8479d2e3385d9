#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/card_description.h"

namespace puolukka::sim {

// One line of the card's own record of what it heard and said, for tests.
// Bytes are the card's logical bytes (after the convention transform).
struct TraceEntry {
    enum class Kind { Atr, Command, Ignored };
    Kind kind = Kind::Command;
    std::string command;  // header followed by the data bytes received
    std::string answer;   // procedure byte, data and status word sent (the ATR for Kind::Atr)
    std::string note;     // why bytes were ignored
    // The last two bytes sent as four hex digits ("9000"); empty when fewer.
    std::string statusWord() const;
};

// What the card sends in answer to one received byte, and how long it thinks
// first. The first nulls bytes are NULL bytes (60), each followed by
// nullIntervalUs of silence.
struct Reaction {
    std::string bytes;
    std::int64_t delayUs = 0;
    int nulls = 0;
    std::int64_t nullIntervalUs = 0;
};

// A GSM SIM card (GSM 11.11) speaking T=0 (ISO 7816-3) one byte at a time.
class SimCard {
public:
    explicit SimCard(CardDescription description);

    // Fresh state after a reset or insertion: MF selected, no code verified, no command pending.
    void powerUp();
    // The answer to reset; recorded in the trace.
    std::string answerToReset();
    // One byte from the reader; returns what the card answers (maybe nothing).
    Reaction receive(std::uint8_t byte);
    // A byte the card could not take (parity fault, card busy): it waits for a new header.
    void ignore(std::uint8_t byte, const std::string& why);

    // Worn memory, for tests: record numbers (of any record file) the card
    // cannot read or update (92 40, memory problem, GSM 11.11 9.4.5), and
    // records whose update it acknowledges with 90 00 while storing the first
    // byte complemented.
    std::vector<int> failingRecords;
    std::vector<int> corruptingRecords;

    const CardDescription& description() const { return m_card; }
    CardDescription& description() { return m_card; }
    // True once after something that belongs in the card file changed (records, codes, counters).
    bool takeChanged();

    // Inspection for tests and tools.
    std::string recordOf(std::uint16_t fileId, int number) const;  // empty when there is none
    std::string binary(std::uint16_t fileId) const;                 // whole content of a file
    bool setRecord(std::uint16_t fileId, int number, const std::string& bytes);
    int fileIndex(std::uint16_t fileId) const;  // first file with that id, -1 when none
    std::uint16_t currentDirectoryId() const;
    std::uint16_t currentFileId() const;  // 0 when no EF is selected
    bool chv1Verified() const { return m_chv1Verified; }
    bool chv2Verified() const { return m_chv2Verified; }
    bool commandPending() const { return !m_header.empty(); }

    const std::vector<TraceEntry>& trace() const { return m_trace; }
    void clearTrace() { m_trace.clear(); }

    // Descriptions as GET RESPONSE returns them.
    std::string directoryDescription(int index) const;
    std::string fileDescription(int index) const;

private:
    struct HeaderResult {
        std::string sw;         // answer at once with this status word
        std::string outgoing;   // or: procedure byte, these bytes, 90 00
        int incoming = -1;      // or: procedure byte, then wait for this many data bytes
    };
    HeaderResult onHeader();
    // The answer as it goes on the line, NULL bytes first; kept in the trace.
    Reaction answer(const std::string& bytes, std::int64_t delayUs, int nulls);
    std::string onData();
    bool accessGranted(std::uint8_t level) const;
    int resolveRecord(int mode, int number, bool forUpdate, std::string* sw);
    std::string verifyCode(SecretCode& code, const std::string& presented, bool* verified);
    std::string description(int index) const;

    CardDescription m_card;
    int m_currentDf = 0;
    int m_currentEf = -1;
    int m_currentRecord = 0;  // 0: none
    bool m_chv1Verified = false;
    bool m_chv2Verified = false;
    std::string m_pendingResponse;
    std::string m_header;
    std::string m_data;
    int m_expected = 0;
    bool m_inData = false;
    int m_resolvedRecord = 0;
    bool m_changed = false;
    std::vector<TraceEntry> m_trace;
};

}  // namespace puolukka::sim
