#pragma once

#include <string>

namespace puolukka {

struct App;

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
