#pragma once

#include <string>

#include "app/clock.h"
#include "app/screen.h"
#include "app/settings_file.h"
#include "link/card_state.h"
#include "link/comm_log.h"
#include "ports/serial_port.h"
#include "phonebook/phonebook_state.h"

namespace puolukka {

// The one object that owns the program's state for the whole run: the settings,
// the card state, the phonebook, the log, and the three seams it talks through
// (the serial port MSComm1, the screen, the clock). Every operation takes it.
struct App {
    App(Screen& screen, Clock& clock, SerialPort& port) : screen(screen), clock(clock), port(port) {}
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    Screen& screen;
    Clock& clock;
    SerialPort& port;  // MSComm1

    // Settings file.
    std::string SettingsPath;
    std::string SettingsHeader;
    PortSettings settings;

    CardState card;
    Phonebook phonebook;

    // Window-level state of the main window Form1.
    CommLog log;               // LogFileNumber is log.number()
    std::string TypedHex;      // hex digits typed into the terminal since the last Enter
    int TerminalEcho = 0;      // -1: the terminal pane also shows typed keys itself

    // The line-event handler's texts, kept between events.
    std::string EventText;
    std::string ErrorText;
};

}  // namespace puolukka
