#include "link/line_events.h"

#include <gtest/gtest.h>

#include "conversions/conversions.h"
#include "link/exchange.h"
#include "link/t0_exchange.h"
#include "link_fixture.h"

namespace puolukka::test {
namespace {

using namespace std::string_literals;
using LineEventsTest = LinkFixture;

// Each event gives a Label1 text, or an error box (OK ignores it) with a beep.
TEST_F(LineEventsTest, LabelOrBoxPerEvent)
{
    const std::tuple<int, std::string, std::string> rows[] = {
        {1, "", ""}, {3, "CTS change detected", ""}, {4, "DSR change detected", ""}, {5, "CD change detected", ""},
        {6, "Ringing", ""}, {7, "End Of File detected", ""}, {1001, "Pause received", ""}, {1002, "", "CTS timeout"},
        {1003, "", "DSR timeout"}, {1004, "CD Error", ""}, {1005, "", "Baud rate Error"}, {1006, "", "CD timeout"},
        {1007, "", "RX Buffer overflow"}, {1008, "", "Parity Error !"}, {0, "", "Unkown Event or Error"},
        {8, "", "Unkown Event or Error"}, {1010, "", "Unkown Event or Error"}};
    for (const auto& [code, label, box] : rows) {
        SCOPED_TRACE(code);
        screen.controls.clear();
        screen.transcript.clear();
        screen.beeps = 0;
        port.deliver("\x12\x34"s);
        OnComm(app, code);
        EXPECT_EQ(screen.controls["Label1"].text, label);
        EXPECT_EQ(screen.messageTexts(), box.empty() ? std::vector<std::string>{} : std::vector<std::string>{box});
        EXPECT_EQ(screen.beeps, box.empty() ? 0 : 1);
        for (const auto& b : screen.boxes("message"))
            EXPECT_EQ(b.title, "Click Cancel to Quit, or OK to ignore.");
        // Break and framing error empty the receive buffer.
        EXPECT_EQ(port.inBufferCount() == 0, code == 1001 || code == 1004);
        port.clearInBuffer();
        EXPECT_TRUE(port.portOpen());
    }
    EXPECT_TRUE(screen.term.empty());
    screen.messageAnswers = {Answer::Cancel};  // Cancel closes the port: later exchanges fail
    OnComm(app, 1002);
    std::string bytes = "\xA0"s;
    EXPECT_FALSE(port.portOpen() || Send2Card(app, bytes, 50));
}

TEST_F(LineEventsTest, LateChunkIsShownByTheReceiveEvent)
{
    port.queueReply({{10, "\x9F"s}, {120, "\x0F"s}});
    std::string bytes = HexToBytes("3F00");
    EXPECT_TRUE(Send2Card(app, bytes, 50));
    EXPECT_EQ(app.card.AnswerHex, "3F009F");
    OnComm(app, comm_event::Receive);
    EXPECT_EQ(clock.nowUs(), 125'000);
    EXPECT_EQ(app.card.AnswerHex, "0F");
    OnComm(app, comm_event::Receive);  // nothing waiting: nothing shown, AnswerHex kept
    EXPECT_EQ(app.card.AnswerHex, "0F");
    EXPECT_EQ(screen.term, "3F 00 9F \r\n0F \r\n");
}

TEST_F(LineEventsTest, ParityErrorSwitchesTheConventionOnlyWithCarrier)
{
    port.deliver("\x3B"s);
    OnComm(app, comm_event::RxParity);  // carrier off: the byte is dropped, nothing else
    EXPECT_EQ(port.inBufferCount(), 0);
    EXPECT_EQ(port.settings() + app.settings.Parity + std::to_string(port.opens), "9600,E,8,1E1");

    port.cd = true;
    app.ErrorText = "left over";
    OnComm(app, comm_event::RxParity);  // before any reset: switch without a reset
    EXPECT_EQ(port.settings() + app.settings.Parity, "9600,O,8,1O");
    EXPECT_EQ(screen.controls["ParStat2"].text + screen.controls["SimConv1"].text, "ODDINVERSE");
    EXPECT_EQ(app.card.InverseConvention, 1);
    ASSERT_TRUE(port.portOpen() && port.openTimesUs.size() == 2u);
    EXPECT_EQ(port.openTimesUs[1] - port.openTimesUs[0], 100'000);
    EXPECT_TRUE(port.writes.empty() && port.lineChanges.empty() && app.ErrorText.empty() && screen.transcript.empty());

    OnComm(app, comm_event::RxParity);
    EXPECT_EQ(port.settings(), "9600,E,8,1");
    EXPECT_EQ(screen.controls["ParStat2"].text + screen.controls["SimConv1"].text, "EVENNORMAL");
    EXPECT_EQ(app.card.InverseConvention, 0);
    // No parity at all counts as "not even": the switch goes to even.
    app.settings.Parity = "N";
    app.card.InverseConvention = 1;
    OnComm(app, comm_event::RxParity);
    EXPECT_EQ(app.settings.Parity + std::to_string(app.card.InverseConvention), "E0");
}

TEST_F(LineEventsTest, PollSwitchesOncePerBurstAndHandsEveryOtherEventOn)
{
    port.cd = true;
    port.events = {comm_event::RxParity, comm_event::RxParity, comm_event::Cts, comm_event::RxParity};
    pollPort(app);
    EXPECT_EQ(app.settings.Parity, "O");
    EXPECT_EQ(port.closes, 1);
    EXPECT_EQ(screen.controls["Label1"].text, "CTS change detected");
    port.deliver(inverseBytes("\x90\x00"s));  // read under the inverse convention
    port.events = {comm_event::Receive, comm_event::RxParity, comm_event::RxParity, 1006};
    pollPort(app);
    EXPECT_EQ(app.settings.Parity, "E");
    EXPECT_EQ(port.closes, 2);
    EXPECT_EQ(screen.term, "90 00  = OK !\r\n");
    EXPECT_EQ(screen.messageTexts(), std::vector<std::string>{"CD timeout"});
    EXPECT_TRUE(port.events.empty());
}


// A port that decodes the convention itself (PC/SC): no parity switch, and no
// byte passes through InverseByte, whatever InverseConvention says.
TEST_F(LineEventsTest, APortOfLogicalBytesNeverSwitchesOrInverts)
{
    const std::string header = "\xA0\xB2\x01\x04\x02"s;
    const std::string answer = "\xB2\x41\x42\x90\x00"s;
    for (const bool logical : {false, true}) {
        SCOPED_TRACE(logical);
        port.logicalBytes = logical;
        port.writes.clear();
        screen.term.clear();
        app.card.InverseConvention = 1;
        const auto onLine = [&](const std::string& bytes) { return logical ? bytes : inverseBytes(bytes); };

        port.queueReply(onLine(answer));
        std::string bytes = header;
        ASSERT_TRUE(Send2Card(app, bytes, 50));
        EXPECT_EQ(port.writes.back(), onLine(header));
        EXPECT_EQ(app.card.AnswerHex, "A0B20104" "02B2414290" "00");

        port.queueReply(onLine(answer));
        const T0Answer t0 = exchangeT0(t0Line(app), header, T0Expect{5, T0Expect::Until::DataAndStatus, 0xB2, 2});
        EXPECT_EQ(port.writes.back(), onLine(header));
        EXPECT_EQ(t0.data + t0.status2, "\x41\x42\x90\x00"s);

        const std::string settings = port.settings();
        const int closes = port.closes;
        port.cd = true;
        port.events = {comm_event::RxParity};
        pollPort(app);
        EXPECT_EQ(port.settings() == settings && port.closes == closes, logical);
        EXPECT_TRUE(screen.transcript.empty());
    }
}

}  // namespace
}  // namespace puolukka::test
