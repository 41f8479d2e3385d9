#include "link/status_words.h"

#include <algorithm>

namespace puolukka {

namespace {

// The table texts begin with " = "; the 9F text alone begins with "=" directly.
constexpr StatusText kStatusWords[] = {
    {"9000", " = OK !", StatusEffect::None},
    {"9240", " = Memory problem !", StatusEffect::None},
    {"9400", " = no EF selected !", StatusEffect::None},
    {"9402", " = Out of Range (Invalid address)!", StatusEffect::None},
    {"9404", " = File or pattern not found !", StatusEffect::None},
    {"9408", " = file inconsistent with command !", StatusEffect::None},
    {"9802", " = no CHV initialised !", StatusEffect::None},
    {"9804", " = Wrong CHV code !", StatusEffect::WrongChv},
    {"9808", " = In contradiction with CHV status !", StatusEffect::None},
    {"9810", " = In contradiction with invalidation status !", StatusEffect::None},
    {"9840", " = Unsuccessful operation on CHV !", StatusEffect::ChvBlocked},
    {"9850", " = Increase cannot be performed !", StatusEffect::None},
};

// "x" stands where the response length would be: ResponseLength is set to "x"
// just before this text is shown, so the count itself never appears.
constexpr StatusText kFirstStatusBytes[] = {
    {"9F", "= OK with x bytes!", StatusEffect::MoreData},
    {"67", " = Incorrect parameter P3 (Length) !", StatusEffect::None},
    {"6B", " = Incorrect parameter P1 or P2 !", StatusEffect::None},
    {"6D", " = Unknown instruction code in the command !", StatusEffect::None},
    {"6E", " = Wrong instruction class given in the command !", StatusEffect::None},
    {"6F", " = Technical problem with no diagnostic given, please RESET !", StatusEffect::None},
};

}  // namespace

std::span<const StatusText> statusWordTable() { return kStatusWords; }
std::span<const StatusText> firstStatusByteTable() { return kFirstStatusBytes; }

const StatusText* lookUpStatus(std::span<const StatusText> table, std::string_view code)
{
    const auto row = std::find_if(table.begin(), table.end(), [&](const StatusText& r) { return r.code == code; });
    return row == table.end() ? nullptr : &*row;
}

}  // namespace puolukka
