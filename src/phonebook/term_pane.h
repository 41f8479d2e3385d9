#pragma once

#include <string>

namespace puolukka {

struct App;

// Appends text at the end of the terminal pane Term (caret to the end, insert).
void appendToTerm(App& app, const std::string& text);

// Gives the terminal pane back to the user after a phonebook operation that
// disabled it, unless the phonebook list window is open (it keeps the pane
// disabled while it is shown).
void releaseTerminal(App& app);

// Calls releaseTerminal when the scope ends, however the operation returns.
class TerminalRelease {
public:
    explicit TerminalRelease(App& app) : m_app(app) {}
    TerminalRelease(const TerminalRelease&) = delete;
    TerminalRelease& operator=(const TerminalRelease&) = delete;
    ~TerminalRelease() { releaseTerminal(m_app); }

private:
    App& m_app;
};

}  // namespace puolukka
