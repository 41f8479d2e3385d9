#include <algorithm>
#include <cmath>

#include "app/app.h"
#include "conversions/conversions.h"
#include "filesystem/explorer.h"
#include "filesystem/hex_text.h"
#include "link/exchange.h"

namespace puolukka {

namespace {

// Positions in the GET RESPONSE answer, which still begins with the echoed
// command (10 digits) and the procedure byte (2 digits).
constexpr std::size_t kSizeDigits = 17;          // description bytes 3-4
constexpr std::size_t kRecordLengthDigits = 41;  // description byte 15

// P3 of one READ BINARY asks for at most 255 bytes; P1 of READ RECORD names records 1 to 255.
constexpr unsigned kMaxReadLength = 255;
constexpr unsigned kMaxRecords = 255;

void send(App& app, const std::string& text, int delayMs)
{
    std::string bytes = HexToBytes(text);
    app.card.CardDelay = delayMs;
    Send2Card(app, bytes, app.card.CardDelay);
}

// Asks for the description of the file Test_Response has just re-selected.
void requestDescription(App& app, int pauseMs)
{
    const std::string text = app.card.ClassByte + "C00000" + app.card.ResponseLength;
    commandLine(app, text + " GET RESPONSE ON EF \r\n");
    send(app, text, 50);
    app.clock.sleepMs(pauseMs);
}

// Bytes 3-4 of the description, unsigned: 0 to 65535.
unsigned fileSize(const std::string& answer)
{
    return 256u * unsigned(HexToValue(hexAt(answer, kSizeDigits, 2))) +
           unsigned(HexToValue(hexAt(answer, kSizeDigits + 2, 2)));
}

void readBinary(App& app, const std::string& parameters, int delayMs)
{
    const std::string text = app.card.ClassByte + "B0" + parameters;
    commandLine(app, text + " EF CONTENT \r\n");
    send(app, text, delayMs);
}

}  // namespace

void Rbinary_Click(App& app)
{
    app.screen.setEnabled("GetResp3", false);
    Test_Response(app);
    // The GET RESPONSE line goes to the log only: the terminal shows the content.
    app.card.ShowInTerminal = 0;
    requestDescription(app, 100);
    const std::string sizeDigits = hexAt(app.card.AnswerHex, kSizeDigits, 4);
    const unsigned size = fileSize(app.card.AnswerHex);
    app.card.ShowInTerminal = 1;

    if (sizeDigits.size() < 4 || size <= kMaxReadLength) {
        // P1 00, P2 00, P3 = size: the whole short file from offset 0.
        readBinary(app, "00" + sizeDigits, 50);
        return;
    }
    // A longer file is read in pieces of 255 bytes, P1 P2 being the offset.
    // Each piece waits long enough for its bytes to arrive at 9600 bit/s
    // (about 1.25 ms a byte) before the next command goes on the line.
    for (unsigned offset = 0; offset < size; offset += kMaxReadLength) {
        const unsigned length = std::min(kMaxReadLength, size - offset);
        readBinary(app, hexByte(int(offset >> 8)) + hexByte(int(offset & 0xFF)) + hexByte(int(length)),
                   50 + 2 * int(length));
    }
}

void RRecord_Click(App& app)
{
    app.screen.setEnabled("GetResp3", false);
    Test_Response(app);
    requestDescription(app, 50);
    const std::string& answer = app.card.AnswerHex;
    const unsigned size = fileSize(answer);
    const std::string recordLengthText = hexAt(answer, kRecordLengthDigits, 2);
    const unsigned recordLength = unsigned(HexToValue(recordLengthText));

    unsigned records = 0;
    if (recordLength != 0)
        records = unsigned(std::nearbyint(double(size) / double(recordLength)));
    const unsigned described = records;
    records = std::min(records, kMaxRecords);

    // Record 1 is always asked for, even when the description gave no records.
    unsigned record = 1;
    do {
        send(app, app.card.ClassByte + "B2" + hexByte(int(record)) + "04" + recordLengthText, 75);
        ++record;
    } while (record <= records);

    if (described > kMaxRecords)
        showMessage(app.screen, "The file holds " + std::to_string(described) +
                                    " records; only records 1 to 255 can be read.");
}

}  // namespace puolukka
