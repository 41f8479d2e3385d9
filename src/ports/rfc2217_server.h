#pragma once

#include <string>

#include "ports/rfc2217_protocol.h"
#include "ports/serial_port.h"

namespace puolukka {

// A serial device server for one port: lets a network client drive the port
// through Telnet COM-PORT-OPTION (RFC 2217), on 127.0.0.1 unless told another
// address. RFC 2217 has no authentication: whoever reaches the address drives
// the port (and the card behind it). One client at a time;
// a later one waits until the first has gone. Nothing runs on its own: each
// pump() accepts, moves data both ways, applies the client's commands to the
// port and reports the port's line errors and line changes, without blocking.
class Rfc2217Server {
public:
    // The port must stay alive as long as the server; the server does not open or close it.
    explicit Rfc2217Server(SerialPort& port);
    ~Rfc2217Server();
    Rfc2217Server(const Rfc2217Server&) = delete;
    Rfc2217Server& operator=(const Rfc2217Server&) = delete;

    static constexpr const char* kLoopback = "127.0.0.1";

    // Listens on 127.0.0.1:tcpPort (0 takes a free port, see localPort()).
    bool listen(int tcpPort, std::string* error);
    // Listens on the given local address ("0.0.0.0" or "::" for every one).
    bool listen(const std::string& address, int tcpPort, std::string* error);
    int localPort() const { return m_localPort; }

    // Serves a client connected elsewhere (one end of a socketpair in tests and
    // fuzzing) as if it had been accepted; the server owns the descriptor.
    void adoptClient(int fd);

    void pump();
    // Sleeps until a socket has something or timeoutMs has passed.
    void waitForActivity(int timeoutMs);

    bool clientConnected() const { return m_client >= 0; }
    int clientsServed() const { return m_clientsServed; }
    // Drops the client as a server that goes away would (tests use it).
    void disconnectClient();
    void stop();

private:
    void acceptClient();
    void readClient();
    // Hands the client's data received so far to the port.
    void writeToPort();
    void handleItem(const rfc2217::TelnetItem& item);
    void handleOption(unsigned char verb, unsigned char option);
    void handleComPort(const std::string& bytes);
    void applySettings(const rfc2217::LineSettings& s);
    rfc2217::LineSettings currentSettings() const;
    void reply(unsigned char command, const std::string& value);
    unsigned char lineStates();
    void forwardPort();
    void flush();

    SerialPort& m_port;
    int m_listener = -1;
    int m_localPort = 0;
    int m_client = -1;
    int m_clientsServed = 0;

    rfc2217::TelnetReader m_reader;
    std::string m_toClient;
    std::string m_toPort;
    bool m_sentDo[256] = {};
    bool m_sentWill[256] = {};
    // Until the client sets them: no line-state reports, every modem line reported.
    unsigned char m_lineMask = 0;
    unsigned char m_modemMask = 0xFF;
    unsigned char m_modemStates = 0;  // high nibble as last reported
    bool m_modemReported = false;
};

}  // namespace puolukka
