#pragma once

#include <optional>
#include <string>

namespace puolukka {

class Screen;

struct App;

// Decoding of the descriptions a GSM card returns to GET RESPONSE (GSM 11.11
// 9.2.1). The input is the description alone as hex text: description byte n is
// hex digits 2n-1 and 2n. Bytes missing from a short answer read as empty text.

// The texts of the frame "Response on MF/DF" for a master or dedicated file.
struct DirectoryTexts {
    std::string pin1Active;  // PIN1Active: "ENABLED" / "DISABLED" (byte 14, high digit)
    std::string chv1State;   // "Enabled" / "Disabled"
    std::string clkStatus;   // CLKStatus: "N/A" / "YES" (byte 14, low digit)
    std::string subDfNum;    // SubDFNum (byte 15)
    std::string subEfNum;    // SubEFNum (byte 16)
    std::string keys;        // Keys (byte 17)
    std::string pin1Status, pin1Left;  // byte 19
    std::string puk1Status, puk1Left;  // byte 20
    std::string pin2Status, pin2Left;  // byte 21
    std::string puk2Status, puk2Left;  // byte 22
};

// The texts of the Gresponse window for an elementary file. An empty optional
// leaves its label as it was (values the decoding does not know).
struct FileTexts {
    std::string rfu;                        // GRL1: bytes 1-2 as they are
    std::string sizeUnit;                   // GRRec: "Bytes" or "Records"
    std::string size;                       // GRL2
    std::string fileId;                     // GRL3: CurrentFile, "/", bytes 5-6
    std::string fileType;                   // GRL4
    std::string increase;                   // GRL5: empty where the flag does not apply
    std::string readSeek, update, increaseCondition, rehabilitate, invalidate;  // GRL6-GRL10
    std::string fileStatus;                 // GRL11
    std::string followingLength;            // GRL81: byte 13 as it is
    std::optional<std::string> structure;   // GRL12
    std::string recordLength;               // GRL13
    unsigned fileSize = 0;                  // bytes 3-4, 0 to 65535
    unsigned recordLengthValue = 0;         // byte 15
};

DirectoryTexts decodeDirectory(const std::string& description);
// Shows the states and attempts left of PIN1, PIN2, PUK1 and PUK2 in the frame "Response on MF/DF".
void showCodeStates(Screen& screen, const DirectoryTexts& texts);
FileTexts decodeFile(const std::string& description, const std::string& currentFile);

// Access condition of one hex digit: ALWAYS, CHV1 - PIN1, ... ; empty for a missing digit.
std::string accessConditionText(const std::string& digit);
// Remaining attempts of one hex digit: "0"-"9" alone, A-F as " 10" to " 15".
std::string attemptsText(const std::string& digit);
// A byte of two hex digits as decimal with the sign blank: " 28".
std::string byteValueText(const std::string& digits);
// Fields are decoded only from bytes the card sent: true when the description
// holds the needed bytes; otherwise the user is told and nothing is decoded.
bool wholeDescription(App& app, const std::string& description, std::size_t needed);
// A quotient as decimal with the sign blank, up to 7 significant digits: " 10", " 10.5".
std::string quotientText(double value);

}  // namespace puolukka
