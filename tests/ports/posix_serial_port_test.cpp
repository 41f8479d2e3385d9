#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include "conversions/conversions.h"
#include "ports/line_parameters.h"
#include "ports/posix_serial_port.h"

namespace puolukka {
namespace {

// The items the parser gives for chunks read one after another: "!" marks a faulty byte.
std::string parse(const std::vector<std::string>& chunks, LineMarkParser& parser)
{
    std::vector<LineMarkParser::Item> items;
    for (const auto& chunk : chunks)
        parser.feed(chunk, items);
    std::string text;
    for (const auto& item : items)
        text += (item.marked ? "!" : "") + hexByte(item.value) + " ";
    return text;
}

TEST(LineMarkParser, UndoesMarkersAlsoWhenCutBetweenReads)
{
    using S = std::string;
    const std::pair<std::vector<S>, S> rows[] = {
        {{S("\x3B\x00\x41", 3)}, "3B 00 41 "},           {{"\x01\xFF\xFF\x02"}, "01 FF 02 "},
        {{"\x01\xFF", "\xFF\x02"}, "01 FF 02 "},         {{S("\xFF\x00\x3F", 3)}, "!3F "},
        {{"\x41\xFF", S("\x00\x3F", 2)}, "41 !3F "},     {{S("\xFF\x00", 2), "\x3F\x42"}, "!3F 42 "},
        {{"\xFF", S("\x00", 1), "\x3F"}, "!3F "},        {{S("\xFF\x00\x00", 3)}, "!00 "},  // a break
        {{S("\xFF\x00\xFF\xFF\xFF", 5)}, "!FF FF "},     {{"\xFF\x41"}, "FF 41 "},
    };
    for (const auto& [chunks, items] : rows) {
        LineMarkParser parser;
        EXPECT_EQ(parse(chunks, parser), items) << items;
    }
    LineMarkParser parser;  // reset forgets a cut marker
    parse({S("\xFF\x00", 2)}, parser);
    EXPECT_TRUE(parser.insideMarker());
    parser.reset();
    EXPECT_EQ(parse({"\x41"}, parser), "41 ");
}

TEST(LineParameters, AcceptsTheStandardFormsAndRejectsBadTextsWithAReason)
{
    for (const auto& [text, read] : {std::pair{"9600,e,8,1", "9600 E 8 1"}, {"115200,N,8,2", "115200 N 8 2"},
                                     {"300,M,5,1.5", "300 M 5 2+"}, {" 2400 , s , 6 , 2 ", "2400 S 6 2"}}) {
        LineParameters p;
        ASSERT_TRUE(parseLineParameters(text, p)) << text;
        EXPECT_EQ(std::to_string(p.speed) + " " + p.parity + " " + std::to_string(p.dataBits) + " " +
                      std::to_string(p.stopBits) + (p.oneAndHalf ? "+" : ""), read);
    }
    for (const char* text : {",,,", "9600,E,8", "9600,E,8,1,0", "14400,E,8,1", "9600,EE,8,1", "9600,E,9,1",
                             "9600,E,8,3", "-9600,E,8,1", "9600,,8,1"}) {
        LineParameters p;
        std::string why;
        EXPECT_FALSE(parseLineParameters(text, p, &why) || why.find(text) == std::string::npos) << text << why;
    }
}

// The port opens a pseudo-terminal's slave; the test plays the reader on the master.
class PtyPort : public ::testing::Test {
protected:
    ~PtyPort() override { closePty(); }
    void closePty() { ::close(master), ::close(slave), master = slave = -1; }
    std::string openPty()
    {
        char name[128] = {};
        EXPECT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        return name;
    }
    static bool readable(int fd)
    {
        pollfd pfd{fd, POLLIN, 0};
        return ::poll(&pfd, 1, 2000) > 0;
    }
    // Sends from the reader and waits until the port holds n bytes.
    void send(const std::string& bytes, int n)
    {
        ASSERT_EQ(::write(master, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        while (port.inBufferCount() < n && readable(port.nativeHandle())) {
        }
    }
    std::string receive(std::size_t n)
    {
        std::string got;
        char buf[256];
        for (ssize_t r = 1; got.size() < n && r > 0 && readable(master);)
            if ((r = ::read(master, buf, sizeof buf)) > 0)
                got.append(buf, std::size_t(r));
        return got;
    }
    void open() { ASSERT_TRUE(port.setSettings("9600,E,8,1") && port.setPortOpen(true)) << port.lastError().description; }

    int master = -1, slave = -1;
    const std::string name = openPty();
    PosixSerialPort port{name};
};

TEST_F(PtyPort, CarriesBytesBothWaysWithFFSingleAndEvents)
{
    open();
    const std::string toCard("\xA0\xA4\x00\x00\x02\xFF\x0D\x0A", 8);
    ASSERT_TRUE(port.output(toCard));
    EXPECT_EQ(receive(toCard.size()), toCard);
    // The driver doubles a received FF; the port hands out one.
    const std::string fromCard("\x3B\xFF\x00\x9F\x0F\x11\x13\x0D", 8);
    send(fromCard, 8);
    EXPECT_EQ(port.input(), fromCard);
    // Receive events come at RThreshold bytes; an end-of-file byte is its own event.
    ASSERT_TRUE(port.setRThreshold(3));
    send("AB", 2);
    EXPECT_EQ(port.pollEvents(), std::vector<int>{});
    send(std::string("C\x1A", 2), 4);
    EXPECT_EQ(port.pollEvents(), (std::vector<int>{comm_event::Eof, comm_event::Receive}));
    EXPECT_EQ(port.pollEvents(), std::vector<int>{});
}

TEST_F(PtyPort, MissingLinesAreNotFatalAndBadValuesOrDevicesAreErrors)
{
    EXPECT_FALSE(port.output("x"));
    EXPECT_EQ(port.lastError().number, port_error::PortNotOpen);
    port.clearError();
    ASSERT_TRUE(port.setRTSEnable(true));  // kept while closed, no error
    open();                                // opening does not fail for the missing lines
    EXPECT_FALSE(port.errorPending());
    EXPECT_FALSE(port.setDTREnable(true));
    const std::string& why = port.lastError().description;
    EXPECT_TRUE(why.find(name) != std::string::npos && why.find("DTR") != std::string::npos) << why;
    port.clearError();
    ASSERT_TRUE(port.output("\x01"));  // plain bytes still pass
    EXPECT_EQ(receive(1), "\x01");
    EXPECT_FALSE(port.setSettings(",,,"));
    EXPECT_EQ(port.settings(), "9600,E,8,1");  // the failed change leaves the old text
    closePty();  // the device vanishes
    port.pollEvents();
    EXPECT_FALSE(port.portOpen());
    EXPECT_EQ(port.lastError().number, port_error::ReadFailed);
    EXPECT_NE(port.lastError().description.find(name), std::string::npos);

    PosixSerialPort missing("/dev/puolukka-no-such-device"), notATerminal("/dev/null");
    EXPECT_FALSE(missing.setPortOpen(true) || notATerminal.setPortOpen(true));
    EXPECT_EQ(missing.lastError().number, port_error::DeviceNotAvailable);
    EXPECT_NE(missing.lastError().description.find("/dev/puolukka-no-such-device: No such file"), std::string::npos);
    EXPECT_NE(notATerminal.lastError().description.find("not a serial device"), std::string::npos);
}

TEST_F(PtyPort, MarkedBytesBecomeLineErrorEvents)
{
    // Fed as a serial driver marks them (a pty never does): a marked 0 is a break, others parity errors.
    open();
    ASSERT_TRUE(port.setRThreshold(1));
    port.acceptDriverBytes(std::string("\x3B\xFF\x00\x3F\xFF\x00\x41\xFF", 8));
    port.acceptDriverBytes(std::string("\x00\x00\x42", 3));  // a break cut between reads
    // Two parity errors in one poll are one event: the convention switches once.
    EXPECT_EQ(port.pollEvents(), (std::vector<int>{comm_event::RxParity, comm_event::Break, comm_event::Receive}));
    EXPECT_EQ(port.input(), "\x3B??B");  // ParityReplace "?" stands for each faulty byte
    EXPECT_EQ(port.flaggedCharacters(), 2) << "a break carries no character";
    ASSERT_TRUE(port.setParityReplace(""));
    port.acceptDriverBytes(std::string("\xFF\x00\x3F", 3));
    EXPECT_EQ(port.pollEvents(), (std::vector<int>{comm_event::RxParity, comm_event::Receive}));
    EXPECT_EQ(port.input(), "\x3F");  // no replacement: the byte as received
    EXPECT_EQ(port.flaggedCharacters(), 3);
}

}  // namespace
}  // namespace puolukka
