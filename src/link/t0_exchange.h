#pragma once

#include <string>

namespace puolukka {

struct App;

// How one T=0 answer ended.
enum class T0Status {
    Complete,    // echo, procedure byte and everything that was to follow it
    StatusWord,  // echo, then a status word instead of the procedure byte: the command ended early
    Incomplete,  // something beyond the echo arrived, but not the whole answer, within the time-out
    Mute,        // the echo came back but the card sent nothing after it
    NoAnswer,    // nothing at all arrived, not even the echo: the reader is gone
    PortFailed,  // the port is closed or refused the bytes
};

struct T0Answer {
    T0Status status = T0Status::NoAnswer;
    std::string bytes;   // everything received, in direct convention
    std::string data;    // the data bytes that followed the procedure byte(s)
    std::string status2; // SW1 SW2 when they arrived, else empty

    bool ok() const { return status2 == std::string("\x90\x00", 2); }
    // True when the line itself failed: the transfer cannot go on.
    bool lineLost() const { return status == T0Status::NoAnswer || status == T0Status::PortFailed; }
};

// What the caller expects back after writing echoLen bytes to the reader
// (the reader's I/O line echoes every byte written).
struct T0Expect {
    int echoLen = 5;
    // The procedure byte the card sends after a header (its INS), or -1 when
    // none is due: after a command's data block only the status word comes.
    int ins = -1;
    // Bytes the card sends after the procedure byte, followed by the status
    // word; -1 when the card now waits for the command's own data instead.
    int dataLen = 0;
    int timeoutMs = 1000;
};

// Writes bytes (direct convention; transformed under inverse convention) and
// reads the answer by the T=0 rules: the echo, NULL bytes (60) skipped, then
// the procedure byte and its data and status word, or a status word (SW1 6x or
// 9x) that ends the command. Returns as soon as the answer is complete, polling
// the port in small steps, and gives up after timeoutMs. Bytes left over from
// an earlier answer are dropped before writing, so each exchange starts in step.
T0Answer exchangeT0(App& app, const std::string& bytes, const T0Expect& expect);

// The receive half of exchangeT0 alone, for bytes that were already written.
T0Answer receiveT0(App& app, const T0Expect& expect);

}  // namespace puolukka
