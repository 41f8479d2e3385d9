#pragma once

#include <string>

namespace puolukka {

// Value of one hex digit of a command text: "0"-"9" and upper-case "A"-"F";
// every other character counts as 0.
int hexDigitValue(char c);
// Value of one hex digit of either case; -1 for any other character.
int anyCaseHexDigit(char c);

// Command text (two hex digits a byte, no separators) to bytes. An odd length
// ends with a byte whose low half is 0; other characters count as 0.
std::string HexToBytes(const std::string& text);

// The number 0-255 given by the first two characters of text (missing ones count as 0).
int HexToValue(const std::string& text);

// Inverse convention: the complement of the byte with its bit order reversed.
// It is its own inverse: 0x03 <-> 0x3F, 0xA0 -> 0xFA, 0x00 -> 0xFF.
unsigned char InverseByte(unsigned char byte);
// Every byte of bytes through InverseByte.
std::string inverseBytes(const std::string& bytes);

// Bytes to hex text: two upper-case digits a byte, no separators.
std::string bytesToHex(const std::string& bytes);
// One byte value as two upper-case hex digits ("0A").
std::string hexByte(int value);

}  // namespace puolukka
