#include "link/reset.h"

#include <cmath>

#include <algorithm>

#include "app/app.h"
#include "app/settings_file.h"
#include "conversions/conversions.h"
#include "filesystem/explorer.h"
#include "filesystem/hex_text.h"
#include "filesystem/selection.h"
#include "link/answer_to_reset.h"
#include "link/exchange.h"
#include "link/line_events.h"

namespace puolukka {

namespace {

enum class ResetLine { Rts, Dtr };

// What tells the three resets apart.
struct ResetKind {
    bool setsCardReady;
    int method;               // ResetMethod: 1 RTS, 2 DTR
    ResetLine line;
    bool showsAnswerToReset;  // sets ShowInTerminal = 1 before the answer-to-reset is read
};

constexpr ResetKind kResetointi{true, 1, ResetLine::Rts, true};
constexpr ResetKind kCommand1{false, 1, ResetLine::Rts, true};
constexpr ResetKind kCommand2{false, 2, ResetLine::Dtr, false};

void setLine(App& app, ResetLine line, bool on)
{
    if (line == ResetLine::Rts)
        app.port.setRTSEnable(on);
    else
        app.port.setDTREnable(on);
}

// The reset contact is wired to RTS or DTR; the pulse's direction is the
// reader's wiring. False when no pulse was given (no card answers then).
bool pulse(App& app, ResetLine line)
{
    const int polarity = app.card.ResetPolarity;
    if (polarity != 0 && polarity != 1)
        return false;
    const bool first = polarity == 0;
    setLine(app, line, first);
    app.clock.sleepMs(250);
    setLine(app, line, !first);
    return true;
}

// ISO 7816-3 8.1: a card may take 9600 bit times before each character of its answer-to-reset.
constexpr int kInitialWaitingEtu = 9600;
// An answer-to-reset read with the other convention's parity can be parsed only
// when the port kept its bytes as they came; otherwise it is taken as over once
// the line has been quiet for 20 character times.
constexpr int kMisreadAtrQuietEtu = 240;
constexpr std::int64_t kPollStepUs = 250;

struct AtrRead {
    std::string bytes;  // as the port delivered them
    TsVerdict verdict = TsVerdict::Unknown;
    AtrParse parse;     // of the logical bytes, when TS fits the convention the port is set for
};

// Reads the answer-to-reset and returns as soon as every byte it announces has
// come (or, read with the other convention, once the line is quiet); a card that
// sends nothing more ends it after the initial waiting time.
AtrRead readAnswerToReset(App& app)
{
    SerialPort& port = app.port;
    Clock& clock = app.clock;
    const bool logical = port.deliversLogicalBytes();
    const bool inverse = inverseOnLine(app);
    const long baud = decimalValue(app.settings.Baud_Rate);
    const std::int64_t waitUs = waitingTimeUs(kInitialWaitingEtu, baud);
    AtrRead atr;
    std::int64_t deadline = clock.nowUs() + waitUs;
    for (;;) {
        const std::string chunk = port.inBufferCount() > 0 ? port.input() : std::string();
        if (!chunk.empty()) {
            atr.bytes += chunk;
            deadline = clock.nowUs() + waitUs;
            const auto ts = static_cast<unsigned char>(atr.bytes[0]);
            atr.verdict = logical ? TsVerdict::SameConvention : tsVerdict(ts, inverse, port.parityReplace());
            if (atr.verdict == TsVerdict::SameConvention) {
                atr.parse = parseAnswerToReset(inverse ? inverseBytes(atr.bytes) : atr.bytes);
                if (atr.parse.complete) {
                    atr.bytes.resize(atr.parse.length);
                    return atr;
                }
            } else if (atr.verdict == TsVerdict::OtherConvention) {
                const AtrParse other = parseAnswerToReset(inverse ? atr.bytes : inverseBytes(atr.bytes));
                if (other.complete) {
                    atr.bytes.resize(other.length);
                    return atr;
                }
                deadline = clock.nowUs() + waitingTimeUs(kMisreadAtrQuietEtu, baud);
            }
            continue;
        }
        if (!port.portOpen())
            return atr;
        const std::int64_t now = clock.nowUs();
        if (now >= deadline)
            return atr;
        clock.sleepUs(std::min(kPollStepUs, deadline - now));
    }
}

// Pulses the reset line and shows the answer-to-reset. Without a pulse no card
// answers: what is waiting is shown, and nothing is waited for.
AtrRead answerToReset(App& app, ResetLine line)
{
    app.port.clearInBuffer();
    AtrRead atr;
    if (pulse(app, line))
        atr = readAnswerToReset(app);
    else if (app.port.inBufferCount() > 0)
        atr.bytes = app.port.input();
    if (!atr.bytes.empty()) {
        std::string chunk = atr.bytes;
        ShowAnswer(app, chunk);
    }
    return atr;
}

// The text of a field without its first n characters (UTF-8 aware).
std::string withoutFirst(const std::string& text, std::size_t n)
{
    std::size_t pos = 0;
    for (std::size_t seen = 0; pos < text.size(); ++pos) {
        if ((static_cast<unsigned char>(text[pos]) & 0xC0) != 0x80 && seen++ == n)
            break;
    }
    return text.substr(pos);
}

void deleteFirst(App& app, const char* field, std::size_t n)
{
    app.screen.setText(field, withoutFirst(app.screen.text(field), n));
}

// A new card: no codes known, no descriptions, the master file current.
void forgetCard(App& app)
{
    Screen& screen = app.screen;
    ++app.card.CardSession;
    app.card.Pin1Code.clear();
    app.card.Pin2Code.clear();
    // Whether PIN1 is needed is known again once the new card's description is read.
    app.card.Chv1State.clear();
    screen.setText("PIN1Valid", "INVALID");
    screen.setText("PIN2Valid", "INVALID");
    for (const char* label : {"ACS61", "ACS62", "ACS63", "ACS64", "ACS65"})
        screen.setText(label, "");
    for (const char* field : {"PIN1Status", "PIN2Status", "PUK1Status", "PUK2Status"})
        deleteFirst(app, field, 4);
    for (const char* field : {"PIN1Left", "PIN2Left"})
        deleteFirst(app, field, 1);
    for (const char* field : {"PUK1Left", "PUK2Left", "SubDFNum", "SubEFNum", "Keys", "CLKStatus"})
        deleteFirst(app, field, 3);
    app.card.CurrentDirectory = "MF-3F00-MF ";
    app.card.CurrentFile = "MF-3F00-MF";
    screen.setText("Label3", " " + app.card.CurrentDirectory);
}

void reset(App& app, const ResetKind& kind)
{
    if (kind.setsCardReady)
        app.card.CardReady = 1;
    app.card.ResetMethod = kind.method;

    // With the port closed there is no card to talk to: the old card's state is
    // still forgotten, but nothing is sent and no stale answer is decoded.
    const bool portOpen = app.port.portOpen();
    forgetCard(app);
    if (!portOpen) {
        app.card.ShowInTerminal = 1;
        return;
    }

    if (kind.showsAnswerToReset)
        app.card.ShowInTerminal = 1;
    AtrRead atr = answerToReset(app, kind.line);
    // ISO 7816-3 8.1: TS tells the card's convention. A card that speaks the
    // other one is switched to at once (parity and convention together, as the
    // line events do) and reset again, so this very operation can go on. The
    // port is reopened for it, which drops the parity errors of the misread
    // answer: they cannot switch back later. A port that delivers logical bytes
    // has decoded the convention itself.
    if (atr.verdict == TsVerdict::OtherConvention && !app.port.deliversLogicalBytes()) {
        setConvention(app, app.card.InverseConvention == 0);
        atr = answerToReset(app, kind.line);
    }
    const bool understood = atr.verdict == TsVerdict::SameConvention && atr.parse.complete;
    app.card.answerToReset = understood ? (inverseOnLine(app) ? inverseBytes(atr.bytes) : atr.bytes) : std::string();
    app.card.workWaitingEtu = understood ? atr.parse.workWaitingEtu : AtrParse{}.workWaitingEtu;
    app.card.cardAnswered = !atr.bytes.empty();

    // The master file's description, read silently, refreshes the PIN1 state.
    app.card.ShowInTerminal = 0;
    app.screen.setEnabled("GetResp3", true);
    SelRoot(app);
    // GSM 11.11 9.4.1: 9F xx, the description waits to be fetched. A card that
    // answered otherwise, or not at all, has none to give.
    if (app.card.cardAnswered && lastChars(app.card.AnswerHex, 4).substr(0, 2) == "9F")
        GetResp3_Click(app);
    app.screen.setEnabled("GetResp3", false);
    app.card.ShowInTerminal = 1;
}

// Seconds from b to a on a clock that wraps at midnight: negative while a is before b.
double secondsAfter(double a, double b)
{
    double d = a - b;
    if (d < -43200)
        d += 86400;
    else if (d > 43200)
        d -= 86400;
    return d;
}

}  // namespace

void resetointi(App& app) { reset(app, kResetointi); }

void Command1_Click(App& app) { reset(app, kCommand1); }

void Command2_Click(App& app) { reset(app, kCommand2); }

bool Form_Unload(App& app)
{
    if (!app.port.portOpen())
        return false;
    double deadline = std::round(app.clock.timeOfDaySeconds() + 10);
    while (app.port.outBufferCount() > 0) {
        app.screen.processEvents();
        if (secondsAfter(app.clock.timeOfDaySeconds(), deadline) > 0) {
            const MessageBox box{"Unable to transmit datas", kAppTitle, Buttons::AbortRetryIgnore, Icon::Question,
                                 Answer::Ok};
            const Answer answer = app.screen.messageBox(box);
            if (answer == Answer::Abort)
                return true;
            if (answer != Answer::Retry)
                break;
            deadline = std::round(app.clock.timeOfDaySeconds() + 10);
        }
        // Let time pass between looks at the port instead of spinning.
        app.clock.sleepMs(10);
    }
    app.port.setPortOpen(false);
    return false;
}

}  // namespace puolukka
