#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace puolukka {

// A number from an address book made into what an ADN record holds (GSM 11.11
// 10.5.1: up to 20 BCD digits, "*" and "#", with the TON/NPI byte).
struct RecordNumber {
    bool ok = false;
    std::string number;  // "+358401234567" (TON 91), "0401234567" or "*100#" (TON 81)
    std::string ton;
    std::string reason;  // why it cannot be stored (Finnish), when not ok
};

// Reads the number with libphonenumber, numbers without a country code as
// numbers of `region` (ISO 3166 code, "FI"). Given with "+" or an
// international prefix ("00 46 ...") it becomes "+" and the digits, TON 91;
// otherwise the national digits ("040 123 4567" -> "0401234567"), TON 81.
// Service codes with "*" or "#" are taken as typed. Nothing is guessed: letters,
// extensions, pauses, text the library cannot read and more than 20 digits are
// refused with a reason.
RecordNumber recordNumber(std::string_view text, const std::string& region);

// The region codes the library knows, sorted.
std::vector<std::string> numberRegions();
// The country calling code of a region (358 for "FI"); 0 when unknown.
int regionCallingCode(const std::string& region);

}  // namespace puolukka
