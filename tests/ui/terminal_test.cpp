#include "ui_fixture.h"

namespace puolukka {
namespace {

using test::fileBytes;

struct TerminalTest : test::AppTest<> {
    TerminalTest()
    {
        port.setCommPort(1);
        port.setPortOpen(true);
        app.card.ShowInTerminal = 1;
    }
    void type(const std::string& keys) { std::ranges::for_each(keys, [&](char k) { Term_KeyPress(app, k); }); }
    FileChoice choose(const std::string& name) { return {false, (dir / name).string(), name}; }
    bool heldOpen(const std::string& name)  // whether this process still holds the file open
    {
        bool held = false;
        for (const auto& fd : test::fs::directory_iterator("/proc/self/fd")) {
            std::error_code ec;
            held |= test::fs::read_symlink(fd.path(), ec) == test::fs::weakly_canonical(dir / name);
        }
        return held;
    }
};

TEST_F(TerminalTest, KeySequences)
{
    struct Case {
        const char* keys;  // '\r' Enter, '\b' Backspace, '\f' the CLS Term button
        std::vector<std::string> writes;
        std::string pane, typed, paneBefore = "";
        int caret = -1, echo = 0;
        bool open = true;
        std::vector<int> insertedByPane = {};  // what the pane is told to insert by itself; empty: nothing
    };
    const Case cases[] = {
        {"A0A4\r", {"\xA0\xA4"}, "A0A4 ", ""},
        {"A0A\r", {"\xA0\xA0"}, "A0A ", ""},  // an odd last digit is the high half of its byte
        {"\r", {""}, " ", ""},                 // Enter alone still sends (nothing)
        {"aG Z-0", {}, "0", "0"},              // lower-case letters and non-hex keys are not taken
        {"A0\bB\b\b\b", {}, "", ""},            // nothing pending: Backspace changes nothing
        {"3F00\r9000", {std::string("\x3F\x00", 2)}, "3F00 9000", "9000"},
        {"A0\f\r", {"\xA0"}, " ", ""},  // clearing the pane keeps pending digits
        // Backspace takes a whole last character of the pane: a non-ASCII one, a CR LF.
        {"A\b", {}, "A9000", "", "9000\r\n", 5},
        {"1\b", {}, "1Virhe ", "", "Virhe ä", 7},
        // Echo on (only -1): the pane also shows every key, after the program's own copies.
        {"A\ra\b", {"\xA0"}, "A ", "", "", -1, -1, true, {'A', 13, 'a', 8}},
        {"B", {}, "B", "B", "", -1, 1},
        {"A0\r\b", {}, "", "", "", -1, 0, false, {'A', '0', 13, 8}},  // port closed: keys pass, nothing is sent
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        screen.term = c.paneBefore;
        screen.caret = 0;
        port.writes.clear();
        port.setPortOpen(c.open);
        app.TypedHex.clear();
        app.TerminalEcho = c.echo;
        std::vector<int> inserted;
        for (char k : std::string(c.keys)) {
            if (k == '\f')
                TermCLS_Click(app);
            else if (const int key = Term_KeyPress(app, static_cast<unsigned char>(k)))
                inserted.push_back(key);
        }
        EXPECT_EQ(inserted, c.insertedByPane);
        EXPECT_EQ(port.writes, c.writes);
        EXPECT_EQ(screen.term, c.pane);
        EXPECT_EQ(app.TypedHex, c.typed);
        EXPECT_EQ(screen.caret, c.caret < 0 ? screen.caret : c.caret);
    }
}

TEST_F(TerminalTest, EnterUsesTheTerminalDelayAndShowsTheAnswerOrTheFailure)
{
    port.queueReply(std::string("\xA0\xF2\x00\x00\x16\xF2", 6), 10);
    type("A0F2000016\r");
    EXPECT_EQ(clock.nowUs(), 75'000);
    EXPECT_EQ(app.card.AnswerHex, "A0F2000016F2");
    port.failWrites = true;
    type("A0\r");
    EXPECT_EQ(screen.messageTexts(), std::vector<std::string>{"Write failed"});
}

TEST_F(TerminalTest, LogFileThatExistsIsAppendedOrReplaced)
{
    const std::tuple<std::vector<Answer>, std::string, size_t> cases[] = {
        {{Answer::No}, "old\r\nnew", 1},
        {{Answer::Yes}, "new", 1},
        {{Answer::Cancel, Answer::No}, "old\r\nnew", 2},  // Cancel asks for the file again
    };
    for (const auto& [answers, after, fileDialogs] : cases) {
        app.log.close();
        screen.clearTranscript();
        std::ofstream(dir / "a.log", std::ios::binary) << "old\r\n";
        screen.messageAnswers.assign(answers.begin(), answers.end());
        screen.fileAnswers.assign(fileDialogs, choose("a.log"));
        OpenLogFile(app);
        ASSERT_TRUE(app.log.write("new", nullptr));
        EXPECT_EQ(fileBytes(dir / "a.log"), after);
        EXPECT_EQ(screen.boxes("file").size(), fileDialogs);
        const auto questions = screen.boxes("message");
        ASSERT_EQ(questions.size(), answers.size());
        EXPECT_EQ(questions[0].text, "Replace existing file - " + (dir / "a.log").string() + "?");
    }
}

TEST_F(TerminalTest, LogFileOpensAfterACancelAndASecondLogClosesTheFirst)
{
    screen.setText("Form1", "Puolukka");
    OpenLogFile(app);  // cancelled
    EXPECT_FALSE(app.log.isOpen());
    EXPECT_EQ(screen.text("Form1"), "Puolukka");
    screen.fileAnswers = {choose("a.log"), choose("b.log"), choose("no_such_dir/c.log")};
    OpenLogFile(app);
    EXPECT_EQ(screen.text("Form1"), "Terminal MSComm - a.log");
    ASSERT_TRUE(heldOpen("a.log"));
    OpenLogFile(app);
    EXPECT_FALSE(heldOpen("a.log"));
    app.log.write("traffic", nullptr);
    EXPECT_EQ(fileBytes(dir / "a.log") + "/" + fileBytes(dir / "b.log"), "/traffic");
    OpenLogFile(app);  // cannot be opened: reported
    EXPECT_FALSE(app.log.isOpen());
    ASSERT_EQ(screen.messageTexts().size(), 1u);
    EXPECT_NE(screen.messageTexts()[0].find("no_such_dir"), std::string::npos);
}

TEST_F(TerminalTest, PortToolsAskSetAndRefuse)
{
    const std::tuple<void (*)(App&), int (SerialPort::*)() const, const char*, const char*> tools[] = {
        {MInputLen_Click, &SerialPort::inputLen, "Please enter InputLen:", "InputLen"},
        {MRThreshold_Click, &SerialPort::rThreshold, "Please enter the new RThreshold value :", "RThreshold"},
        {MSThreshold_Click, &SerialPort::sThreshold, "Please enter a new SThreshold value", "SThreshold"},
    };
    for (const auto& [click, get, prompt, title] : tools) {
        SCOPED_TRACE(title);
        screen.clearTranscript();
        // Cancel (no answer), not a 16-bit number and a value the port refuses change nothing.
        for (auto [answer, value] : {std::pair<const char*, int>{"12", 12}, {nullptr, 12}, {"70000", 12},
                                     {"-3", 12}, {"many", 0}}) {
            screen.inputAnswers.assign(answer ? 1 : 0, answer ? answer : "");
            click(app);
            EXPECT_EQ((port.*get)(), value) << (answer ? answer : "cancel");
        }
        const auto asked = screen.boxes("input");
        EXPECT_EQ(asked[0].text + "|" + asked[0].title, prompt + std::string("|") + title);
        EXPECT_EQ(asked[0].defaultText + asked[1].defaultText, " 0 12");
        ASSERT_EQ(screen.boxes("message").size(), 2u);
        EXPECT_NE(screen.boxes("message")[1].text.find(title), std::string::npos);
    }
    // ParityReplace takes the first character, one byte on the line (others are refused); cancel clears it.
    screen.clearTranscript();
    screen.inputAnswers = {"XY", "äx", "€"};
    for (const char* after : {"X", "\xE4", "\xE4", ""}) {
        MParRep_Click(app);
        EXPECT_EQ(port.parityReplace(), after);
    }
    EXPECT_EQ(screen.boxes("input")[0].text, "Please enter the new character");
    EXPECT_EQ(screen.boxes("message").size(), 1u);
    // The line tools show and toggle the lines.
    screen.clearTranscript();
    port.cd = port.dsr = true;
    for (auto click : {MHCD_Click, MHCTS_Click, MHDSR_Click})
        click(app);
    EXPECT_EQ(screen.messageTexts(),
              (std::vector<std::string>{"CDHolding = True", "CTSHolding = False", "DSRHolding = True"}));
    EXPECT_TRUE(MDTREnable_Click(app) && !MDTREnable_Click(app));
    EXPECT_EQ(port.lineChanges, (std::vector<std::string>{"DTR on", "DTR off"}));
}

}  // namespace
}  // namespace puolukka
