#include "ports/line_parameters.h"

#include <array>
#include <vector>

namespace puolukka {

namespace {

constexpr std::array kStandardSpeeds = {110,  150,  300,   600,   1200,  1800,  2400,
                                        4800, 9600, 19200, 38400, 57600, 115200};

std::string trimmed(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

bool allDigits(const std::string& s)
{
    if (s.empty() || s.size() > 9)
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

bool reject(std::string* error, const std::string& text, const std::string& why)
{
    if (error)
        *error = "Invalid port parameters \"" + text + "\": " + why;
    return false;
}

}  // namespace

bool parseLineParameters(const std::string& text, LineParameters& out, std::string* error)
{
    std::vector<std::string> items;
    std::size_t start = 0;
    for (;;) {
        const auto comma = text.find(',', start);
        items.push_back(trimmed(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (items.size() != 4)
        return reject(error, text, "expected speed,parity,data bits,stop bits");

    LineParameters p;
    if (!allDigits(items[0]))
        return reject(error, text, "the speed is not a number");
    p.speed = std::stoi(items[0]);
    bool standard = false;
    for (int s : kStandardSpeeds)
        standard = standard || s == p.speed;
    if (!standard)
        return reject(error, text, "unsupported speed " + items[0]);

    if (items[1].size() != 1)
        return reject(error, text, "the parity must be N, E, O, M or S");
    char parity = items[1][0];
    if (parity >= 'a' && parity <= 'z')
        parity = char(parity - 'a' + 'A');
    if (parity != 'N' && parity != 'E' && parity != 'O' && parity != 'M' && parity != 'S')
        return reject(error, text, "the parity must be N, E, O, M or S");
    p.parity = parity;

    if (items[2].size() != 1 || items[2][0] < '5' || items[2][0] > '8')
        return reject(error, text, "the data bits must be 5, 6, 7 or 8");
    p.dataBits = items[2][0] - '0';

    if (items[3] == "1") {
        p.stopBits = 1;
    } else if (items[3] == "2") {
        p.stopBits = 2;
    } else if (items[3] == "1.5") {
        p.stopBits = 2;  // the line gives one and a half stop bits with 5 data bits
        p.oneAndHalf = true;
    } else {
        return reject(error, text, "the stop bits must be 1, 1.5 or 2");
    }
    out = p;
    return true;
}

}  // namespace puolukka
