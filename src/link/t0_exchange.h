#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace puolukka {

class Clock;
class SerialPort;

// ISO 7816-3 T=0 over the reader: the card's I/O line is tied to both TXD and
// RXD, so every byte written comes back as an echo ahead of the card's own.
// After a command header the card answers with procedure bytes (10.3.3):
// INS: all remaining data follow (either way); the complement of INS: one data
// byte follows; 60 (NULL): the card needs more time; 6X (X not 0) or 9X: the
// first byte of the status word, which ends the command.

inline constexpr unsigned char kNullByte = 0x60;

// GSM 11.11 9.2: the card sends the data of READ BINARY, READ RECORD, GET
// RESPONSE, STATUS and FETCH; every other command's data go to the card.
bool cardSendsData(unsigned char ins);

// How one answer ended.
enum class T0Status {
    Complete,    // everything expected arrived
    StatusWord,  // a status word came instead of the procedure byte: the command ended early
    Incomplete,  // the card sent something, but not the whole answer, before it fell silent
    Mute,        // the echo came back but the card sent nothing (or only NULL bytes) after it
    NoAnswer,    // nothing at all arrived, not even the echo: the reader is gone
    PortFailed,  // the port is closed or refused the bytes
    NotSent,     // the card had not asked for data: nothing was written
    LineError,   // the card answered, but a character came with a parity or framing error: none of it can be trusted
};

// What the host waits for after one write of echoLen bytes.
struct T0Expect {
    enum class Until {
        Echo,           // the echo alone: the card waits for more of the command's data
        Procedure,      // a procedure byte (INS or its complement) or a status word
        StatusWord,     // the status word that ends the command
        DataAndStatus,  // dataLen bytes from the card after procedure bytes, then the status word
    };
    int echoLen = 5;
    Until until = Until::StatusWord;
    int ins = -1;     // the command's instruction byte (Procedure, DataAndStatus)
    int dataLen = 0;  // DataAndStatus: bytes the card sends
};

// What the bytes received so far (logical bytes, echo first) make of the
// expected answer. A pure function of its input: the fuzzer calls it.
struct T0Progress {
    bool done = false;      // the answer is complete; status says how it ended
    T0Status status = T0Status::Incomplete;
    std::string echo;       // the echo as it came back (up to echoLen bytes)
    std::string data;       // data bytes the card sent after procedure bytes
    std::string status2;    // SW1 SW2 when they came, else empty
    int procedure = -1;     // the last procedure byte (INS or its complement); -1 when none came
    int nulls = 0;          // NULL bytes (60) skipped
    bool substance = false; // the card sent something beyond the echo other than NULL bytes
};
T0Progress parseT0(std::string_view received, const T0Expect& expect);

// The answer of one write.
struct T0Answer {
    T0Status status = T0Status::NoAnswer;
    std::string received;  // every byte that arrived, logical (NULL bytes and all)
    std::string echo;      // the echo of what was written, as it came back
    // The answer as a card that answers at once puts it on the line: the echo,
    // INS when a procedure byte came, the data and the status word. NULL bytes
    // and the procedure bytes of a byte-at-a-time transfer are left out, so a
    // slow card is shown and decoded exactly like a prompt one.
    std::string line;
    std::string data;
    std::string status2;
    int procedure = -1;

    bool ok() const { return status2 == std::string("\x90\x00", 2); }
    // True when the line itself failed: nothing more can be said to the card.
    bool lineLost() const { return status == T0Status::NoAnswer || status == T0Status::PortFailed; }
    // True when the card itself said something.
    bool cardAnswered() const
    {
        return status == T0Status::Complete || status == T0Status::StatusWord || status == T0Status::Incomplete
               || status == T0Status::LineError;
    }
};

// The line to the card as the exchange needs it.
struct T0Line {
    SerialPort* port = nullptr;
    Clock* clock = nullptr;
    bool inverse = false;              // bytes both ways pass through InverseByte
    std::int64_t waitUs = 1'000'000;   // work waiting time: the longest silence after a character
};

// The work waiting time of ISO 7816-3 10.2 in microseconds: etu bit times at the given speed.
std::int64_t waitingTimeUs(int etu, long baud);

// Writes bytes (logical; transformed under the inverse convention) and reads
// the answer until it is complete, returning at once then. Each character that
// arrives gives the card the whole work waiting time again, so NULL bytes keep
// a slow card's answer alive. Bytes left over from an earlier answer are
// dropped before writing, so each exchange starts in step. An answer in which
// the port flagged a character (SerialPort::flaggedCharacters) is LineError:
// T=0 has no check of its own, so a data byte hit on the line would otherwise
// be taken as the card's.
T0Answer exchangeT0(const T0Line& line, const std::string& bytes, const T0Expect& expect);

// One command: its header, then its data as the card asks for them.
class T0Command {
public:
    explicit T0Command(const T0Line& line) : m_line(line) {}

    // Sends the five header bytes and follows the card: for a command whose data
    // the card sends, until they and the status word are in; otherwise until the
    // card asks for the data with a procedure byte, or ends the command with a
    // status word (a command without data: until its status word).
    T0Answer sendHeader(const std::string& header);
    // Sends (part of) the command's data as the card asks for them: all at once
    // after INS, one byte after each complement of INS. Returns once the card
    // has taken them and, when they were the last, has sent its status word.
    // Nothing is written when the card has not asked for data (NotSent).
    T0Answer sendData(const std::string& data);
    // The card has asked for data and not all of them have been sent.
    bool wantsData() const { return m_remaining > 0 && m_procedure >= 0; }

private:
    T0Line m_line;
    int m_ins = -1;
    int m_remaining = 0;  // data bytes still to go to the card
    int m_procedure = -1; // the procedure byte the card sent last
};

}  // namespace puolukka
