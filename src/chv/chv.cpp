#include "chv/chv.h"

#include "app/app.h"
#include "conversions/conversions.h"
#include "filesystem/get_response.h"
#include "filesystem/hex_text.h"
#include "link/exchange.h"
#include "link/t0_exchange.h"

namespace puolukka {

namespace {

// A PIN (CHV) of GSM 11.11 has 4 to 8 digits, a PUK exactly 8; the command
// carries 8 bytes for each.
constexpr std::size_t kMinPinDigits = 4;
constexpr std::size_t kCodeDigits = 8;

constexpr const char* kBadPin = "PIN-koodin pitää olla 4–8 numeroa.";
constexpr const char* kBadPuk = "PUK-koodissa saa olla vain numeroita.";
constexpr const char* kNoCodeAnswer =
    "Kortilta ei tullut ehjää vastausta koodin tarkistukseen. Tarkista kortti ja lukija ja yritä uudelleen.";

bool onlyDigits(const std::string& code)
{
    for (char c : code)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// The card counts every wrong presentation, so a code that cannot be right is
// refused here before anything goes to the card.
bool acceptablePin(App& app, const std::string& code)
{
    if (onlyDigits(code) && code.size() >= kMinPinDigits && code.size() <= kCodeDigits)
        return true;
    showMessage(app.screen, kBadPin, kAppTitle, Icon::Exclamation);
    return false;
}

// The code's digits as bytes 30-39, padded with FF to the 8 bytes of the command.
std::string codeData(const std::string& code)
{
    std::string data;
    for (char c : code) {
        data += '3';
        data += c;
    }
    while (data.size() < 2 * kCodeDigits)
        data += "FF";
    return data;
}

// Shows and logs the header text, then sends it: the command begins.
void sendHeader(App& app, CardCommand& command, const std::string& text)
{
    commandLine(app, text + "\r\n");
    command.header(HexToBytes(text));
}

// A code goes only when the card asks for it with its procedure byte (ISO
// 7816-3 T=0): a card that ended the command with a status word, or that did
// not answer, would take the code for the next command. It is shown with it.
void sendCode(App& app, CardCommand& command, const std::string& text)
{
    if (!command.wantsData())
        return;
    commandLine(app, text + "\r\n");
    command.data(HexToBytes(text));
}

// The card took the whole command and said 90 00.
bool accepted(const CardCommand& command)
{
    return command.answer().status == T0Status::Complete && command.answer().ok();
}

// After a code the card refused, the attempts it has left are shown at once.
// STATUS (GSM 11.11 9.2.2) returns the current directory's description, whose
// bytes 19-22 hold the states of the codes (9.2.1), and changes no selection.
void showAttemptsLeft(App& app)
{
    // GSM 11.11 9.2.1: the directory fields end with byte 22 (UNBLOCK CHV2 status).
    constexpr int kDirectoryBytes = 22;
    T0Command status(t0Line(app));
    const T0Answer answer = status.sendHeader(HexToBytes(app.card.ClassByte + "F20000" + hexByte(kDirectoryBytes)));
    resetNextIfBroken(app, answer);
    if (answer.status == T0Status::Complete && answer.ok() && answer.data.size() == std::size_t(kDirectoryBytes))
        showCodeStates(app.screen, decodeDirectory(bytesToHex(answer.data)));
}

// The outcome of a verification or unblocking: the code is kept only when the
// card said 9000 to this very command (a closed port or a failed write is no
// answer). A card that ended the command with a status word refused the code:
// the attempts it has left are shown. Any other end (the card fell silent, its
// answer broke off or came hit on the line) leaves open whether the card took
// the code: the user is told so, and nothing more is sent before a reset.
void recordOutcome(App& app, const CardCommand& command, std::string& code, const char* field)
{
    if (accepted(command)) {
        app.screen.setText(field, code);
        return;
    }
    code.clear();
    app.screen.setText(field, "INVALID");
    const T0Answer& answer = command.answer();
    if (answer.status != T0Status::Complete && answer.status != T0Status::StatusWord) {
        showMessage(app.screen, kNoCodeAnswer, kAppTitle, Icon::Exclamation);
        return;
    }
    showAttemptsLeft(app);
    // 98 04 and 98 40 have had their boxes (ShowAnswer); any other status word
    // (GSM 11.11 9.4: 6E 00, 67 xx, 94 00, 98 08...) says the card did not check the code.
    const unsigned char sw1 = answer.status2.size() == 2 ? (unsigned char)answer.status2[0] : 0;
    const unsigned char sw2 = answer.status2.size() == 2 ? (unsigned char)answer.status2[1] : 0;
    if (!(sw1 == 0x98 && (sw2 == 0x04 || sw2 == 0x40)))
        showMessage(app.screen, "Kortti ei tarkistanut koodia (kortti vastasi " + hexByte(sw1) + " " + hexByte(sw2)
                                    + "). Tarkista kortti ja yritä uudelleen.",
                    kAppTitle, Icon::Exclamation);
}

// VERIFY CHV: header, then the code. The code is asked before anything is sent,
// so that a cancel leaves the card with no half-sent command.
void verify(App& app, const std::string& code, const std::string& header, std::string& stored, const char* field)
{
    stored = code;
    CardCommand command(app);
    sendHeader(app, command, header);
    sendCode(app, command, codeData(code));
    recordOutcome(app, command, stored, field);
}

struct UnblockTexts {
    const char* parameters;  // INS P1 P2 P3 after the class
    const char* pukPrompt;
    const char* pukLengthMessage;
    const char* pinPrompt;
};

// UNBLOCK CHV: the PUK and the new PIN are both asked before the header is sent.
void unblock(App& app, const UnblockTexts& texts, std::string& stored, const char* field)
{
    app.screen.setEnabled("GetResp3", false);
    const std::string header = app.card.ClassByte + texts.parameters;
    const std::string puk = app.screen.secretInputBox(texts.pukPrompt, header);
    if (puk.empty())
        return;
    if (characterCount(puk) != kCodeDigits) {
        showMessage(app.screen, texts.pukLengthMessage);
        return;
    }
    if (!onlyDigits(puk)) {
        showMessage(app.screen, kBadPuk, kAppTitle, Icon::Exclamation);
        return;
    }
    const std::string pukData = codeData(puk);
    const std::string pin = app.screen.secretInputBox(texts.pinPrompt, pukData);
    if (pin.empty() || !acceptablePin(app, pin)) {
        stored.clear();
        return;
    }
    stored = pin;
    CardCommand command(app);
    sendHeader(app, command, header);
    sendCode(app, command, pukData);
    sendCode(app, command, codeData(pin));
    recordOutcome(app, command, stored, field);
}

}  // namespace

void luepin(App& app)
{
    app.screen.setEnabled("GetResp3", false);
    const std::string code = app.screen.secretInputBox("Anna PIN1:", "PIN1");
    if (code.empty() || !acceptablePin(app, code)) {
        app.card.Pin1Code.clear();
        return;
    }
    verify(app, code, app.card.ClassByte + "20000108", app.card.Pin1Code, "PIN1Valid");
}

void PinCHV2_Click(App& app)
{
    app.screen.setEnabled("GetResp3", false);
    const std::string code = app.screen.secretInputBox("Please enter SIM CHV2 (PIN2) Number :", kAppTitle);
    if (code.empty() || !acceptablePin(app, code)) {
        app.card.Pin2Code.clear();
        return;
    }
    verify(app, code, app.card.ClassByte + "20000208", app.card.Pin2Code, "PIN2Valid");
}

void PUK1_Click(App& app)
{
    static constexpr UnblockTexts kTexts{"2C000010", "Please enter SIM UNBLOCK 1 (PUK1) Number :",
                                         "PUK1 MUST have 8 digits !", "Please enter SIM CHV1 (PIN1) Number :"};
    unblock(app, kTexts, app.card.Pin1Code, "PIN1Valid");
}

void PUK2_Click(App& app)
{
    static constexpr UnblockTexts kTexts{"2C000210", "Please enter SIM UNBLOCK 2 (PUK2) Number :",
                                         "PUK2 MUST have 8 digits !", "Please enter SIM CHV2 (PIN2) Number :"};
    unblock(app, kTexts, app.card.Pin2Code, "PIN2Valid");
}

}  // namespace puolukka
