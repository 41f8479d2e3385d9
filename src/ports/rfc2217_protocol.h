#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The Telnet framing and COM-PORT-OPTION (option 44) vocabulary shared by the
// network port and the device server: byte values, IAC escaping, a stream
// reader that survives commands split across reads, and the port parameter
// text in its wire form.
namespace puolukka::rfc2217 {

inline constexpr unsigned char kIac = 255;
inline constexpr unsigned char kDont = 254;
inline constexpr unsigned char kDo = 253;
inline constexpr unsigned char kWont = 252;
inline constexpr unsigned char kWill = 251;
inline constexpr unsigned char kSb = 250;
inline constexpr unsigned char kSe = 240;

inline constexpr unsigned char kOptBinary = 0;
inline constexpr unsigned char kOptSuppressGoAhead = 3;
inline constexpr unsigned char kOptComPort = 44;

// Commands from the client; the server answers with the same number plus 100.
inline constexpr unsigned char kSetBaudrate = 1;
inline constexpr unsigned char kSetDatasize = 2;
inline constexpr unsigned char kSetParity = 3;
inline constexpr unsigned char kSetStopsize = 4;
inline constexpr unsigned char kSetControl = 5;
inline constexpr unsigned char kNotifyLinestate = 6;
inline constexpr unsigned char kNotifyModemstate = 7;
inline constexpr unsigned char kFlowSuspend = 8;
inline constexpr unsigned char kFlowResume = 9;
inline constexpr unsigned char kSetLinestateMask = 10;
inline constexpr unsigned char kSetModemstateMask = 11;
inline constexpr unsigned char kPurgeData = 12;
inline constexpr unsigned char kServerOffset = 100;

// SET-CONTROL values.
inline constexpr unsigned char kControlFlowQuery = 0;
inline constexpr unsigned char kControlFlowNone = 1;
inline constexpr unsigned char kControlFlowXonXoff = 2;
inline constexpr unsigned char kControlFlowHardware = 3;
inline constexpr unsigned char kControlBreakQuery = 4;
inline constexpr unsigned char kControlBreakOn = 5;
inline constexpr unsigned char kControlBreakOff = 6;
inline constexpr unsigned char kControlDtrQuery = 7;
inline constexpr unsigned char kControlDtrOn = 8;
inline constexpr unsigned char kControlDtrOff = 9;
inline constexpr unsigned char kControlRtsQuery = 10;
inline constexpr unsigned char kControlRtsOn = 11;
inline constexpr unsigned char kControlRtsOff = 12;

// PURGE-DATA values: the server's receive buffer holds what travels towards
// the client, its transmit buffer what travels towards the line.
inline constexpr unsigned char kPurgeReceive = 1;
inline constexpr unsigned char kPurgeTransmit = 2;
inline constexpr unsigned char kPurgeBoth = 3;

// NOTIFY-LINESTATE bits.
inline constexpr unsigned char kLineDataReady = 0x01;
inline constexpr unsigned char kLineOverrun = 0x02;
inline constexpr unsigned char kLineParity = 0x04;
inline constexpr unsigned char kLineFraming = 0x08;
inline constexpr unsigned char kLineBreak = 0x10;

// NOTIFY-MODEMSTATE bits: line states in the high nibble, changes in the low one.
inline constexpr unsigned char kModemCd = 0x80;
inline constexpr unsigned char kModemRi = 0x40;
inline constexpr unsigned char kModemDsr = 0x20;
inline constexpr unsigned char kModemCts = 0x10;
inline constexpr unsigned char kModemDeltaCd = 0x08;
inline constexpr unsigned char kModemRingEnded = 0x04;
inline constexpr unsigned char kModemDeltaDsr = 0x02;
inline constexpr unsigned char kModemDeltaCts = 0x01;

// Data bytes with every 0xFF doubled, as they travel inside the Telnet stream.
std::string escapeData(const std::string& bytes);
// IAC <verb> <option>.
std::string optionCommand(unsigned char verb, unsigned char option);
// IAC SB 44 <command> <value, 0xFF doubled> IAC SE.
std::string comPortCommand(unsigned char command, const std::string& value);
std::string byteValue(unsigned value);
std::string uint32Value(std::uint32_t value);
// Big-endian 32-bit value at pos; missing bytes read as 0.
std::uint32_t readUint32(const std::string& bytes, std::size_t pos);

// One piece of the received stream, in the order it arrived.
struct TelnetItem {
    enum class Kind { Data, Option, Subnegotiation };
    Kind kind = Kind::Data;
    unsigned char verb = 0;    // Option: WILL/WONT/DO/DONT
    unsigned char option = 0;  // Option and Subnegotiation
    std::string bytes;         // Data: the bytes; Subnegotiation: what follows the option byte
};

// Splits a Telnet stream into data, option commands and subnegotiations. Keeps
// its state between feeds, so a command cut in two by the network is still
// read whole.
class TelnetReader {
public:
    void feed(const char* data, std::size_t size, std::vector<TelnetItem>& out);
    void reset() { *this = TelnetReader{}; }

private:
    enum class State { Data, Iac, Option, Sub, SubIac };
    void appendData(std::vector<TelnetItem>& out, char byte);

    // A subnegotiation longer than this is not one we know; its tail is dropped.
    static constexpr std::size_t kMaxSubnegotiation = 64;
    State m_state = State::Data;
    unsigned char m_verb = 0;
    std::string m_sub;
    bool m_subOverflow = false;
};

// The port parameter text "9600,E,8,1" taken apart.
struct LineSettings {
    std::uint32_t baud = 9600;
    char parity = 'N';          // N, O, E, M, S
    int dataBits = 8;           // 4 to 8
    std::string stopBits = "1"; // "1", "1.5", "2"

    std::string text() const;
    unsigned char parityCode() const;   // 1 none, 2 odd, 3 even, 4 mark, 5 space
    unsigned char stopCode() const;     // 1 one, 2 two, 3 one and a half
};

// Reads a parameter text; nothing when it is not one a serial line can take.
std::optional<LineSettings> parseLineSettings(const std::string& text);
// Parity letter for a SET-PARITY code, 0 for an unknown code.
char parityFromCode(unsigned code);
// Stop bits text for a SET-STOPSIZE code, empty for an unknown code.
std::string stopBitsFromCode(unsigned code);

}  // namespace puolukka::rfc2217
