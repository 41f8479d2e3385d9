// The ADN record codec (GSM 11.11 10.5.1), three properties:
// 1. A record read from a card and written back to a card of the same record
//    length is the same bytes, for every record in the layout the codec writes
//    (alpha field of any bytes, length byte, TON, F-padded BCD digits 0-E,
//    capability and extension FF; a TON of FF is the empty record, all FF).
// 2. Any entry text (typed, or from a file) becomes a record of exactly the
//    card's record length, and that record reads and writes back unchanged
//    (for numbers without an F, which ends a number on the card).
// 3. Reading any bytes as a record never fails; the name is the alpha field.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "conversions/adn_codec.h"
#include "fuzz_input.h"

using namespace puolukka;

namespace {

const std::string kStatus("\x90\x00", 2);

// A record in the layout EntryToRecord writes, from the input.
std::string canonicalRecord(fuzz::FuzzInput& in, int recordLength)
{
    const std::size_t alphaLength = std::size_t(recordLength - kAdnFixedBytes);
    std::string alpha = in.bytes(alphaLength);
    // The TON and number are the fields after the last two "/": a name may hold "/".
    alpha.resize(alphaLength, '\xFF');
    const auto ton = static_cast<unsigned char>(in.byte());
    if (ton == 0xFF)
        return std::string(std::size_t(recordLength), '\xFF');
    const int digits = in.number(0, kAdnMaxDigits);
    std::string bcd;
    for (int i = 0; i < digits; i += 2) {
        const int low = in.number(0, 14);
        const int high = i + 1 < digits ? in.number(0, 14) : 15;
        bcd += char(high << 4 | low);
    }
    std::string record = alpha;
    record += char(bcd.size() + 1);
    record += char(ton);
    record += bcd;
    record.append(std::size_t(kAdnNumberBytes) - bcd.size(), '\xFF');
    record += "\xFF\xFF";  // capability/configuration and extension1 identifiers
    return record;
}

std::string writeRecord(const std::string& entry, int recordLength)
{
    int warning = 1;
    RecLenNotice notice = RecLenNotice::None;
    return EntryToRecord(entry, recordLength, warning, &notice);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput in(data, size);
    const int mode = in.number(0, 2);
    const int recordLength = in.number(kAdnFixedBytes, 255);
    if (mode == 0) {
        const std::string record = canonicalRecord(in, recordLength);
        fuzz::check(writeRecord(RecordToEntry(record + kStatus), recordLength) == record,
                    "a record read and written back is unchanged");
    } else if (mode == 1) {
        std::string entry = in.rest();
        // A BCD nibble F ends the number on the card (GSM 11.11 10.5.1): digits typed after an
        // "F" are written but never read back, so the number part is kept free of them.
        if (const auto p1 = entry.find('/'); p1 != std::string::npos) {
            if (const auto p2 = entry.find('/', p1 + 1); p2 != std::string::npos)
                std::replace(entry.begin() + std::ptrdiff_t(p2), entry.end(), 'F', 'E');
        }
        const std::string record = writeRecord(entry, recordLength);
        fuzz::check(record.size() == std::size_t(recordLength), "a record has the card's record length");
        fuzz::check(writeRecord(RecordToEntry(record + kStatus), recordLength) == record,
                    "a written record reads and writes back unchanged");
    } else {
        const std::string bytes = in.rest();
        const std::string entry = RecordToEntry(bytes);
        if (bytes.size() < 16)
            fuzz::check(entry == bytes, "an answer too short for a record is left as it is");
        else
            fuzz::check(entry.compare(0, bytes.size() - 16, bytes, 0, bytes.size() - 16) == 0,
                        "the name is the alpha field");
    }
    return 0;
}
