#pragma once

#include <span>
#include <string_view>

namespace puolukka {

// What a status word does besides giving its text.
enum class StatusEffect {
    None,
    WrongChv,     // 9804: "wrong PIN" box, then the card is no longer ready
    ChvBlocked,   // 9840: "card locked" box before the text is shown
    MoreData,     // 9F: ResponseLength becomes "x" (the count is not shown)
};

struct StatusText {
    std::string_view code;  // upper-case hex digits: a whole status word or a first status byte
    std::string_view text;  // inserted into the terminal after the hex pairs
    StatusEffect effect;
};

// Whole status words (GSM 11.11 9.4), looked up with the last four digits of an answer.
std::span<const StatusText> statusWordTable();
// First status bytes, looked up with the two digits before the last two.
std::span<const StatusText> firstStatusByteTable();

// The row of table whose code equals code exactly; nullptr when there is none.
const StatusText* lookUpStatus(std::span<const StatusText> table, std::string_view code);

}  // namespace puolukka
