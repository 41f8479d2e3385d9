#pragma once

#include <string>

#include "link/t0_exchange.h"

namespace puolukka {

struct App;

// True when bytes to and from the card pass through InverseByte: the inverse
// convention, on a port that carries the card's bytes as they are on the line
// (a port that delivers logical bytes has decoded the convention itself).
bool inverseOnLine(const App& app);

// The card link of the App for the T=0 exchange: its port and clock, the
// convention, and the work waiting time the last answer-to-reset gave.
T0Line t0Line(App& app);

// An answer that did not end its command cleanly (the card fell silent, its
// answer broke off or came hit on the line, the port failed) may leave the card
// waiting for the rest of the command: whatever is sent next would complete it
// (a VERIFY would take the next header for the last byte of the code). Then
// CardReady is cleared, so the next card operation starts with a reset. For
// every exchange, shown (CardCommand) or not.
void resetNextIfBroken(App& app, const T0Answer& answer);

// One command of an operation by the T=0 rules. Each answer is shown as one
// chunk (ShowAnswer) the way a card that answers at once puts it on the line
// (echo, procedure byte, data, status word), so a slow card, NULL bytes or a
// byte-at-a-time transfer change nothing that is shown or decoded. Nothing is
// shown when nothing came back. CardAnswered follows each answer; a broken
// one clears CardReady (resetNextIfBroken).
class CardCommand {
public:
    explicit CardCommand(App& app);
    // Sends the header: for a command whose data the card sends (READ, GET
    // RESPONSE) the whole answer comes back; otherwise the procedure byte that
    // asks for the data, or the status word that ended the command.
    const T0Answer& header(const std::string& bytes);
    // Sends the command's data (or a part of them) as the card asks for them.
    // Nothing is sent, nor shown, when the card has not asked for data.
    const T0Answer& data(const std::string& bytes);
    // The card has asked for the data and not all of them have been sent.
    bool wantsData() const { return m_command.wantsData(); }
    const T0Answer& answer() const { return m_answer; }

private:
    const T0Answer& show(T0Answer answer);

    App& m_app;
    T0Command m_command;
    T0Answer m_answer;
};

// Writes bytes to the card and shows what comes back: under inverse convention
// OutChar is replaced by its transformed bytes first; then one write, a sleep of
// Delay ms, and every chunk waiting is handed to ShowAnswer. Returns false when
// the port is closed or the write failed (nothing is read then).
bool Send2Card(App& app, std::string& OutChar, int Delay);

// Shows one received chunk: hex pairs in the terminal, AnswerHex, the status
// texts, the message boxes of 9804/9840, and the log record. On return chunk
// holds a line end (it is reused as a work variable).
void ShowAnswer(App& app, std::string& chunk);

// Appends the text to the communication log, if one is open (Retry/Cancel box on failure).
void LogTxt(App& app, const std::string& Dta);

// A command line: into the terminal pane when ShowInTerminal is 1, and to the
// log in any case. line carries its own CR LF.
void commandLine(App& app, const std::string& line);

// Re-selects the file named by CurrentFile without showing anything and leaves
// the card's response length in ResponseLength.
void Test_Response(App& app);

}  // namespace puolukka
