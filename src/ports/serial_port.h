#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace puolukka {

// Event codes a port reports (CommEvent).
namespace comm_event {
inline constexpr int Send = 1;        // fewer than SThreshold characters wait to be sent
inline constexpr int Receive = 2;     // received characters reached RThreshold
inline constexpr int Cts = 3;         // CTS line changed
inline constexpr int Dsr = 4;         // DSR line changed
inline constexpr int Cd = 5;          // CD line changed
inline constexpr int Ring = 6;        // ring indicator
inline constexpr int Eof = 7;         // end-of-file character (26) received
inline constexpr int Break = 1001;
inline constexpr int CtsTimeout = 1002;
inline constexpr int DsrTimeout = 1003;
inline constexpr int Frame = 1004;
inline constexpr int Overrun = 1006;
inline constexpr int CdTimeout = 1007;
inline constexpr int RxOver = 1008;
inline constexpr int RxParity = 1009;
}  // namespace comm_event

// Error numbers a port records, in the numbering users of serial tools know.
namespace port_error {
inline constexpr int InvalidPortNumber = 8002;
inline constexpr int PortAlreadyOpen = 8005;
inline constexpr int DeviceNotAvailable = 8010;
inline constexpr int PortNotOpen = 8012;
inline constexpr int InvalidSettings = 8015;
inline constexpr int PropertyOnlyWhenOpen = 8018;
inline constexpr int ReadFailed = 8020;
inline constexpr int WriteFailed = 8021;
inline constexpr int LineControlFailed = 8022;  // RTS/DTR/modem lines not available
inline constexpr int InvalidValue = 380;
}  // namespace port_error

struct PortError {
    int number = 0;
    std::string source;       // the component that raised it
    std::string description;
};

// The serial port object through which every card command travels. All bytes
// are carried in std::string, one char per byte. No exception leaves a port:
// an operation that fails returns false (or an empty/zero value) and records
// an error that the caller reads with lastError().
class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Port parameter text "9600,E,8,1": speed, parity letter, data bits, stop bits.
    virtual bool setSettings(const std::string& text) = 0;
    virtual std::string settings() const = 0;
    virtual bool setCommPort(int number) = 0;
    virtual int commPort() const = 0;
    virtual bool setPortOpen(bool open) = 0;
    virtual bool portOpen() const = 0;

    virtual bool output(const std::string& bytes) = 0;
    // Reads and removes the waiting bytes (at most InputLen of them; 0 means all).
    virtual std::string input() = 0;
    virtual int inBufferCount() = 0;
    virtual bool clearInBuffer() = 0;   // InBufferCount = 0
    virtual int outBufferCount() = 0;
    virtual bool clearOutBuffer() = 0;  // OutBufferCount = 0

    virtual bool setRTSEnable(bool on) = 0;
    virtual bool rtsEnable() const = 0;
    virtual bool setDTREnable(bool on) = 0;
    virtual bool dtrEnable() const = 0;
    // 0 none, 1 XON/XOFF, 2 RTS/CTS, 3 both.
    virtual bool setHandshaking(int mode) = 0;
    virtual int handshaking() const = 0;

    virtual bool cdHolding() = 0;
    virtual bool ctsHolding() = 0;
    virtual bool dsrHolding() = 0;

    // Called by the event loop every Interval ms: the events that happened since.
    virtual std::vector<int> pollEvents() = 0;

    // Called before an operation that uses the line: a port whose device went
    // away while it was open (a network reader whose connection closed, an
    // unplugged adapter) tries to open it again; a port the program closed
    // stays closed. False, with the error recorded, when that fails.
    virtual bool reopenIfDropped() { return true; }

    // True for a device that decodes the card's convention itself and delivers
    // logical bytes (a PC/SC reader): the program must never switch parity or
    // convention for it, nor pass its bytes through InverseByte.
    virtual bool deliversLogicalBytes() const { return false; }

    // How many characters have arrived with a parity or framing error since the
    // port was made (each handed on as ParityReplace, or as it came). A T=0
    // answer with such a character in it cannot be trusted, whatever it reads
    // as. 0 for a device that cannot tell.
    virtual long long flaggedCharacters() const { return 0; }

    // Properties that only shape how the port reports; kept here for every port.
    virtual bool setRThreshold(int n) { return storeNonNegative(m_rThreshold, n, "RThreshold"); }
    int rThreshold() const { return m_rThreshold; }
    virtual bool setSThreshold(int n) { return storeNonNegative(m_sThreshold, n, "SThreshold"); }
    int sThreshold() const { return m_sThreshold; }
    virtual bool setInputLen(int n) { return storeNonNegative(m_inputLen, n, "InputLen"); }
    int inputLen() const { return m_inputLen; }
    virtual bool setParityReplace(const std::string& c) { m_parityReplace = c.substr(0, 1); return true; }
    const std::string& parityReplace() const { return m_parityReplace; }
    virtual bool setInterval(int ms) { return storeNonNegative(m_interval, ms, "Interval"); }
    int interval() const { return m_interval; }

    const PortError& lastError() const { return m_error; }
    bool errorPending() const { return m_error.number != 0; }
    void clearError() { m_error = {}; }

protected:
    // Takes what one Input read gives from the front of a receive buffer: InputLen
    // bytes at most, or everything when InputLen is 0.
    std::string takeInput(std::string& received) const
    {
        const std::size_t count = m_inputLen > 0 ? std::min(received.size(), std::size_t(m_inputLen)) : received.size();
        std::string taken = received.substr(0, count);
        received.erase(0, count);
        return taken;
    }

    // Records an error and returns false, so a failing operation can end with "return fail(...)".
    bool fail(int number, const std::string& description, const std::string& source = "MSComm1")
    {
        m_error = PortError{number, source, description};
        return false;
    }

private:
    bool storeNonNegative(int& field, int value, const char* name)
    {
        if (value < 0)
            return fail(port_error::InvalidValue, std::string("Invalid property value: ") + name);
        field = value;
        return true;
    }

    PortError m_error;
    int m_rThreshold = 0;
    int m_sThreshold = 0;
    int m_inputLen = 0;
    int m_interval = 1000;
    std::string m_parityReplace = "?";
};

}  // namespace puolukka
