#pragma once

// The terminal pane's own operations (typing hex commands, clearing the pane,
// opening the communication log) and the small port tools of the "&Settings"
// menu. Plain C++ over App: the main window only forwards its events here.

namespace puolukka {

struct App;

// Character codes the terminal handles itself.
inline constexpr int kKeyEnter = 13;
inline constexpr int kKeyBackspace = 8;

// Called with every key typed into the terminal pane, before the pane inserts
// it. Hex digits ("0"-"9", "A"-"F") are collected in TypedHex and shown; Enter
// sends them to the card; Backspace takes the last one back. Returns the key
// the pane should still act on itself: the key unchanged while the port is
// closed, 0 unless the terminal echo (TerminalEcho -1) is on.
int Term_KeyPress(App& app, int keyAscii);

// "CLS Term": empties the pane. Digits typed but not yet sent stay in TypedHex.
void TermCLS_Click(App& app);

// "Open Log": asks for a log file and opens it for appending; a log that was
// open before is closed, so the traffic goes to exactly one file.
void OpenLogFile(App& app);

// The port tools of the "&Settings" menu.
void MInputLen_Click(App& app);
void MRThreshold_Click(App& app);
void MSThreshold_Click(App& app);
void MParRep_Click(App& app);
// Toggles DTR; returns the state read back from the port, for the item's check mark.
bool MDTREnable_Click(App& app);
void MHCD_Click(App& app);
void MHCTS_Click(App& app);
void MHDSR_Click(App& app);

}  // namespace puolukka
