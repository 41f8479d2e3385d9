#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "link/line_parameters.h"
#include "link/posix_serial_port.h"

namespace puolukka {
namespace {

using Item = LineMarkParser::Item;

std::vector<Item> parseChunks(const std::vector<std::string>& chunks)
{
    LineMarkParser parser;
    std::vector<Item> items;
    for (const auto& chunk : chunks)
        parser.feed(chunk, items);
    return items;
}

std::string describe(const std::vector<Item>& items)
{
    std::string text;
    static const char digits[] = "0123456789ABCDEF";
    for (const auto& item : items) {
        text += item.marked ? "!" : "";
        text += digits[item.value >> 4];
        text += digits[item.value & 15];
        text += ' ';
    }
    return text;
}

TEST(LineMarkParser, UndoesMarkersAlsoWhenCutBetweenReads)
{
    struct Row {
        const char* what;
        std::vector<std::string> chunks;
        std::string items;
    } rows[] = {
        {"plain bytes", {std::string("\x3B\x00\x41", 3)}, "3B 00 41 "},
        {"doubled FF", {"\x01\xFF\xFF\x02"}, "01 FF 02 "},
        {"doubled FF cut", {"\x01\xFF", "\xFF\x02"}, "01 FF 02 "},
        {"parity error on 3F", {std::string("\xFF\x00\x3F", 3)}, "!3F "},
        {"marker cut after FF", {"\x41\xFF", std::string("\x00\x3F", 2)}, "41 !3F "},
        {"marker cut after 00", {std::string("\xFF\x00", 2), "\x3F\x42"}, "!3F 42 "},
        {"marker in three reads", {"\xFF", std::string("\x00", 1), "\x3F"}, "!3F "},
        {"break", {std::string("\xFF\x00\x00", 3)}, "!00 "},
        {"marked FF", {std::string("\xFF\x00\xFF\xFF\xFF", 5)}, "!FF FF "},
        {"FF then a foreign byte", {"\xFF\x41"}, "FF 41 "},
    };
    for (const auto& row : rows)
        EXPECT_EQ(describe(parseChunks(row.chunks)), row.items) << row.what;
}

TEST(LineMarkParser, ResetForgetsACutMarker)
{
    LineMarkParser parser;
    std::vector<Item> items;
    parser.feed(std::string("\xFF\x00", 2), items);
    EXPECT_TRUE(parser.insideMarker());
    parser.reset();
    parser.feed("\x41", items);
    EXPECT_EQ(describe(items), "41 ");
}

TEST(LineParameters, AcceptsTheStandardForms)
{
    struct Row {
        const char* text;
        int speed;
        char parity;
        int data;
        int stop;
        bool oneAndHalf;
    } rows[] = {
        {"9600,E,8,1", 9600, 'E', 8, 1, false},    {"9600,e,8,1", 9600, 'E', 8, 1, false},
        {"115200,N,8,2", 115200, 'N', 8, 2, false}, {"110,o,7,1", 110, 'O', 7, 1, false},
        {"300,M,5,1.5", 300, 'M', 5, 2, true},      {" 2400 , s , 6 , 2 ", 2400, 'S', 6, 2, false},
    };
    for (const auto& row : rows) {
        LineParameters p;
        ASSERT_TRUE(parseLineParameters(row.text, p)) << row.text;
        EXPECT_EQ(p.speed, row.speed) << row.text;
        EXPECT_EQ(p.parity, row.parity) << row.text;
        EXPECT_EQ(p.dataBits, row.data) << row.text;
        EXPECT_EQ(p.stopBits, row.stop) << row.text;
        EXPECT_EQ(p.oneAndHalf, row.oneAndHalf) << row.text;
    }
}

TEST(LineParameters, RejectsBadTextsWithAReason)
{
    const char* bad[] = {",,,",          "",           "9600,E,8",    "9600,E,8,1,0", "9601,E,8,1",
                         "14400,E,8,1",  "9600,X,8,1", "9600,EE,8,1", "9600,E,9,1",   "9600,E,4,1",
                         "9600,E,8,3",   "-9600,E,8,1", "9600,E,,1",  "abc,E,8,1",    "9600,,8,1"};
    for (const char* text : bad) {
        LineParameters p;
        std::string why;
        EXPECT_FALSE(parseLineParameters(text, p, &why)) << text;
        EXPECT_NE(why.find(text), std::string::npos) << why;
    }
}

// A pseudo-terminal pair: the port under test opens the slave by name, the test
// plays the reader on the master.
class PtyPort : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[128] = {};
        ASSERT_EQ(::openpty(&m_master, &m_slave, name, nullptr, nullptr), 0);
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        m_name = name;
    }
    void TearDown() override
    {
        if (m_master >= 0)
            ::close(m_master);
        if (m_slave >= 0)
            ::close(m_slave);
    }

