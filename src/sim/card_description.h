#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace puolukka::sim {

// Plain hex helpers of the virtual card: "A0 A4" and "a0a4" both read as two bytes.
// Returns false on an odd count of digits or a character that is neither a digit nor a blank.
bool parseHex(const std::string& text, std::string* bytes);
std::string toHex(const std::string& bytes, bool spaced = false);  // upper case
// The inverse-convention transform of one byte: complement, then reverse the bit order.
std::uint8_t inverseByte(std::uint8_t value);

enum class FileKind { MF, DF, EF };
enum class Structure { Transparent = 0x00, LinearFixed = 0x01, Cyclic = 0x03 };

// Access condition levels of GSM 11.11: 0 ALW, 1 CHV1, 2 CHV2, 4-E ADM, F NEV.
struct AccessConditions {
    std::uint8_t read = 0x0, update = 0xF, increase = 0xF, rehabilitate = 0xF, invalidate = 0xF;
};

// One file of the card's tree. Record files keep their records back to back in data.
struct CardFile {
    std::uint16_t id = 0;
    std::string name;   // "ADN", "TELECOM"
    FileKind kind = FileKind::EF;
    int parent = -1;    // index in CardDescription::files, -1 for the MF
    Structure structure = Structure::Transparent;
    int recordLength = 0;
    std::string data;
    AccessConditions access;
    std::uint8_t status = 0x01;      // byte 12: b1 = 1 not invalidated
    bool increaseAllowed = false;    // cyclic files: byte 8 b7
};

// A card holder verification code or its unblock code with its attempt counter.
struct SecretCode {
    std::string code;      // the digits as typed; the card compares them padded with FF to 8 bytes
    int attemptsLeft = 3;
    int maxAttempts = 3;
};

// Everything that makes one card: what it answers to reset, how it is wired and
// timed, its codes and its files. Loaded from a card description file or built in.
struct CardDescription {
    std::string atr;            // logical bytes, as the card means them (3B... direct, 3F... inverse)
    bool inverse = false;       // inverse convention
    bool resetOnRts = true;     // the reset contact is wired to RTS ...
    bool resetOnDtr = true;     // ... and to DTR
    bool resetAssertedWhenOn = true;  // reset is held while a wired line is on
    // Card timing in microseconds.
    std::int64_t atrDelayUs = 2000;        // from release of reset to the first ATR byte
    std::int64_t procedureDelayUs = 1000;  // from the last header byte to the procedure byte or status
    std::int64_t statusDelayUs = 2000;     // from the last data byte to the status word
    std::int64_t extraDelayUs = 0;         // a slow card: added before every procedure byte and status
    // Habits of real cards (ISO 7816-3 T=0).
    int nullBytes = 0;                 // NULL bytes (60, "more time") before each answer: procedure byte or status
    int writeNullBytes = 0;            // more NULL bytes while an update is written, before its status word
    std::int64_t nullIntervalUs = 0;   // silence after each NULL byte
    bool byteAtATime = false;          // procedure byte = complement of INS: the data go one byte at a time
    bool lineParity = true;            // false: the line carries no parity (a pseudo-terminal, a network server)
    SecretCode chv1{"1234", 3, 3};
    SecretCode chv2{"5678", 3, 3};
    SecretCode unblockChv1{"12345678", 10, 10};
    SecretCode unblockChv2{"87654321", 10, 10};
    bool chv1Enabled = true;
    std::uint8_t fileCharacteristics = 0x03;  // byte 14 of a directory description, b8 set from chv1Enabled
    int totalMemory = 16384;                  // bytes, for the free memory of the MF description
    std::vector<CardFile> files;              // files[0] is the MF

    int find(std::uint16_t id, int parent) const;  // a child of parent with that id, or -1
    int findPath(const std::string& path) const;  // "7F10/6F3A", "2FE2", "3F00"; -1 when none
    std::string pathOf(int index) const;          // "7F10/6F3A" (the MF is "3F00")
    int recordCount(int index) const;
};

// The standard GSM tree with empty contents: MF, EF ICCID, DF TELECOM, DF GSM and their files.
CardDescription standardCard();
// The card shipped with the program (the same card as demo/card.json).
CardDescription demoCard();
// The demo card as the text of its description file.
std::string demoCardJson();

// Reads a description from its JSON text; source names the file in error messages.
bool cardFromJson(const std::string& text, const std::string& source, CardDescription* card,
                  std::string* error);
bool loadCardFile(const std::string& path, CardDescription* card, std::string* error);
std::string cardToJson(const CardDescription& card);
bool saveCardFile(const std::string& path, const CardDescription& card, std::string* error);

// An ADN record of recordLength bytes from a name, TON/NPI byte and dialling number
// ("+358401234567", "0401234567", "112"; * # p become A B C). False when it does not fit.
bool buildAdnRecord(const std::string& name, int ton, const std::string& number, int recordLength,
                    std::string* record, std::string* error);
// Splits a record back into name, TON and number; false when the record is not a plain entry
// (then it is kept as raw hex).
bool splitAdnRecord(const std::string& record, std::string* name, int* ton, std::string* number);

}  // namespace puolukka::sim
