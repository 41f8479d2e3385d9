#include "link/line_events.h"

#include <gtest/gtest.h>

#include "conversions/conversions.h"
#include "link/exchange.h"
#include "link_fixture.h"

namespace puolukka::test {
namespace {

using namespace std::string_literals;

class LineEventsTest : public LinkFixture {};

struct EventRow {
    int code;
    std::string label;  // Label1 after the event; empty when a box is expected
    std::string box;    // the error box's text; empty when none
};

class LineEventTable : public LinkFixture, public ::testing::WithParamInterface<EventRow> {};

TEST_P(LineEventTable, LabelOrBox)
{
    const EventRow& row = GetParam();
    OnComm(app, row.code);
    EXPECT_EQ(screen.controls["Label1"].text, row.label);
    if (row.box.empty()) {
        EXPECT_TRUE(screen.transcript.empty());
        EXPECT_EQ(screen.beeps, 0);
    } else {
        const auto boxes = screen.boxes("message");
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, row.box);
        EXPECT_EQ(boxes[0].title, "Click Cancel to Quit, or OK to ignore.");
        EXPECT_EQ(boxes[0].buttons, Buttons::OkCancel);
        EXPECT_EQ(screen.beeps, 1);
        EXPECT_TRUE(port.portOpen());  // OK ignores
    }
    EXPECT_TRUE(app.EventText.empty());
    EXPECT_TRUE(app.ErrorText.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Codes, LineEventTable,
    ::testing::Values(EventRow{1, "", ""}, EventRow{3, "CTS change detected", ""},
                      EventRow{4, "DSR change detected", ""}, EventRow{5, "CD change detected", ""},
                      EventRow{6, "Ringing", ""}, EventRow{7, "End Of File detected", ""},
                      EventRow{1001, "Pause received", ""}, EventRow{1002, "", "CTS timeout"},
                      EventRow{1003, "", "DSR timeout"}, EventRow{1004, "CD Error", ""},
                      EventRow{1005, "", "Baud rate Error"}, EventRow{1006, "", "CD timeout"},
                      EventRow{1007, "", "RX Buffer overflow"}, EventRow{1008, "", "Parity Error !"},
                      EventRow{0, "", "Unkown Event or Error"}, EventRow{-1, "", "Unkown Event or Error"},
                      EventRow{8, "", "Unkown Event or Error"}, EventRow{1000, "", "Unkown Event or Error"},
                      EventRow{1010, "", "Unkown Event or Error"}));

TEST_F(LineEventsTest, BreakAndFramingErrorEmptyTheReceiveBuffer)
{
    for (int code : {1001, 1004}) {
        port.deliver("\x12\x34"s);
        OnComm(app, code);
        EXPECT_EQ(port.inBufferCount(), 0) << code;
    }
    EXPECT_TRUE(screen.term.empty());
}

TEST_F(LineEventsTest, CancelClosesThePortAndLaterExchangesFail)
{
    screen.messageAnswers = {Answer::Cancel};
    OnComm(app, 1002);
    EXPECT_FALSE(port.portOpen());
    std::string bytes = "\xA0"s;
    EXPECT_FALSE(Send2Card(app, bytes, 50));
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
    EXPECT_EQ(screen.term, "3F 00 9F \r\n0F \r\n");

    // Nothing waiting: nothing shown, AnswerHex kept.
    OnComm(app, comm_event::Receive);
    EXPECT_EQ(app.card.AnswerHex, "0F");
    EXPECT_EQ(screen.term, "3F 00 9F \r\n0F \r\n");
}

TEST_F(LineEventsTest, ParityErrorWithCarrierOffIsDropped)
{
    port.cd = false;
    port.deliver("\x3B"s);
    OnComm(app, comm_event::RxParity);
    EXPECT_EQ(port.inBufferCount(), 0);
    EXPECT_EQ(app.settings.Parity, "E");
    EXPECT_EQ(port.settings(), "9600,E,8,1");
    EXPECT_EQ(port.opens, 1);
    EXPECT_EQ(app.card.InverseConvention, 0);
    EXPECT_TRUE(screen.transcript.empty());
}

TEST_F(LineEventsTest, ParityErrorBeforeAnyResetSwitchesWithoutReset)
{
    port.cd = true;
    app.ErrorText = "left over";
    OnComm(app, comm_event::RxParity);
    EXPECT_EQ(app.settings.Parity, "O");
    EXPECT_EQ(port.settings(), "9600,O,8,1");
    EXPECT_EQ(screen.controls["ParStat2"].text, "ODD");
    EXPECT_EQ(screen.controls["SimConv1"].text, "INVERSE");
    EXPECT_EQ(app.card.InverseConvention, 1);
    EXPECT_TRUE(port.portOpen());
    EXPECT_EQ(port.closes, 1);
    ASSERT_EQ(port.openTimesUs.size(), 2u);
    EXPECT_EQ(port.openTimesUs[1] - port.openTimesUs[0], 100'000);
    EXPECT_TRUE(port.writes.empty());
    EXPECT_TRUE(port.lineChanges.empty());
    EXPECT_TRUE(app.ErrorText.empty());
    EXPECT_TRUE(screen.transcript.empty());

    OnComm(app, comm_event::RxParity);
    EXPECT_EQ(port.settings(), "9600,E,8,1");
    EXPECT_EQ(screen.controls["ParStat2"].text, "EVEN");
    EXPECT_EQ(screen.controls["SimConv1"].text, "NORMAL");
    EXPECT_EQ(app.card.InverseConvention, 0);

    // No parity at all counts as "not even": the switch goes to even.
    app.settings.Parity = "N";
    app.card.InverseConvention = 1;
    OnComm(app, comm_event::RxParity);
    EXPECT_EQ(app.settings.Parity, "E");
    EXPECT_EQ(app.card.InverseConvention, 0);
}

TEST_F(LineEventsTest, OneSwitchPerPoll)
{
    port.cd = true;
    port.events = {comm_event::RxParity, comm_event::RxParity, comm_event::Cts, comm_event::RxParity};
    pollPort(app);
    EXPECT_EQ(app.settings.Parity, "O");
    EXPECT_EQ(port.closes, 1);
    EXPECT_EQ(screen.controls["Label1"].text, "CTS change detected");

    // The next burst switches back once.
    port.events = {comm_event::RxParity, comm_event::RxParity};
    pollPort(app);
    EXPECT_EQ(app.settings.Parity, "E");
    EXPECT_EQ(port.closes, 2);
}

TEST_F(LineEventsTest, PollHandsEveryOtherEventOn)
{
    port.deliver("\x90\x00"s);
    port.events = {comm_event::Receive, comm_event::Dsr, 1006};
    pollPort(app);
    EXPECT_EQ(screen.term, "90 00  = OK !\r\n");
    EXPECT_EQ(screen.controls["Label1"].text, "DSR change detected");
    EXPECT_EQ(screen.messageTexts(), std::vector<std::string>{"CD timeout"});
    EXPECT_TRUE(port.events.empty());
}

// The switch repeats the last reset with the terminal display off; only
// Command1 turns it on again for the answer-to-reset.
class ConventionResetTest : public LinkFixture, public ::testing::WithParamInterface<int> {};

TEST_P(ConventionResetTest, RepeatsTheLastReset)
{
    const int method = GetParam();
    port.cd = true;
    port.echo = false;
    app.card.ResetMethod = method;
    app.card.CurrentFile = "EF-6F3A-ADN";
    // The inverse-convention card's answer-to-reset arrives during the reset's wait.
    port.deliver(inverseBytes("\x3B\x02"s), 200);
    OnComm(app, comm_event::RxParity);

    EXPECT_EQ(app.card.InverseConvention, 1);
    EXPECT_EQ(app.card.ShowInTerminal, 1);
    EXPECT_EQ(app.card.ResetMethod, method);
    EXPECT_EQ(app.card.CurrentFile, "MF-3F00-MF");
    const std::string line = method == 1 ? "RTS" : "DTR";
    EXPECT_EQ(port.lineChanges, (std::vector<std::string>{line + " on", line + " off"}));
    EXPECT_EQ(screen.term.find("3B 02 ") != std::string::npos, method == 1);
    // The master file is selected under the new convention.
    ASSERT_GE(port.writes.size(), 2u);
    EXPECT_EQ(port.writes[0], inverseBytes("\xA0\xA4\x00\x00\x02"s));
    EXPECT_EQ(port.writes[1], inverseBytes("\x3F\x00"s));
}

INSTANTIATE_TEST_SUITE_P(Methods, ConventionResetTest, ::testing::Values(1, 2));

}  // namespace
}  // namespace puolukka::test
