#include <algorithm>
#include <cmath>

#include "app/app.h"
#include "conversions/conversions.h"
#include "filesystem/explorer.h"
#include "filesystem/get_response.h"
#include "filesystem/hex_text.h"
#include "link/exchange.h"

namespace puolukka {

namespace {

// Description bytes the reads need (GSM 11.11 9.2.1): the size (bytes 3-4) and
// the type of file (byte 7); READ RECORD also the record length (byte 15).
constexpr std::size_t kBinaryDescriptionBytes = 7;
constexpr std::size_t kRecordDescriptionBytes = 15;

// P3 of one READ BINARY asks for at most 255 bytes; P1 of READ RECORD names records 1 to 255.
constexpr unsigned kMaxReadLength = 255;
constexpr unsigned kMaxRecords = 255;

// Asks for the description of the file Test_Response has just re-selected and
// returns it as the card sent it (without echo, procedure and status bytes).
// A card that did not answer the re-selection has none to give.
std::string requestDescription(App& app)
{
    if (!app.card.cardAnswered)
        return {};
    const std::string text = app.card.ClassByte + "C00000" + app.card.ResponseLength;
    commandLine(app, text + " GET RESPONSE ON EF \r\n");
    CardCommand getResponse(app);
    return getResponse.header(HexToBytes(text)).data;
}

unsigned byteOf(const std::string& description, std::size_t n)
{
    return n <= description.size() ? static_cast<unsigned char>(description[n - 1]) : 0u;
}

// Bytes 3-4 of the description, unsigned: 0 to 65535.
unsigned fileSize(const std::string& description) { return 256u * byteOf(description, 3) + byteOf(description, 4); }

// One read command; its answer is shown as it comes. True when the card said 90 00.
bool readCommand(App& app, const std::string& text)
{
    CardCommand read(app);
    const T0Answer& answer = read.header(HexToBytes(text));
    return answer.status == T0Status::Complete && answer.ok();
}

bool readBinary(App& app, const std::string& parameters)
{
    const std::string text = app.card.ClassByte + "B0" + parameters;
    commandLine(app, text + " EF CONTENT \r\n");
    return readCommand(app, text);
}

// The master file or a dedicated file: by its display name, or by the type of
// file (byte 7: 01 MF, 02 DF) for an identifier typed in.
bool isDirectory(const App& app, const std::string& description)
{
    const std::string kind = hexAt(app.card.CurrentFile, 1, 2);
    return kind == "MF" || kind == "DF" || byteOf(description, 7) == 0x01 || byteOf(description, 7) == 0x02;
}

}  // namespace

void Rbinary_Click(App& app)
{
    app.screen.setEnabled("GetResp3", false);
    Test_Response(app);
    // The GET RESPONSE line goes to the log only: the terminal shows the content.
    app.card.ShowInTerminal = 0;
    const std::string description = requestDescription(app);
    app.card.ShowInTerminal = 1;
    if (!wholeDescription(app, description, kBinaryDescriptionBytes))
        return;
    // P1 00, P2 P3 = bytes 3-4: for a short EF its whole content from offset 0.
    // For the MF or a DF these bytes are the free memory, not a file size: the
    // one command goes as it is, and the card's answer tells what it thinks.
    const unsigned size = fileSize(description);
    if (isDirectory(app, description) || size <= kMaxReadLength) {
        readBinary(app, "00" + hexByte(int(size >> 8)) + hexByte(int(size & 0xFF)));
        return;
    }
    // A longer EF is read in pieces of 255 bytes, P1 P2 being the offset; the
    // first answer other than 90 00 ends the reading.
    for (unsigned offset = 0; offset < size; offset += kMaxReadLength) {
        const unsigned length = std::min(kMaxReadLength, size - offset);
        if (!readBinary(app, hexByte(int(offset >> 8)) + hexByte(int(offset & 0xFF)) + hexByte(int(length))))
            return;
    }
}

void RRecord_Click(App& app)
{
    app.screen.setEnabled("GetResp3", false);
    Test_Response(app);
    const std::string description = requestDescription(app);
    if (!wholeDescription(app, description, kRecordDescriptionBytes))
        return;
    const unsigned size = fileSize(description);
    const unsigned recordLength = byteOf(description, 15);
    const std::string recordLengthText = hexByte(int(recordLength));

    unsigned records = 0;
    if (recordLength != 0)
        records = unsigned(std::nearbyint(double(size) / double(recordLength)));
    const unsigned described = records;
    records = std::min(records, kMaxRecords);

    // Record 1 is always asked for, even when the description gave no records.
    // Each next record is asked for once the card has answered the last one;
    // the first answer other than 90 00 ends the reading.
    unsigned record = 1;
    do {
        if (!readCommand(app, app.card.ClassByte + "B2" + hexByte(int(record)) + "04" + recordLengthText))
            return;
        ++record;
    } while (record <= records);

    if (described > kMaxRecords)
        showMessage(app.screen, "The file holds " + std::to_string(described) +
                                    " records; only records 1 to 255 can be read.");
}

}  // namespace puolukka
