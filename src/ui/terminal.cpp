#include "ui/terminal.h"

#include <filesystem>
#include <string>
#include <system_error>

#include "app/app.h"
#include "conversions/conversions.h"
#include "link/exchange.h"

namespace puolukka {

namespace {

constexpr int kTerminalDelayMs = 75;

bool isContinuationByte(unsigned char c) { return (c & 0xC0) == 0x80; }

// Removes the last character of the pane's text as the pane shows it: a whole
// UTF-8 character, or a whole CR LF line end (one line break on the screen, so
// that every Backspace that takes back a digit visibly changes the pane).
void dropLastCharacter(std::string& text)
{
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) {
        text.resize(text.size() - 2);
        return;
    }
    while (!text.empty()) {
        const unsigned char c = static_cast<unsigned char>(text.back());
        text.pop_back();
        if (!isContinuationByte(c))
            break;
    }
}

bool isTypedHexDigit(int key) { return (key >= '0' && key <= '9') || (key >= 'A' && key <= 'F'); }

void showFailure(App& app, const std::string& description)
{
    showMessage(app.screen, description, kAppTitle, Icon::Exclamation);
}

// The three number tools differ only in the property and the texts they ask with.
void askNumberProperty(App& app, int current, bool (SerialPort::*set)(int), const char* prompt,
                       const char* title)
{
    const std::string answer = app.screen.inputBox(prompt, title, numberWithSign(current));
    if (answer.empty())
        return;
    const long value = decimalValue(answer);
    // The properties are 16-bit numbers: a value that does not fit is refused before the port sees it.
    if (value < -32768 || value > 32767) {
        showFailure(app, "Overflow: " + std::string(title) + " must be a 16-bit number");
        return;
    }
    if (!(app.port.*set)(static_cast<int>(value)))
        showFailure(app, app.port.lastError().description);
}

// ParityReplace holds one byte; the input box speaks UTF-8, so the byte is shown
// and taken as a Latin-1 character.
std::string latin1ToUtf8(const std::string& bytes)
{
    std::string text;
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            text += static_cast<char>(c);
        } else {
            text += static_cast<char>(0xC0 | (c >> 6));
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return text;
}

// The first character of a UTF-8 text as one Latin-1 byte; false when it has no such byte.
bool firstCharacterAsLatin1(const std::string& text, std::string& byte)
{
    byte.clear();
    if (text.empty())
        return true;
    const unsigned char lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80) {
        byte = text.substr(0, 1);
        return true;
    }
    if ((lead & 0xE0) == 0xC0 && text.size() >= 2 && isContinuationByte(text[1])) {
        const int code = ((lead & 0x1F) << 6) | (static_cast<unsigned char>(text[1]) & 0x3F);
        if (code <= 0xFF) {
            byte = std::string(1, static_cast<char>(code));
            return true;
        }
    }
    return false;
}

void showLineState(App& app, const char* name, bool (SerialPort::*read)())
{
    app.port.clearError();
    const bool on = (app.port.*read)();
    if (app.port.errorPending()) {
        showFailure(app, app.port.lastError().description);
        return;
    }
    app.screen.messageBox(MessageBox{std::string(name) + " = " + (on ? "True" : "False"), kAppTitle,
                                     Buttons::Ok, Icon::None, Answer::Ok});
}

}  // namespace

