#include "filesystem/get_response.h"

#include <cstdio>

#include "app/app.h"
#include "app/settings_file.h"
#include "conversions/conversions.h"
#include "filesystem/explorer.h"
#include "filesystem/hex_text.h"
#include "link/exchange.h"

namespace puolukka {

namespace {

// Description byte n as its two hex digits (empty past the end).
std::string byteAt(const std::string& description, std::size_t n) { return hexAt(description, 2 * n - 1, 2); }
std::string highDigit(const std::string& description, std::size_t n) { return hexAt(description, 2 * n - 1, 1); }
std::string lowDigit(const std::string& description, std::size_t n) { return hexAt(description, 2 * n, 1); }

// High digit 8 to F: the top bit of the byte is set.
bool topBitSet(const std::string& digit) { return !digit.empty() && hexDigitValue(digit[0]) >= 8; }

// Secret code status byte: top bit = code initialised, low digit = attempts left.
void decodeCodeStatus(const std::string& description, std::size_t n, std::string& status, std::string& left)
{
    status = topBitSet(highDigit(description, n)) ? "YES" : "NO";
    left = attemptsText(lowDigit(description, n));
}

}  // namespace

std::string accessConditionText(const std::string& digit)
{
    if (digit.empty())
        return {};
    switch (hexDigitValue(digit[0])) {
    case 0:
        return "ALWAYS";
    case 1:
        return "CHV1 - PIN1";
    case 2:
        return "CHV1 - CHV2";
    case 3:
        return "RFU";
    case 15:
        return "NEVER";
    default:
        return "ADMIN.";
    }
}

std::string attemptsText(const std::string& digit)
{
    const int value = digit.empty() ? 0 : hexDigitValue(digit[0]);
    return value <= 9 ? std::to_string(value) : numberWithSign(value);
}

std::string byteValueText(const std::string& digits) { return numberWithSign(HexToValue(digits)); }

std::string quotientText(double value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.7g", value);
    return value >= 0 ? std::string(" ") + buffer : std::string(buffer);
}

bool wholeDescription(App& app, const std::string& description, std::size_t needed)
{
    if (description.size() >= needed)
        return true;
    showMessage(app.screen, "Incomplete description: " + std::to_string(description.size()) + " of " +
                                std::to_string(needed) + " bytes !");
    return false;
}

DirectoryTexts decodeDirectory(const std::string& description)
{
    DirectoryTexts t;
    // Byte 14, file characteristics: b8 set = CHV1 disabled; b1-b4 = clock stop.
    const bool disabled = topBitSet(highDigit(description, 14));
    t.pin1Active = disabled ? "DISABLED" : "ENABLED";
    t.chv1State = disabled ? "Disabled" : "Enabled";
    const std::string clock = lowDigit(description, 14);
    t.clkStatus = (clock == "0" || clock == "2") ? "N/A" : "YES";
    t.subDfNum = byteValueText(byteAt(description, 15));
    t.subEfNum = byteValueText(byteAt(description, 16));
    t.keys = byteValueText(byteAt(description, 17));
    decodeCodeStatus(description, 19, t.pin1Status, t.pin1Left);
    decodeCodeStatus(description, 20, t.puk1Status, t.puk1Left);
    decodeCodeStatus(description, 21, t.pin2Status, t.pin2Left);
    decodeCodeStatus(description, 22, t.puk2Status, t.puk2Left);
    return t;
}

FileTexts decodeFile(const std::string& description, const std::string& currentFile)
{
    FileTexts t;
    t.rfu = hexAt(description, 1, 4);

    // Sizes are unsigned: a file of 32768 bytes or more is not shown negative.
    t.fileSize = 256u * unsigned(HexToValue(byteAt(description, 3))) + unsigned(HexToValue(byteAt(description, 4)));
    t.recordLengthValue = unsigned(HexToValue(byteAt(description, 15)));
    // A record length of 0 (transparent file, or no byte 15 at all) counts bytes.
    if (t.recordLengthValue == 0) {
        t.sizeUnit = "Bytes";
        t.size = numberWithSign(long(t.fileSize));
    } else {
        t.sizeUnit = "Records";
        t.size = quotientText(double(t.fileSize) / double(t.recordLengthValue));
    }
    t.recordLength = numberWithSign(long(t.recordLengthValue));

    t.fileId = currentFile + "/" + hexAt(description, 9, 4);

    const std::string type = byteAt(description, 7);
    t.fileType = type == "00" ? "RFU" : type == "01" ? "MF" : type == "02" ? "DF" : type == "04" ? "EF" : "UNKNOWN";

    // Byte 8 is RFU but for a cyclic EF, where b7 (40) allows INCREASE (GSM 11.11 9.2.1);
    // for every other file the label is cleared, not left with another file's answer.
    if (byteAt(description, 14) == "03")
        t.increase = (HexToValue(byteAt(description, 8)) & 0x40) ? "Y" : "N/A";

    // Bytes 9-11: one access condition per digit; the low digit of byte 10 is RFU.
    t.readSeek = accessConditionText(highDigit(description, 9));
    t.update = accessConditionText(lowDigit(description, 9));
    t.increaseCondition = accessConditionText(highDigit(description, 10));
    t.rehabilitate = accessConditionText(highDigit(description, 11));
    t.invalidate = accessConditionText(lowDigit(description, 11));

    t.fileStatus = (HexToValue(byteAt(description, 12)) & 1) ? "VALIDATED" : "INVALIDATED";
    t.followingLength = byteAt(description, 13);

    const std::string structure = byteAt(description, 14);
    if (structure == "00")
        t.structure = "TRANSPARENT";
    else if (structure == "01")
        t.structure = "LINEAR FIXED";
    else if (structure == "03")
        t.structure = "CYCLIC";
    return t;
}

void showCodeStates(Screen& screen, const DirectoryTexts& t)
{
    screen.setText("PIN1Status", t.pin1Status);
    screen.setText("PIN1Left", t.pin1Left);
    screen.setText("PIN2Status", t.pin2Status);
    screen.setText("PIN2Left", t.pin2Left);
    screen.setText("PUK1Status", t.puk1Status);
    screen.setText("PUK1Left", t.puk1Left);
    screen.setText("PUK2Status", t.puk2Status);
    screen.setText("PUK2Left", t.puk2Left);
}

namespace {

// The reader echoes the five command bytes and the card adds a procedure byte:
// the description starts at hex digit 13 of the answer.
constexpr std::size_t kDescriptionStart = 13;

// GSM 11.11 9.2.1: the directory fields end with byte 22 (UNBLOCK CHV2 status);
// an EF's with byte 14 (structure), or byte 15 (record length) for record files.
constexpr std::size_t kDirectoryBytes = 22;
constexpr std::size_t kFileBytes = 14;
constexpr std::size_t kRecordFileBytes = 15;

std::string getResponseText(const App& app) { return app.card.ClassByte + "C00000" + app.card.ResponseLength; }

// Sends GET RESPONSE with its command line. AnswerHex keeps the answer without
// the echo and the procedure byte (the description and the status word);
// the description alone is returned.
std::string fetchDescription(App& app)
{
    const std::string text = getResponseText(app);
    commandLine(app, text + "      = GET RESPONSE \r\n");
    CardCommand command(app);
    const T0Answer& answer = command.header(HexToBytes(text));
    app.card.AnswerHex = textFrom(bytesToHex(answer.line), kDescriptionStart);
    return answer.data;
}

std::string descriptionLine(const App& app) { return app.card.AnswerHex + " = GET RESPONSE \r\n"; }

void showDirectoryDescription(App& app)
{
    Screen& screen = app.screen;
    screen.setText("RespMFDF", "Response on " + textFrom(app.card.CurrentDirectory, 9));
    const std::string description = fetchDescription(app);
    commandLine(app, descriptionLine(app));
    if (!wholeDescription(app, description, kDirectoryBytes))
        return;

    const DirectoryTexts t = decodeDirectory(bytesToHex(description));
    screen.setText("PIN1Active", t.pin1Active);
    app.card.Chv1State = t.chv1State;
    screen.setText("CLKStatus", t.clkStatus);
    screen.setText("SubDFNum", t.subDfNum);
    screen.setText("SubEFNum", t.subEfNum);
    screen.setText("Keys", t.keys);
    showCodeStates(screen, t);
}

// The window goes and the terminal takes typing again: nothing was decoded.
void dropFileWindow(App& app)
{
    app.screen.setVisible("Gresponse", false);
    app.screen.setEnabled("Term", true);
}

void showFileDescription(App& app)
{
    Screen& screen = app.screen;
    const std::string description = fetchDescription(app);
    if (app.card.AnswerHex.empty() || app.card.AnswerHex == "00") {
        dropFileWindow(app);
        showMessage(screen, "Unknown file identifier !");
        return;
    }
    // Byte 14 says whether byte 15 (the record length) belongs to the description.
    const std::string structure = hexAt(bytesToHex(description), 27, 2);
    const bool records = structure == "01" || structure == "03";
    if (description.size() < (records ? kRecordFileBytes : kFileBytes)) {
        dropFileWindow(app);
        wholeDescription(app, description, records ? kRecordFileBytes : kFileBytes);
        return;
    }
    commandLine(app, descriptionLine(app));
    screen.setEnabled("Term", false);
    screen.setVisible("Gresponse", true);

    const FileTexts t = decodeFile(bytesToHex(description), app.card.CurrentFile);
    screen.setText("GRL1", t.rfu);
    screen.setText("GRRec", t.sizeUnit);
    screen.setText("GRL2", t.size);
    screen.setText("GRL3", t.fileId);
    screen.setText("GRL4", t.fileType);
    screen.setText("GRL5", t.increase);
    screen.setText("AccessCond", "Access to " + textFrom(app.card.CurrentFile, 9));
    const std::pair<const char*, const std::string*> conditions[] = {
        {"61", &t.readSeek}, {"62", &t.update}, {"63", &t.increaseCondition},
        {"64", &t.rehabilitate}, {"65", &t.invalidate}};
    int row = 6;
    for (const auto& [suffix, text] : conditions) {
        screen.setText("GRL" + std::to_string(row++), *text);
        screen.setText(std::string("ACS") + suffix, *text);
    }
    screen.setText("GRL81", t.followingLength);
    if (t.structure)
        screen.setText("GRL12", *t.structure);
    screen.setText("GRL13", t.recordLength);
    screen.setText("GRL11", t.fileStatus);
}

}  // namespace

void GetResp3_Click(App& app)
{
    const std::string kind = hexAt(app.card.CurrentFile, 1, 2);
    if (kind == "EF")
        showFileDescription(app);
    else if (kind == "MF" || kind == "DF")
        showDirectoryDescription(app);
}

void GROK_Click(App& app) { app.screen.setVisible("Gresponse", false); }

}  // namespace puolukka
