#pragma once

#include <string>

namespace puolukka {

// What every card operation shares: the card link's state for the whole run.
struct CardState {
    std::string ClassByte;         // "A0", the class of every command (set at start-up)
    std::string AnswerHex;         // hex of the last chunk read, two upper-case digits a byte
    std::string ResponseLength;    // two hex digits: length of the pending response; "x" after a 9F text
    std::string CurrentDirectory;  // display name, e.g. "DF-7F10-TELECOM"; "MF-3F00-MF " after a reset
    std::string CurrentFile;       // display name, e.g. "EF-6F3A-ADN"; characters 4-7 are the identifier
    std::string Pin1Code;          // PIN1 accepted since the last reset; empty when none
    std::string Pin2Code;          // PIN2 accepted since the last reset; empty when none
    std::string Chv1State;         // "Enabled" or "Disabled", from the last directory description
    int InverseConvention = 0;     // 1: every byte both ways passes through InverseByte
    int ResetMethod = 0;           // line of the last reset: 1 RTS, 2 DTR, 0 none yet
    int ResetPolarity = 0;         // 0: reset line on then off; 1: off then on; other: no pulse
    int ShowInTerminal = 0;        // 1: answers, commands and status texts go into the terminal pane
    int CardDelay = 0;             // ms between writing and reading, handed to Send2Card
    int CardReady = 0;             // 1: the card was reset and nothing has failed since
    int CardSession = 0;           // counts resets and card changes: what was read from a card holds within one

    // What the last answer-to-reset told (ISO 7816-3 8.2) and how the card has answered since.
    std::string answerToReset;     // its logical bytes; empty when none came
    int workWaitingEtu = 9600;     // the longest silence the card may keep, in bit times (TC2, TA1)
    bool cardAnswered = false;     // the card answered the last command (or reset) sent to it
};

}  // namespace puolukka
