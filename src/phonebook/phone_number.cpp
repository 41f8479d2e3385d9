#include "phonebook/phone_number.h"

#include <algorithm>
#include <set>

#include <phonenumbers/phonenumber.pb.h>
#include <phonenumbers/phonenumberutil.h>

#include "conversions/adn_codec.h"
#include "conversions/text_encoding.h"

namespace puolukka {

namespace {

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberUtil;

// Characters people put between digits; they carry no digit.
bool isSeparator(char32_t c)
{
    switch (c) {
    case U' ': case U'\t': case U'-': case U'.': case U'(': case U')': case U'/':
    case 0x00A0: case 0x2009: case 0x202F:                                // no-break and thin spaces
    case 0x2010: case 0x2011: case 0x2012: case 0x2013: case 0x2014:    // dashes
        return true;
    default:
        return false;
    }
}

RecordNumber refused(std::string reason)
{
    RecordNumber r;
    r.reason = std::move(reason);
    return r;
}

RecordNumber accepted(std::string number)
{
    RecordNumber r;
    r.ton = number.starts_with("+") ? "91" : "81";
    const std::size_t digits = number.size() - (number.starts_with("+") ? 1 : 0);
    if (digits > std::size_t(kAdnMaxDigits))
        return refused("numerossa on yli 20 numeroa");
    r.ok = true;
    r.number = std::move(number);
    return r;
}

std::string digitsOf(const std::string& text)
{
    std::string digits;
    for (char c : text)
        if (c >= '0' && c <= '9')
            digits += c;
    return digits;
}

}  // namespace

RecordNumber recordNumber(std::string_view text, const std::string& region)
{
    // What the number holds besides separators decides how it is read.
    std::string bare;
    bool service = false;
    for (char32_t c : utf8ToCodePoints(text)) {
        if (isSeparator(c))
            continue;
        if (c >= U'0' && c <= U'9') {
            bare += char(c);
        } else if (c == U'+' && bare.empty()) {
            bare += '+';
        } else if (c == U'*' || c == U'#') {
            bare += char(c);
            service = true;
        } else {
            return refused("numerossa on muita merkkejä kuin numeroita");
        }
    }
    if (bare.empty() || bare == "+")
        return refused("numeroa ei ole");
    // A service code ("*100#") is dialled as typed: the record holds "*" and "#".
    if (service)
        return accepted(bare);

    PhoneNumberUtil* util = PhoneNumberUtil::GetInstance();
    PhoneNumber number;
    if (util->ParseAndKeepRawInput(bare, region, &number) != PhoneNumberUtil::NO_PARSING_ERROR)
        return refused("numeroa ei voitu lukea");

    bool international = false;
    switch (number.country_code_source()) {
    case PhoneNumber::FROM_NUMBER_WITH_PLUS_SIGN:
    case PhoneNumber::FROM_NUMBER_WITH_IDD:
        international = true;
        break;
    case PhoneNumber::FROM_NUMBER_WITHOUT_PLUS_SIGN:
        // A country code without "+": national digits only dial right at home.
        international = int(number.country_code()) != regionCallingCode(region);
        break;
    default:
        break;
    }
    std::string formatted;
    if (international) {
        util->Format(number, PhoneNumberUtil::E164, &formatted);
        return accepted("+" + digitsOf(formatted));
    }
    util->Format(number, PhoneNumberUtil::NATIONAL, &formatted);
    return accepted(digitsOf(formatted));
}

std::vector<std::string> numberRegions()
{
    std::set<std::string> regions;
    PhoneNumberUtil::GetInstance()->GetSupportedRegions(&regions);
    return {regions.begin(), regions.end()};
}

int regionCallingCode(const std::string& region)
{
    return PhoneNumberUtil::GetInstance()->GetCountryCodeForRegion(region);
}

}  // namespace puolukka
