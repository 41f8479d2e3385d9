#pragma once

#include <cstdint>
#include <string>

// The program speaks T=0 (ISO 7816-3) byte by byte: a five-byte header, then,
// for a command with data for the card, the data after the card's procedure
// byte. A PC/SC reader takes whole command APDUs and gives back whole response
// APDUs. These pure functions translate between the two for the PC/SC port.

namespace puolukka {

// Which way a command's data go (P3 counts them either way).
enum class DataDirection {
    ToCard,    // P3 bytes follow the header (ISO 7816-4 case 3; case 1 when P3 is 0)
    FromCard,  // the card answers with P3 bytes, 0 meaning 256 (case 2)
};

// By the instruction byte: the commands of GSM 11.11 9.2 (and the SIM toolkit
// commands of GSM 11.14) that carry data to the card are ToCard; READ BINARY,
// READ RECORD, GET RESPONSE, STATUS, FETCH and every instruction outside the
// table are FromCard. An unknown instruction thus never sends the card bytes
// the program did not know to be meant for it: a card that wanted data refuses
// the header with a status word (67 xx, 6D 00) and that is what the program sees.
DataDirection dataDirection(std::uint8_t ins);

// Gathers the bytes the program writes into command APDUs.
class T0CommandGatherer {
public:
    struct Step {
        enum class Kind {
            None,         // the byte was taken; nothing to do yet
            Acknowledge,  // a header with data for the card: answer its procedure byte (INS)
            Transmit,     // a whole command: send apdu to the card
        };
        Kind kind = Kind::None;
        char procedure = 0;  // for Acknowledge: the INS byte the card answers
        std::string apdu;
    };

    Step feed(std::uint8_t byte);
    // Forgets a command begun (a reset, or a failed transmission).
    void clear();
    // True while a header or the data of a command are only partly written.
    bool midCommand() const { return !m_header.empty(); }
    // The header of the command transmitted last (five bytes).
    const std::string& lastHeader() const { return m_lastHeader; }

private:
    std::string m_header;
    std::string m_data;
    std::size_t m_dataLength = 0;
    bool m_inData = false;
    std::string m_lastHeader;
};

// The T=0 bytes a card sends for the response APDU of the command with this
// header, after what the gatherer already answered: for a command with data
// from the card, the procedure byte (INS), the data (at most P3 bytes, P3 0
// being 256) and SW1 SW2, or SW1 SW2 alone when the card sent no data; for a
// command with data to the card, SW1 SW2 (a T=0 card cannot answer those with
// data; data given anyway are left out). A response shorter than a status word
// gives nothing: the card stays mute, as one that never answered.
std::string t0AnswerOf(const std::string& header, const std::string& response);

}  // namespace puolukka
