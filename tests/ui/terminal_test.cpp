#include "ui/terminal.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/app.h"
#include "scripted_port.h"
#include "scripted_screen.h"

namespace puolukka {
namespace {

namespace fs = std::filesystem;
using test::ScriptedPort;
using test::ScriptedScreen;

class TerminalTest : public ::testing::Test {
protected:
    TerminalTest()
    {
        port.setCommPort(1);
        port.setPortOpen(true);
        app.card.ShowInTerminal = 1;
    }

    // Types the keys ('\r' is Enter, '\b' Backspace) and returns what the pane was told to insert itself.
    std::vector<int> type(const std::string& keys)
    {
        std::vector<int> returned;
        for (char k : keys)
            returned.push_back(Term_KeyPress(app, static_cast<unsigned char>(k)));
        return returned;
    }

    VirtualClock clock;
    ScriptedScreen screen;
    ScriptedPort port{clock};
    App app{screen, clock, port};
};

TEST_F(TerminalTest, KeySequences)
{
    struct Case {
        const char* keys;
        std::vector<std::string> writes;
        std::string pane;
        std::string typed;
    };
    const Case cases[] = {
        {"A0A4\r", {"\xA0\xA4"}, "A0A4 ", ""},
        {"A0A\r", {"\xA0\xA0"}, "A0A ", ""},  // an odd last digit is the high half of its byte
        {"\r", {""}, " ", ""},                 // Enter alone still sends (nothing)
        {"a0", {}, "0", "0"},                  // lower-case letters are not taken
        {"G Z-", {}, "", ""},
        {"A0\bB", {}, "AB", "AB"},
        {"\b\b", {}, "", ""},                  // nothing pending: Backspace changes nothing
        {"3F00\r9000", {std::string("\x3F\x00", 2)}, "3F00 9000", "9000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        screen.term.clear();
        screen.caret = 0;
        port.writes.clear();
        app.TypedHex.clear();
        const std::vector<int> returned = type(c.keys);
        for (int key : returned)
            EXPECT_EQ(key, 0);  // echo off: the pane inserts nothing by itself
        std::vector<std::string> writes;
        for (const std::string& w : port.writes)
            writes.push_back(w);
        EXPECT_EQ(writes, c.writes);
        EXPECT_EQ(screen.term, c.pane);
        EXPECT_EQ(app.TypedHex, c.typed);
    }
}

TEST_F(TerminalTest, EnterUsesTheTerminalDelayAndShowsTheAnswer)
{
    port.queueReply(std::string("\xA0\xF2\x00\x00\x16\xF2", 6), 10);
    type("A0F2000016\r");
    EXPECT_EQ(app.card.CardDelay, 75);
    EXPECT_EQ(clock.nowUs(), 75'000);
    EXPECT_EQ(app.card.AnswerHex, "A0F2000016F2");
    EXPECT_EQ(screen.term.rfind("A0F2000016 ", 0), 0u) << screen.term;
}

TEST_F(TerminalTest, BackspaceRemovesTheLastCharacterOfThePaneWhateverItIs)
{
    screen.term = "9000\r\n";
    screen.caret = 0;
    type("A");  // inserted at the caret, at the start
    ASSERT_EQ(screen.term, "A9000\r\n");
    type("\b");
    EXPECT_EQ(screen.term, "A9000\r");
    EXPECT_EQ(screen.caret, 6);
    EXPECT_EQ(app.TypedHex, "");
}

TEST_F(TerminalTest, BackspaceTakesAWholeNonAsciiCharacter)
{
    screen.term = "Virhe ä";
    screen.caret = 0;
    type("1\b");
    EXPECT_EQ(screen.term, "1Virhe ");
    EXPECT_EQ(screen.caret, 7);
}

TEST_F(TerminalTest, EchoOnLetsThePaneShowEveryKeyToo)
{
    app.TerminalEcho = -1;
    EXPECT_EQ(type("A\ra\b"), (std::vector<int>{'A', 13, 'a', 8}));
    EXPECT_EQ(screen.term, "A ");  // the pane adds its own copies after this
    EXPECT_EQ(app.TypedHex, "");
    app.TerminalEcho = 1;  // only -1 means on
    EXPECT_EQ(type("B"), (std::vector<int>{0}));
    EXPECT_EQ(app.TypedHex, "B");
}

TEST_F(TerminalTest, ClearingThePaneKeepsPendingDigits)
{
    type("A0");
    TermCLS_Click(app);
    EXPECT_EQ(screen.term, "");
    EXPECT_EQ(screen.caret, 0);
    type("\r");
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(port.writes[0], "\xA0");
    EXPECT_EQ(screen.term, " ");
}

TEST_F(TerminalTest, PortClosedLetsKeysThroughAndSendsNothing)
{
    port.setPortOpen(false);
    EXPECT_EQ(type("A0\r\b"), (std::vector<int>{'A', '0', 13, 8}));
    EXPECT_TRUE(port.writes.empty());
    EXPECT_EQ(app.TypedHex, "");
    EXPECT_EQ(screen.term, "");
}

TEST_F(TerminalTest, FailedWriteIsReported)
{
    port.failWrites = true;
    type("A0\r");
    const auto boxes = screen.boxes("message");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Write failed");
    EXPECT_EQ(boxes[0].icon, Icon::Exclamation);
    EXPECT_EQ(boxes[0].title, "Puolukka");
    EXPECT_EQ(app.TypedHex, "");
}

// ---------------------------------------------------------------- log file

class LogFileTest : public TerminalTest {
protected:
    LogFileTest()
    {
        dir = fs::temp_directory_path() / ("puolukka_log_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    ~LogFileTest() override
    {
        app.log.close();
        fs::remove_all(dir);
    }

    FileChoice choose(const std::string& name)
    {
        FileChoice c;
        c.cancelled = false;
        c.path = (dir / name).string();
        c.fileTitle = name;
        return c;
    }
    std::string contents(const std::string& name)
    {
        std::ifstream in(dir / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    void put(const std::string& name, const std::string& bytes)
    {
        std::ofstream(dir / name, std::ios::binary) << bytes;
    }
    // Whether this process still holds the file open.
    bool heldOpen(const std::string& name)
    {
        const fs::path target = fs::weakly_canonical(dir / name);
        for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
            std::error_code ec;
            const fs::path link = fs::read_symlink(fd.path(), ec);
            if (!ec && link == target)
                return true;
        }
        return false;
    }

    fs::path dir;
};

TEST_F(LogFileTest, NewFileIsOpenedAndNamedInTheTitle)
{
    screen.fileAnswers.push_back(choose("a.log"));
    OpenLogFile(app);
    const auto files = screen.boxes("file");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].title, "Open Communication LOG File");
    EXPECT_EQ(files[0].filter, "LOG Files(*.LOG)|*.log|All Files (*.*)|*.*");
    EXPECT_EQ(files[0].defaultText, "");
    EXPECT_FALSE(files[0].save);
    EXPECT_TRUE(screen.boxes("message").empty());
    ASSERT_TRUE(app.log.isOpen());
    EXPECT_NE(app.log.number(), 0);
    EXPECT_EQ(screen.text("Form1"), "Terminal MSComm - a.log");
}

TEST_F(LogFileTest, ExistingFileAnswers)
{
    struct Case {
        std::vector<Answer> answers;
        std::string after;
        int fileDialogs;
    };
    const Case cases[] = {
        {{Answer::No}, "old\r\nnew", 1},               // No appends
        {{Answer::Yes}, "new", 1},                     // Yes replaces
        {{Answer::Cancel, Answer::No}, "old\r\nnew", 2}, // Cancel asks for the file again
    };
    for (const Case& c : cases) {
        app.log.close();
        screen.clearTranscript();
        put("a.log", "old\r\n");
        screen.messageAnswers.assign(c.answers.begin(), c.answers.end());
        for (int i = 0; i < c.fileDialogs; ++i)
            screen.fileAnswers.push_back(choose("a.log"));
        OpenLogFile(app);
        ASSERT_TRUE(app.log.isOpen());
        ASSERT_TRUE(app.log.write("new", nullptr));
        EXPECT_EQ(contents("a.log"), c.after);
        EXPECT_EQ(int(screen.boxes("file").size()), c.fileDialogs);
        const auto questions = screen.boxes("message");
        ASSERT_EQ(questions.size(), c.answers.size());
        EXPECT_EQ(questions[0].text, "Replace existing file - " + (dir / "a.log").string() + "?");
        EXPECT_EQ(questions[0].title, "Puolukka");
        EXPECT_EQ(questions[0].buttons, Buttons::YesNoCancel);
        EXPECT_EQ(questions[0].icon, Icon::Question);
    }
}

TEST_F(LogFileTest, CancellingTheFileDialogOpensNothing)
{
    screen.setText("Form1", "Puolukka");
    OpenLogFile(app);
    EXPECT_FALSE(app.log.isOpen());
    EXPECT_EQ(screen.text("Form1"), "Puolukka");
}

TEST_F(LogFileTest, SecondLogClosesTheFirst)
{
    screen.fileAnswers.push_back(choose("a.log"));
    OpenLogFile(app);
    ASSERT_TRUE(heldOpen("a.log"));
    screen.fileAnswers.push_back(choose("b.log"));
    OpenLogFile(app);
    EXPECT_FALSE(heldOpen("a.log"));
    EXPECT_TRUE(heldOpen("b.log"));
    app.log.write("traffic", nullptr);
    EXPECT_EQ(contents("a.log"), "");
    EXPECT_EQ(contents("b.log"), "traffic");
    EXPECT_EQ(screen.text("Form1"), "Terminal MSComm - b.log");
}

TEST_F(LogFileTest, FileThatCannotBeOpenedIsReported)
{
    screen.fileAnswers.push_back(choose("no_such_dir/a.log"));
    OpenLogFile(app);
    EXPECT_FALSE(app.log.isOpen());
    EXPECT_EQ(app.log.number(), 0);
    const auto boxes = screen.boxes("message");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("no_such_dir"), std::string::npos);
    EXPECT_EQ(boxes[0].icon, Icon::Exclamation);
    EXPECT_EQ(boxes[0].title, "Puolukka");
}

// ---------------------------------------------------------------- port tools

struct NumberTool {
    void (*click)(App&);
    int (SerialPort::*get)() const;
    const char* prompt;
    const char* title;
};

const NumberTool kNumberTools[] = {
    {MInputLen_Click, &SerialPort::inputLen, "Please enter InputLen:", "InputLen"},
    {MRThreshold_Click, &SerialPort::rThreshold, "Please enter the new RThreshold value :", "RThreshold"},
    {MSThreshold_Click, &SerialPort::sThreshold, "Please enter a new SThreshold value", "SThreshold"},
};

TEST_F(TerminalTest, NumberToolsAskSetAndRefuse)
{
    for (const NumberTool& tool : kNumberTools) {
        SCOPED_TRACE(tool.title);
        screen.clearTranscript();
        screen.inputAnswers = {"12"};
        tool.click(app);
        const auto asked = screen.boxes("input");
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].text, tool.prompt);
        EXPECT_EQ(asked[0].title, tool.title);
        EXPECT_EQ(asked[0].defaultText, " 0");
        EXPECT_EQ((port.*tool.get)(), 12);

        screen.inputAnswers = {};  // cancel: nothing changes
        tool.click(app);
        EXPECT_EQ(screen.boxes("input").back().defaultText, " 12");
        EXPECT_EQ((port.*tool.get)(), 12);

        screen.inputAnswers = {"70000"};  // not a 16-bit number
        tool.click(app);
        EXPECT_EQ((port.*tool.get)(), 12);
        ASSERT_EQ(screen.boxes("message").size(), 1u);
        EXPECT_EQ(screen.boxes("message")[0].icon, Icon::Exclamation);
        EXPECT_EQ(screen.boxes("message")[0].title, "Puolukka");

        screen.inputAnswers = {"-3"};  // refused by the port itself
        tool.click(app);
        EXPECT_EQ((port.*tool.get)(), 12);
        ASSERT_EQ(screen.boxes("message").size(), 2u);
        EXPECT_NE(screen.boxes("message")[1].text.find(tool.title), std::string::npos);

        screen.inputAnswers = {"many"};  // no number at all gives 0
        tool.click(app);
        EXPECT_EQ((port.*tool.get)(), 0);
    }
}

TEST_F(TerminalTest, ParityReplaceTakesTheFirstCharacterAndCancelClearsIt)
{
    screen.inputAnswers = {"XY"};
    MParRep_Click(app);
    EXPECT_EQ(screen.boxes("input")[0].text, "Please enter the new character");
    EXPECT_EQ(screen.boxes("input")[0].title, "ParityReplace");
    EXPECT_EQ(screen.boxes("input")[0].defaultText, "?");
    EXPECT_EQ(port.parityReplace(), "X");

    MParRep_Click(app);  // cancel
    EXPECT_EQ(port.parityReplace(), "");

    screen.inputAnswers = {"äx"};  // a Latin-1 character is one byte on the line
    MParRep_Click(app);
    EXPECT_EQ(port.parityReplace(), "\xE4");
    screen.inputAnswers = {"€"};
    MParRep_Click(app);
    EXPECT_EQ(screen.boxes("input").back().defaultText, "ä");
    EXPECT_EQ(port.parityReplace(), "\xE4");
    EXPECT_EQ(screen.boxes("message").size(), 1u);
}

TEST_F(TerminalTest, DtrToggleReportsTheStateReadBack)
{
    EXPECT_TRUE(MDTREnable_Click(app));
    EXPECT_TRUE(port.dtrEnable());
    EXPECT_FALSE(MDTREnable_Click(app));
    EXPECT_EQ(port.lineChanges, (std::vector<std::string>{"DTR on", "DTR off"}));
}

TEST_F(TerminalTest, LineStatesAreShown)
{
    port.cd = true;
    port.cts = false;
    port.dsr = true;
    MHCD_Click(app);
    MHCTS_Click(app);
    MHDSR_Click(app);
    EXPECT_EQ(screen.messageTexts(),
              (std::vector<std::string>{"CDHolding = True", "CTSHolding = False", "DSRHolding = True"}));
    for (const auto& box : screen.boxes("message")) {
        EXPECT_EQ(box.title, "Puolukka");
        EXPECT_EQ(box.buttons, Buttons::Ok);
    }
}

}  // namespace
}  // namespace puolukka
