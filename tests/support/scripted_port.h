#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "app/clock.h"
#include "ports/serial_port.h"

namespace puolukka::test {

// A serial port for tests that plays back a script in virtual time: every
// output() takes the next queued reply, whose pieces become readable at their
// given delays after the write. Everything written is recorded; the modem
// lines and the events are plain fields the test sets.
class ScriptedPort : public SerialPort {
public:
    struct Piece {
        int delayMs = 0;  // after the write (or after "now" for deliver())
        std::string bytes;
    };

    explicit ScriptedPort(Clock& clock) : m_clock(clock) {}

    // The reply to the next write that has not got one yet: pieces timed from the write.
    void queueReply(std::vector<Piece> pieces) { m_replies.push_back(std::move(pieces)); }
    void queueReply(const std::string& bytes, int delayMs = 0) { queueReply({Piece{delayMs, bytes}}); }
    // Bytes that arrive on their own, delayMs from now (an answer-to-reset, a late byte).
    void deliver(const std::string& bytes, int delayMs = 0);

    // The reader's tied lines: each byte written is also received at once.
    bool echo = false;
    // The next writes fail (with WriteFailed).
    bool failWrites = false;
    // A device that decodes the card's convention itself (a PC/SC reader).
    bool logicalBytes = false;
    // The next open fails with this error (number 0: opens normally).
    PortError openError;

    bool cd = false;
    bool cts = false;
    bool dsr = false;
    std::deque<int> events;  // handed out by the next pollEvents()
    long long flagged = 0;   // flaggedCharacters()

    std::vector<std::string> writes;          // every successful output(), in order
    std::vector<std::string> settingsHistory; // every accepted setSettings()
    std::vector<std::string> lineChanges;     // "RTS on", "DTR off", ...
    std::vector<std::int64_t> lineChangeTimesUs;  // when each of them was made
    std::vector<std::int64_t> writeTimesUs;       // when each write was made
    int opens = 0;
    int closes = 0;
    int inClears = 0;
    std::vector<std::int64_t> openTimesUs;

    bool setSettings(const std::string& text) override;
    std::string settings() const override { return m_settings; }
    bool setCommPort(int number) override;
    int commPort() const override { return m_commPort; }
    bool setPortOpen(bool open) override;
    bool portOpen() const override { return m_open; }

    bool output(const std::string& bytes) override;
    std::string input() override;
    int inBufferCount() override;
    bool clearInBuffer() override;
    int outBufferCount() override { return 0; }
    bool clearOutBuffer() override { return m_open ? true : fail(port_error::PropertyOnlyWhenOpen, "Operation valid only when the port is open"); }

    bool setRTSEnable(bool on) override { m_rts = on; recordLine(on ? "RTS on" : "RTS off"); return true; }
    bool rtsEnable() const override { return m_rts; }
    bool setDTREnable(bool on) override { m_dtr = on; recordLine(on ? "DTR on" : "DTR off"); return true; }
    bool dtrEnable() const override { return m_dtr; }
    bool setHandshaking(int mode) override { m_handshaking = mode; return true; }
    int handshaking() const override { return m_handshaking; }

    bool cdHolding() override { return cd; }
    bool ctsHolding() override { return cts; }
    bool dsrHolding() override { return dsr; }

    std::vector<int> pollEvents() override;
    bool deliversLogicalBytes() const override { return logicalBytes; }
    long long flaggedCharacters() const override { return flagged; }

    // Bytes scheduled but not yet readable.
    std::size_t pendingCount() const { return m_pending.size(); }

private:
    void recordLine(const char* change) { lineChanges.push_back(change), lineChangeTimesUs.push_back(m_clock.nowUs()); }

    struct Timed {
        std::int64_t atUs;
        std::string bytes;
    };
    void moveArrived();

    Clock& m_clock;
    std::deque<std::vector<Piece>> m_replies;
    std::deque<Timed> m_pending;  // in order of arrival time
    std::string m_received;       // readable now
    std::string m_settings = "9600,N,8,1";
    int m_commPort = 0;
    bool m_open = false;
    bool m_rts = false;
    bool m_dtr = false;
    int m_handshaking = 0;
};

}  // namespace puolukka::test