int Term_KeyPress(App& app, int keyAscii)
{
    // With the port closed typing goes into the pane as plain text; nothing is collected or sent.
    if (!app.port.portOpen())
        return keyAscii;

    Screen& screen = app.screen;
    if (keyAscii == kKeyEnter) {
        // An odd last digit stands for the high half of its byte ("A" is A0).
        std::string bytes = HexToBytes(app.TypedHex);
        screen.termInsert(" ");
        app.card.CardDelay = kTerminalDelayMs;
        // A write that fails (a vanished adapter) is told, not silently dropped.
        if (!Send2Card(app, bytes, app.card.CardDelay))
            showFailure(app, app.port.lastError().description);
        app.TypedHex.clear();
    } else if (keyAscii == kKeyBackspace) {
        if (!app.TypedHex.empty()) {
            // The pane loses its last character, whatever it is; the pending digit goes with it.
            std::string text = screen.termText();
            dropLastCharacter(text);
            screen.setTermText(text);
            screen.setTermCaret(termLength(text));
            app.TypedHex.pop_back();
        }
    } else if (isTypedHexDigit(keyAscii)) {
        const std::string digit(1, static_cast<char>(keyAscii));
        app.TypedHex += digit;
        screen.termInsert(digit);
    }
    return app.TerminalEcho == -1 ? keyAscii : 0;
}

void TermCLS_Click(App& app)
{
    app.screen.setTermCaret(0);
    app.screen.setTermText("");
}

void OpenLogFile(App& app)
{
    Screen& screen = app.screen;
    FileChoice choice;
    bool exists = false;
    for (;;) {
        choice = screen.fileDialog("Open Communication LOG File",
                                   "LOG Files(*.LOG)|*.log|All Files (*.*)|*.*", "", false);
        if (choice.cancelled || choice.path.empty())
            return;
        std::error_code ec;
        exists = std::filesystem::exists(choice.path, ec);
        if (ec) {
            showFailure(app, choice.path + ": " + ec.message());
            return;
        }
        if (!exists)
            break;
        MessageBox ask{"Replace existing file - " + choice.path + "?", kAppTitle, Buttons::YesNoCancel,
                       Icon::Question, Answer::Ok};
        const Answer answer = screen.messageBox(ask);
        if (answer == Answer::Cancel)
            continue;  // back to the file dialog
        if (answer == Answer::Yes) {
            std::filesystem::remove(choice.path, ec);
            if (ec) {
                showFailure(app, choice.path + ": " + ec.message());
                return;
            }
        }
        break;  // No: the log is appended to the file as it is
    }

    // CommLog::open closes a log that was open before: one log receives the traffic at a time.
    std::string error;
    if (!app.log.open(choice.path, &error)) {
        showFailure(app, error);
        return;
    }
    screen.setText("Form1", "Terminal MSComm - " + choice.fileTitle);
}

void MInputLen_Click(App& app)
{
    askNumberProperty(app, app.port.inputLen(), &SerialPort::setInputLen, "Please enter InputLen:",
                      "InputLen");
}

void MRThreshold_Click(App& app)
{
    askNumberProperty(app, app.port.rThreshold(), &SerialPort::setRThreshold,
                      "Please enter the new RThreshold value :", "RThreshold");
}

void MSThreshold_Click(App& app)
{
    askNumberProperty(app, app.port.sThreshold(), &SerialPort::setSThreshold,
                      "Please enter a new SThreshold value", "SThreshold");
}

void MParRep_Click(App& app)
{
    const std::string answer = app.screen.inputBox("Please enter the new character", "ParityReplace",
                                                   latin1ToUtf8(app.port.parityReplace()));
    // An empty answer (Cancel too) clears the replacement character.
    std::string byte;
    if (!firstCharacterAsLatin1(answer, byte)) {
        showFailure(app, "Invalid property value: ParityReplace takes a single-byte character");
        return;
    }
    if (!app.port.setParityReplace(byte))
        showFailure(app, app.port.lastError().description);
}

bool MDTREnable_Click(App& app)
{
    if (!app.port.setDTREnable(!app.port.dtrEnable()))
        showFailure(app, app.port.lastError().description);
    return app.port.dtrEnable();
}

void MHCD_Click(App& app) { showLineState(app, "CDHolding", &SerialPort::cdHolding); }

void MHCTS_Click(App& app) { showLineState(app, "CTSHolding", &SerialPort::ctsHolding); }

void MHDSR_Click(App& app) { showLineState(app, "DSRHolding", &SerialPort::dsrHolding); }

}  // namespace puolukka
