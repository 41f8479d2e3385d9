#include "phonebook/entry_check.h"

#include <algorithm>

#include "conversions/adn_codec.h"

namespace puolukka {

namespace {

// Faults listed by name before "...and N more".
constexpr std::size_t kListedFaults = 5;

bool isNumberChar(char c) { return (c >= '0' && c <= '9') || c == '*' || c == '#' || (c >= 'A' && c <= 'E'); }

bool isSeparator(char c) { return c == ' ' || c == '-' || c == '.' || c == '(' || c == ')'; }

// GSM 11.11 Annex B: an alpha field beginning with 80, 81 or 82 is coded in UCS2.
bool isUcs2Name(const std::string& name)
{
    return !name.empty() && (name[0] == '\x80' || name[0] == '\x81' || name[0] == '\x82');
}

// One byte of a name or number as message text.
std::string printable(unsigned char c)
{
    if (c < 0x20 || (c >= 0x7F && c < 0xA0))
        return c == 0x7F || c >= 0x80 ? "?" : " ";
    if (c < 0x80)
        return std::string(1, char(c));
    return {char(0xC0 | (c >> 6)), char(0x80 | (c & 0x3F))};
}

}  // namespace

std::string printableName(const std::string& name)
{
    std::string text;
    for (unsigned char c : unpaddedName(name))
        text += printable(c);
    return text;
}

std::string entryProblem(const std::string& entry)
{
    const EntryFields f = splitEntry(entry);
    if (f.separators < 2)
        return "ei ole muotoa nimi/TON/numero";
    const int ton = tonValue(f.ton);
    if (ton < 0)
        return "TON \"" + printableName(f.ton) + "\" ei ole heksadesimaaliluku";
    if (ton == 0xFF && unpaddedName(f.name).empty())
        return {};  // an unused entry
    if (!isUcs2Name(f.name) && f.name.find_first_of("\r\n") != std::string::npos)
        return "nimessä on rivinvaihto";
    const bool plus = !f.number.empty() && f.number[0] == '+';
    const std::string digits = plus ? f.number.substr(1) : f.number;
    for (char c : digits)
        if (!isNumberChar(c))
            return "numerossa on merkki \"" + printable((unsigned char)c) + "\", jota kortti ei voi tallentaa";
    if (plus && ton != 0x91 && ton != 0x90)
        return "numero alkaa merkillä +, mutta TON ei ole 91";
    if (digits.size() > std::size_t(kAdnMaxDigits))
        return "numerossa on yli " + std::to_string(kAdnMaxDigits) + " numeroa";
    return {};
}

std::string tidyEntry(const std::string& entry)
{
    const EntryFields f = splitEntry(entry);
    if (f.separators < 2)
        return entry;
    std::string ton = f.ton;
    if (tonValue(ton) >= 0)
        std::transform(ton.begin(), ton.end(), ton.begin(), [](char c) { return c >= 'a' && c <= 'f' ? char(c - 32) : c; });
    std::string number;
    for (char c : f.number)
        if (!isSeparator(c))
            number += c;
    return f.name + "/" + ton + "/" + number;
}

std::vector<EntryFault> entryFaults(const std::vector<std::string>& entries, const std::vector<int>& positions)
{
    std::vector<EntryFault> faults;
    for (std::size_t k = 1; k < entries.size(); ++k) {
        std::string reason = entryProblem(entries[k]);
        if (!reason.empty())
            faults.push_back({k < positions.size() ? positions[k] : int(k), std::move(reason)});
    }
    return faults;
}

std::string faultList(const std::vector<EntryFault>& faults, const std::string& positionWord)
{
    std::string text;
    for (std::size_t i = 0; i < faults.size() && i < kListedFaults; ++i)
        text += positionWord + " " + std::to_string(faults[i].position) + ": " + faults[i].reason + "\n";
    if (faults.size() > kListedFaults)
        text += "... ja " + std::to_string(faults.size() - kListedFaults) + " muuta\n";
    return text;
}

}  // namespace puolukka
