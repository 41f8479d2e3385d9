#pragma once

#include <deque>
#include <string>
#include <vector>

#include "app/clock.h"
#include "ports/rfc2217_protocol.h"
#include "ports/serial_port.h"

namespace puolukka {

// A serial port on another machine, reached through a serial device server
// that speaks Telnet COM-PORT-OPTION (RFC 2217) over TCP. Opening connects and
// negotiates; from then on every call pumps the socket without blocking, so
// the port works in the single user-interface thread like a local one.
// Closing the port closes the connection.
class Rfc2217Port final : public SerialPort {
public:
    // address is "host:port" ("rfc2217://host:port" and "[v6addr]:port" are taken too).
    // The clock paces the wait for the server's answers while opening.
    Rfc2217Port(Clock& clock, const std::string& address);
    ~Rfc2217Port() override;
    Rfc2217Port(const Rfc2217Port&) = delete;
    Rfc2217Port& operator=(const Rfc2217Port&) = delete;

    // "rfc2217://host:port", the name used in error descriptions.
    const std::string& name() const { return m_name; }

    bool setSettings(const std::string& text) override;
    std::string settings() const override { return m_settings; }
    bool setCommPort(int number) override;
    int commPort() const override { return m_commPort; }
    bool setPortOpen(bool open) override;
    bool portOpen() const override { return m_fd >= 0; }
    // Opens the port on a connection made elsewhere (one end of a socketpair in
    // tests and fuzzing) and negotiates as setPortOpen(true) does. The port owns
    // the descriptor from then on, whether or not the negotiation succeeds.
    bool openConnected(int fd);

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

    // How long opening waits for the connection and for the server's answers.
    static constexpr int kConnectTimeoutMs = 2000;
    static constexpr int kNegotiationTimeoutMs = 2000;
    // Received bytes kept at most; beyond it bytes are dropped and RxOver is reported.
    static constexpr std::size_t kMaxInBuffer = 1 << 20;

private:
    struct TxSegment {
        std::string bytes;   // as they go on the wire
        std::size_t dataBytes = 0;  // line data they carry (0 for a command)
    };
    enum class ComPortState { Asked, Accepted, Refused };

    bool connectSocket();
    bool negotiate();
    void closeSocket();
    // Moves whatever the socket allows both ways; false once the connection is gone.
    bool pump();
    bool flushTx();
    void queue(std::string bytes, std::size_t dataBytes = 0);
    void sendComPort(unsigned char command, const std::string& value);
    void sendLineSettings();
    void handleItem(const rfc2217::TelnetItem& item);
    void handleOption(unsigned char verb, unsigned char option);
    void handleComPort(const std::string& bytes);
    void handleModemState(unsigned char state);
    // The connection broke: close it, keep the reason and record the error; the
    // modem lines that were on drop, each with its event, as a pulled cable's would.
    void lose(int number, const std::string& reason);
    // Records why an operation cannot run on a closed or lost port.
    bool failClosed(int lostNumber);
    bool modemLine(unsigned char bit);

    Clock& m_clock;
    std::string m_host;
    std::string m_service;
    std::string m_name;
    bool m_addressValid = false;

    int m_fd = -1;
    std::string m_lostReason;  // set when the server went away under an open port
    ComPortState m_comPort = ComPortState::Asked;
    bool m_lineReady = false;  // the server has answered the last command of the opening
    bool m_sentDo[256] = {};
    bool m_sentWill[256] = {};

    rfc2217::TelnetReader m_reader;
    std::deque<TxSegment> m_tx;
    std::size_t m_txSent = 0;  // bytes of m_tx.front() already sent
    std::string m_rx;
    bool m_newData = false;
    std::vector<int> m_events;

    std::string m_settings = "9600,N,8,1";
    int m_commPort = 1;
    bool m_rts = false;
    bool m_dtr = false;
    int m_handshaking = 0;
    unsigned char m_modemState = 0;
    bool m_modemStateKnown = false;
};

}  // namespace puolukka