    static bool waitReadable(int fd)
    {
        pollfd pfd{fd, POLLIN, 0};
        return ::poll(&pfd, 1, 2000) > 0;
    }
    // Waits (on the descriptor, no fixed sleep) until the port holds n bytes.
    static void waitFor(PosixSerialPort& port, int n)
    {
        while (port.inBufferCount() < n && waitReadable(port.nativeHandle())) {
        }
    }
    void sendFromReader(const std::string& bytes)
    {
        ASSERT_EQ(::write(m_master, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    std::string readAtReader(std::size_t n)
    {
        std::string got;
        char buf[256];
        while (got.size() < n && waitReadable(m_master)) {
            const ssize_t r = ::read(m_master, buf, sizeof buf);
            if (r <= 0)
                break;
            got.append(buf, std::size_t(r));
        }
        return got;
    }
    void openPort(PosixSerialPort& port)
    {
        ASSERT_TRUE(port.setSettings("9600,E,8,1"));
        ASSERT_TRUE(port.setPortOpen(true)) << port.lastError().description;
    }

    int m_master = -1;
    int m_slave = -1;
    std::string m_name;
};

TEST_F(PtyPort, CarriesBytesBothWaysWithFFSingle)
{
    PosixSerialPort port(m_name);
    openPort(port);
    const std::string toCard = std::string("\xA0\xA4\x00\x00\x02\xFF\x0D\x0A", 8);
    ASSERT_TRUE(port.output(toCard));
    EXPECT_EQ(readAtReader(toCard.size()), toCard);

    // The driver doubles a received FF; the port hands out one.
    const std::string fromCard = std::string("\x3B\xFF\x00\x9F\x0F\x11\x13\x0D", 8);
    sendFromReader(fromCard);
    waitFor(port, int(fromCard.size()));
    EXPECT_EQ(port.inBufferCount(), int(fromCard.size()));
    EXPECT_EQ(port.input(), fromCard);
    EXPECT_EQ(port.inBufferCount(), 0);
}

TEST_F(PtyPort, InputLenLimitsAReadAndClearEmptiesTheBuffer)
{
    PosixSerialPort port(m_name);
    openPort(port);
    sendFromReader("ABCDE");
    waitFor(port, 5);
    ASSERT_TRUE(port.setInputLen(2));
    EXPECT_EQ(port.input(), "AB");
    EXPECT_EQ(port.inBufferCount(), 3);
    EXPECT_TRUE(port.clearInBuffer());
    EXPECT_EQ(port.inBufferCount(), 0);
    EXPECT_TRUE(port.clearOutBuffer());
    EXPECT_EQ(port.outBufferCount(), 0);
}

TEST_F(PtyPort, ReceiveAndEndOfFileEvents)
{
    PosixSerialPort port(m_name);
    openPort(port);
    ASSERT_TRUE(port.setRThreshold(3));
    sendFromReader("AB");
    waitFor(port, 2);
    EXPECT_EQ(port.pollEvents(), std::vector<int>{});  // under the threshold
    sendFromReader(std::string("C\x1A", 2));
    waitFor(port, 4);
    EXPECT_EQ(port.pollEvents(), (std::vector<int>{comm_event::Eof, comm_event::Receive}));
    EXPECT_EQ(port.pollEvents(), std::vector<int>{});  // nothing new
    port.setRThreshold(0);
    sendFromReader("D");
    waitFor(port, 5);
    EXPECT_EQ(port.pollEvents(), std::vector<int>{});  // threshold 0: no receive events
    EXPECT_FALSE(port.errorPending());
}

TEST_F(PtyPort, MissingModemLinesAreRecordedButNotFatal)
{
    PosixSerialPort port(m_name);
    ASSERT_TRUE(port.setRTSEnable(true));  // kept while closed, no error
    openPort(port);                        // opening does not fail for the missing lines
    EXPECT_FALSE(port.errorPending());
    EXPECT_TRUE(port.parityIgnored());

    EXPECT_FALSE(port.setRTSEnable(false));
    EXPECT_EQ(port.lastError().number, port_error::LineControlFailed);
    EXPECT_EQ(port.lastError().source, "MSComm1");
    EXPECT_NE(port.lastError().description.find(m_name), std::string::npos);
    EXPECT_NE(port.lastError().description.find("RTS"), std::string::npos);
    EXPECT_FALSE(port.rtsEnable());
    EXPECT_FALSE(port.setDTREnable(true));
    EXPECT_NE(port.lastError().description.find("DTR"), std::string::npos);
    EXPECT_FALSE(port.hasModemLines());

    port.clearError();
    EXPECT_FALSE(port.cdHolding());
    EXPECT_FALSE(port.ctsHolding());
    EXPECT_FALSE(port.dsrHolding());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(port.pollEvents(), std::vector<int>{});
    EXPECT_FALSE(port.errorPending());

    // Plain bytes still pass.
    ASSERT_TRUE(port.output("\x01"));
    EXPECT_EQ(readAtReader(1), "\x01");
}

TEST_F(PtyPort, SettingsAreCheckedAndAppliedWhileOpen)
{
    PosixSerialPort port(m_name);
    EXPECT_FALSE(port.setSettings("9600,X,8,1"));
    EXPECT_EQ(port.lastError().number, port_error::InvalidSettings);
    EXPECT_EQ(port.settings(), "9600,N,8,1");  // the failed change leaves the old text
    openPort(port);
    EXPECT_TRUE(port.setSettings("2400,O,7,2"));
    EXPECT_EQ(port.settings(), "2400,O,7,2");
    EXPECT_FALSE(port.setSettings(",,,"));
    EXPECT_EQ(port.settings(), "2400,O,7,2");
    EXPECT_TRUE(port.setHandshaking(3));
    EXPECT_FALSE(port.setHandshaking(4));
    EXPECT_EQ(port.lastError().number, port_error::InvalidValue);
    EXPECT_EQ(port.handshaking(), 3);
    EXPECT_FALSE(port.setCommPort(2));
    EXPECT_EQ(port.lastError().number, port_error::PortAlreadyOpen);
}

TEST_F(PtyPort, ClosedPortAndMissingDeviceFailWithReasons)
{
    PosixSerialPort closed(m_name);
    EXPECT_FALSE(closed.output("x"));
    EXPECT_EQ(closed.lastError().number, port_error::PortNotOpen);
    EXPECT_EQ(closed.input(), "");
    EXPECT_EQ(closed.pollEvents(), std::vector<int>{});

    PosixSerialPort missing("/dev/puolukka-no-such-device");
    EXPECT_FALSE(missing.setPortOpen(true));
    EXPECT_EQ(missing.lastError().number, port_error::DeviceNotAvailable);
    EXPECT_NE(missing.lastError().description.find("/dev/puolukka-no-such-device"), std::string::npos);
    EXPECT_NE(missing.lastError().description.find("No such file"), std::string::npos);

    PosixSerialPort notATerminal("/dev/null");
    EXPECT_FALSE(notATerminal.setPortOpen(true));
    EXPECT_NE(notATerminal.lastError().description.find("not a serial device"), std::string::npos);
}

TEST_F(PtyPort, VanishedDeviceClosesThePortWithAMessage)
{
    PosixSerialPort port(m_name);
    openPort(port);
    ::close(m_slave);
    m_slave = -1;
    ::close(m_master);
    m_master = -1;
    port.pollEvents();
    EXPECT_FALSE(port.portOpen());
    EXPECT_EQ(port.lastError().number, port_error::ReadFailed);
    EXPECT_NE(port.lastError().description.find(m_name), std::string::npos);
    EXPECT_FALSE(port.output("x"));
}

TEST_F(PtyPort, MarkedBytesBecomeLineErrorEvents)
{
    // A pseudo-terminal never marks bytes and has no error counters: the bytes are
    // fed as a serial driver delivers them, so a marked 0 is a break, others parity errors.
    PosixSerialPort port(m_name);
    openPort(port);
    ASSERT_TRUE(port.setRThreshold(1));
    port.acceptDriverBytes(std::string("\x3B\xFF\x00\x3F\xFF\x00\x41\xFF", 8));
    port.acceptDriverBytes(std::string("\x00\x00\x42", 3));  // a break cut between reads
    // Two parity errors in one poll are one event: the convention switches once.
    EXPECT_EQ(port.pollEvents(), (std::vector<int>{comm_event::RxParity, comm_event::Break, comm_event::Receive}));
    EXPECT_EQ(port.input(), "\x3B??B");  // ParityReplace "?" stands for each faulty byte

    ASSERT_TRUE(port.setParityReplace(""));
    port.acceptDriverBytes(std::string("\xFF\x00\x3F", 3));
    EXPECT_EQ(port.pollEvents(), (std::vector<int>{comm_event::RxParity, comm_event::Receive}));
    EXPECT_EQ(port.input(), "\x3F");  // no replacement: the byte as received
}

TEST_F(PtyPort, ReopenStartsWithAnEmptyBuffer)
{
    PosixSerialPort port(m_name);
    openPort(port);
    sendFromReader("stale");
    waitFor(port, 5);
    ASSERT_TRUE(port.setPortOpen(false));
    EXPECT_TRUE(port.setPortOpen(true)) << port.lastError().description;
    EXPECT_EQ(port.inBufferCount(), 0);
    EXPECT_FALSE(port.setPortOpen(true));
    EXPECT_EQ(port.lastError().number, port_error::PortAlreadyOpen);
}

}  // namespace
}  // namespace puolukka
