#include "link/exchange.h"

#include "app/app.h"
#include "app/settings_file.h"
#include "conversions/conversions.h"
#include "filesystem/catalogue.h"
#include "link/status_words.h"

namespace puolukka {

namespace {

// The pane keeps at most this many characters before an answer is added; when
// it is reached the oldest half is dropped.
constexpr int kPaneLimit = 8192;
constexpr int kPaneDrop = 4096;

bool isLeadByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }

// The text without its first n characters.
std::string dropChars(const std::string& text, int n)
{
    std::size_t pos = 0;
    for (int seen = 0; pos < text.size(); ++pos) {
        if (isLeadByte(text[pos]) && seen++ == n)
            break;
    }
    return text.substr(pos);
}

// Appends to the open log until it succeeds or the user gives up.
void appendToLog(App& app, const std::string& bytes)
{
    if (!app.log.isOpen())
        return;
    std::string error;
    while (!app.log.write(bytes, &error)) {
        const MessageBox box{error, kAppTitle, Buttons::RetryCancel, Icon::Critical, Answer::Ok};
        if (app.screen.messageBox(box) != Answer::Retry)
            return;
    }
}

// A status text chosen for a chunk: shown and logged only while the terminal shows answers.
void showStatusText(App& app, std::string_view text)
{
    if (text.empty() || app.card.ShowInTerminal != 1)
        return;
    app.screen.termInsert(std::string(text));
    LogTxt(app, std::string(text));
}

std::string carryOut(App& app, const StatusText* row)
{
    if (!row)
        return {};
    switch (row->effect) {
    case StatusEffect::None:
        break;
    case StatusEffect::WrongChv:
        showMessage(app.screen, "Annoit väärän PIN-koodin!", "Virhe!");
        app.card.CardReady = 0;
        break;
    case StatusEffect::ChvBlocked:
        showMessage(app.screen, "Kortti on lukkiutunut!", "Virhe!");
        break;
    case StatusEffect::MoreData:
        app.card.ResponseLength = "x";
        break;
    }
    return std::string(row->text);
}

}  // namespace

bool inverseOnLine(const App& app) { return app.card.InverseConvention != 0 && !app.port.deliversLogicalBytes(); }

T0Line t0Line(App& app)
{
    T0Line line;
    line.port = &app.port;
    line.clock = &app.clock;
    line.inverse = inverseOnLine(app);
    line.waitUs = waitingTimeUs(app.card.workWaitingEtu, decimalValue(app.settings.Baud_Rate));
    return line;
}

CardCommand::CardCommand(App& app) : m_app(app), m_command(t0Line(app)) {}

const T0Answer& CardCommand::header(const std::string& bytes) { return show(m_command.sendHeader(bytes)); }

const T0Answer& CardCommand::data(const std::string& bytes)
{
    if (!m_command.wantsData()) {
        m_answer = T0Answer{};
        m_answer.status = T0Status::NotSent;
        return m_answer;
    }
    return show(m_command.sendData(bytes));
}

void resetNextIfBroken(App& app, const T0Answer& answer)
{
    if (answer.status != T0Status::Complete && answer.status != T0Status::StatusWord)
        app.card.CardReady = 0;
}

const T0Answer& CardCommand::show(T0Answer answer)
{
    m_answer = std::move(answer);
    if (m_answer.status != T0Status::PortFailed)
        m_app.card.cardAnswered = m_answer.cardAnswered();
    resetNextIfBroken(m_app, m_answer);
    if (!m_answer.line.empty()) {
        // ShowAnswer takes the bytes as the port delivers them.
        std::string chunk = inverseOnLine(m_app) ? inverseBytes(m_answer.line) : m_answer.line;
        ShowAnswer(m_app, chunk);
    }
    return m_answer;
}

bool Send2Card(App& app, std::string& OutChar, int Delay)
{
    if (inverseOnLine(app))
        OutChar = inverseBytes(OutChar);
    const bool written = app.port.output(OutChar);
    if (!written || !app.port.portOpen())
        return false;
    app.clock.sleepMs(Delay);
    while (app.port.inBufferCount() > 0) {
        std::string chunk = app.port.input();
        if (chunk.empty())
            break;  // a port that counts bytes it cannot deliver must not hang the exchange
        ShowAnswer(app, chunk);
    }
    return true;
}

void ShowAnswer(App& app, std::string& chunk)
{
    CardState& card = app.card;
    Screen& screen = app.screen;
    card.AnswerHex.clear();

    // Keep the pane bounded, whether or not this chunk is shown in it.
    std::string pane = screen.termText();
    if (termLength(pane) >= kPaneLimit) {
        pane = dropChars(pane, kPaneDrop);
        screen.setTermText(pane);
    }
    screen.setTermCaret(termLength(pane));

    if (inverseOnLine(app))
        chunk = inverseBytes(chunk);

    std::string pairs;
    for (unsigned char byte : chunk) {
        const std::string hex = hexByte(byte);
        pairs += hex + " ";
        card.AnswerHex += hex;
    }
    if (card.ShowInTerminal == 1 && !pairs.empty())
        screen.termInsert(pairs);

    // The status word is the last four digits; its first byte the two before the last two.
    const std::string& hex = card.AnswerHex;
    const std::string statusWord = hex.size() >= 4 ? hex.substr(hex.size() - 4) : hex;
    showStatusText(app, carryOut(app, lookUpStatus(statusWordTable(), statusWord)));
    const std::string firstByte = hex.size() >= 4 ? hex.substr(hex.size() - 4, 2) : std::string();
    const std::string byteText = carryOut(app, lookUpStatus(firstStatusByteTable(), firstByte));
    showStatusText(app, byteText);

    // One record per chunk: its digits, a blank and the first-byte text.
    appendToLog(app, card.AnswerHex + " " + byteText + "\r\n");

    chunk = "\r\n";
    if (card.ShowInTerminal == 1)
        screen.termInsert(chunk);
    LogTxt(app, chunk);
}

void LogTxt(App& app, const std::string& Dta)
{
    appendToLog(app, Dta);
}

void commandLine(App& app, const std::string& line)
{
    if (app.card.ShowInTerminal == 1)
        app.screen.termInsert(line);
    LogTxt(app, line);
}

void Test_Response(App& app)
{
    CardState& card = app.card;
    card.ShowInTerminal = 0;

    CardCommand select(app);
    select.header(HexToBytes(card.ClassByte + "A4000002"));

    // Characters 4 to 7 of the display name are the file identifier, converted as SELECT File sent it.
    const std::string bytes = HexToBytes(displayNameIdentifier(card.CurrentFile));
    select.data(bytes);

    const std::string& hex = card.AnswerHex;
    card.ResponseLength = hex.size() >= 2 ? hex.substr(hex.size() - 2) : std::string();
    card.ShowInTerminal = 1;
}

}  // namespace puolukka
