#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "ports/line_parameters.h"
#include "ports/serial_port.h"

namespace puolukka {

// Undoes the marking of received bytes that the terminal driver does for us
// (input parity checking with marking on): a byte with a parity or framing
// error x arrives as FF 00 x, a break as FF 00 00 and a data byte FF as FF FF.
// A marker may be cut between two reads, so the parser keeps where it stands.
class LineMarkParser {
public:
    struct Item {
        unsigned char value = 0;
        bool marked = false;  // true: a byte the driver marked as faulty (value 0 may be a break)
    };

    // Appends the items of the next received bytes to out.
    void feed(const char* data, std::size_t size, std::vector<Item>& out);
    void feed(const std::string& data, std::vector<Item>& out) { feed(data.data(), data.size(), out); }
    // Forgets a marker that was cut (after the receive buffer has been flushed).
    void reset() { m_state = State::Plain; }
    bool insideMarker() const { return m_state != State::Plain; }

private:
    enum class State { Plain, SawFF, SawFF00 };
    State m_state = State::Plain;
};

// A serial device of the machine (a serial port or a USB-serial adapter) in raw
// mode. Properties set while closed are applied when the port opens. Line
// errors are learned from the marked bytes and the driver's error counters,
// modem line changes from the line states; pollEvents() reports both.
//
// A pseudo-terminal has no modem lines and ignores parity: setting RTS or DTR
// there fails with LineControlFailed, the line states read as off, and plain
// bytes go through as usual.
class PosixSerialPort : public SerialPort {
public:
    explicit PosixSerialPort(std::string device);
    ~PosixSerialPort() override;
    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    const std::string& device() const { return m_device; }
    // The open file descriptor (-1 when closed), for waiting on input.
    int nativeHandle() const { return m_fd; }
    // False once the device has shown that it has no modem lines (a pseudo-terminal).
    bool hasModemLines() const { return !m_noModemLines; }
    // True when the device took the settings but not the parity (a pseudo-terminal).
    bool parityIgnored() const { return m_parityIgnored; }

    bool setSettings(const std::string& text) override;
    std::string settings() const override { return m_settingsText; }
    bool setCommPort(int number) override;
    int commPort() const override { return m_commPort; }
    bool setPortOpen(bool open) override;
    bool portOpen() const override { return m_fd >= 0; }

    bool output(const std::string& bytes) override;
    std::string input() override;
    int inBufferCount() override;
    bool clearInBuffer() override;
    int outBufferCount() override;
    bool clearOutBuffer() override;

    bool setRTSEnable(bool on) override;
    bool rtsEnable() const override { return m_rts; }
    bool setDTREnable(bool on) override;
    bool dtrEnable() const override { return m_dtr; }
    bool setHandshaking(int mode) override;
    int handshaking() const override { return m_handshaking; }

    bool cdHolding() override;
    bool ctsHolding() override;
    bool dsrHolding() override;

    std::vector<int> pollEvents() override;
    long long flaggedCharacters() const override { return m_flagged; }

    // Takes bytes as the driver delivers them (markers included) into the receive
    // buffer; every read goes through here.
    void acceptDriverBytes(const char* data, std::size_t size);
    void acceptDriverBytes(const std::string& data) { acceptDriverBytes(data.data(), data.size()); }

private:
    struct ErrorCounts {
        int cts = 0, dsr = 0, rng = 0, dcd = 0;
        int frame = 0, overrun = 0, parity = 0, brk = 0;
    };

    bool applyLineSettings(const LineParameters& params, int handshaking);
    bool setModemLine(int bit, bool on, const char* name);
    // Reads everything the driver holds into m_buffer; false when the device failed.
    bool drain();
    void takeItem(const LineMarkParser::Item& item);
    bool readErrorCounts(ErrorCounts& counts);
    // The modem line bits (TIOCM_*), or -1 when they cannot be read.
    int modemBits();
    bool failErrno(int number, const std::string& what, int err);
    void closeAfterFailure(const std::string& what, int err);

    std::string m_device;
    int m_fd = -1;
    int m_commPort = 0;
    std::string m_settingsText = "9600,N,8,1";
    LineParameters m_params;
    int m_handshaking = 0;
    bool m_rts = false;
    bool m_dtr = false;

    std::string m_buffer;  // received bytes, markers undone
    LineMarkParser m_parser;
    std::vector<int> m_pending;  // events found while reading, handed out by pollEvents
    bool m_newData = false;
    bool m_sendWatch = false;
    long long m_flagged = 0;  // characters marked with a parity or framing error

    bool m_noModemLines = false;
    bool m_noCounters = false;
    bool m_parityIgnored = false;
    int m_lastModemBits = -1;
    bool m_countsValid = false;
    ErrorCounts m_counts;    // the driver's counters at the last poll
    ErrorCounts m_assigned;  // errors already told apart from marked bytes since then
};

}  // namespace puolukka
