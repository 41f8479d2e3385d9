#pragma once

#include <string>

namespace puolukka {

// The port parameter text "9600,E,8,1" taken apart: speed, parity letter, data
// bits, stop bits.
struct LineParameters {
    int speed = 9600;
    char parity = 'N';  // upper case: N none, E even, O odd, M mark, S space
    int dataBits = 8;   // 5 to 8
    int stopBits = 1;   // 1 or 2; oneAndHalf marks "1.5"
    bool oneAndHalf = false;
};

// Reads a port parameter text. The speed must be one of the standard rates from
// 110 to 115200, the parity one of N, E, O, M, S in either case, the data bits
// 5 to 8 and the stop bits 1, 1.5 or 2; blanks around an item are allowed.
// On a bad text returns false and says why in *error.
bool parseLineParameters(const std::string& text, LineParameters& out, std::string* error = nullptr);

}  // namespace puolukka
