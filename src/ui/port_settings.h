#pragma once

#include <string>

// What the port settings dialog "Asetukset" does, apart from drawing itself:
// which options it shows marked, what each option click sets, and how "&OK"
// applies the settings to the port and the settings file.

namespace puolukka {

struct App;

namespace config_scrn {

// The options marked when the dialog opens; 0 (or -1 for handshaking) marks
// nothing in that group.
struct OptionMarks {
    int comPort = 0;    // ComPort(1..4)
    int baud = 0;       // 300, 600, 1200, 2400, 4800 or 9600: Baud3 ... Baud96
    char parity = 0;    // 'N' NoParity, 'O' OddParity, 'E' EvenParity
    int dataBits = 0;   // 7 Data7, 8 Data8
    int stopBits = 0;   // 1 Stop1, 2 Stop2
    int handShake = -1; // 0 NoFlow, 1 XonFlow, 2 RTSFlow, 3 BothFlow
    bool echoOn = false;  // EchoOn ("N") marked, else EchoOff ("Y")
    bool inverseReset = false;  // NIFlag2 ("INV") marked, else NIFlag1 ("NOR")
};

inline constexpr int kBaudRates[] = {300, 600, 1200, 2400, 4800, 9600};

// Marks the options matching the current settings, and sets the terminal echo
// from the settings' Echo value. Runs each time the dialog is created.
OptionMarks Form_Load(App& app);

// One operation per option group; each sets exactly its option's value.
void ComPort_Click(App& app, int index);  // Comport = " 1" ... " 4"
void Baud_Click(App& app, int rate);      // Baud_Rate = "300" ... "9600"
void Data_Click(App& app, int bits);      // Word_Length = "7", "8"
void Stop_Click(App& app, int bits);      // StopBits = "1", "2"
void Parity_Click(App& app, char letter); // Parity = "N", "O", "E"
void Flow_Click(App& app, int mode);      // HandShake = "0" ... "3"
void EchoOff_Click(App& app);             // Echo = "0", TerminalEcho 0
void EchoOn_Click(App& app);              // Echo = "1", TerminalEcho -1
void NIFlag1_Click(App& app);             // ResetPolarity = 0 (NOR)
void NIFlag2_Click(App& app);             // ResetPolarity = 1 (INV)

// Applies the settings to the port, writes the settings file and opens the
// port. Returns whether the dialog closes: a port that cannot take the new
// number, parameters or handshaking keeps it open.
bool OKButton_Click(App& app);
// Closes without applying: the option values already set stay in memory.
bool CancelButton_Click(App& app);

}  // namespace config_scrn
}  // namespace puolukka
