#pragma once

namespace puolukka {

struct App;

// Card reset by a pulse on RTS (resetointi, Command1 "ATR on CTS") or DTR
// (Command2 "ATR on DTR"), answer-to-reset shown, master file selected and
// its description read silently.
void resetointi(App& app);
void Command1_Click(App& app);
void Command2_Click(App& app);

// Orderly shutdown of the port when the main window closes: waits up to 10 s
// for pending output (asking "Unable to transmit datas" after that), closes
// the port. Returns true when the user chose Abort: the window stays open.
bool Form_Unload(App& app);

}  // namespace puolukka
