#include "ports/t0_apdu.h"

#include <algorithm>
#include <array>

namespace puolukka {

namespace {

struct Instruction {
    std::uint8_t ins;
    DataDirection direction;
    const char* name;
};

// GSM 11.11 9.2 (coding of the commands), with the SIM toolkit commands of GSM 11.14.
constexpr std::array kInstructions = {
    Instruction{0xA4, DataDirection::ToCard, "SELECT"},
    Instruction{0xF2, DataDirection::FromCard, "STATUS"},
    Instruction{0xB0, DataDirection::FromCard, "READ BINARY"},
    Instruction{0xD6, DataDirection::ToCard, "UPDATE BINARY"},
    Instruction{0xB2, DataDirection::FromCard, "READ RECORD"},
    Instruction{0xDC, DataDirection::ToCard, "UPDATE RECORD"},
    Instruction{0xA2, DataDirection::ToCard, "SEEK"},
    Instruction{0x32, DataDirection::ToCard, "INCREASE"},
    Instruction{0x20, DataDirection::ToCard, "VERIFY CHV"},
    Instruction{0x24, DataDirection::ToCard, "CHANGE CHV"},
    Instruction{0x26, DataDirection::ToCard, "DISABLE CHV"},
    Instruction{0x28, DataDirection::ToCard, "ENABLE CHV"},
    Instruction{0x2C, DataDirection::ToCard, "UNBLOCK CHV"},
    Instruction{0x04, DataDirection::ToCard, "INVALIDATE"},
    Instruction{0x44, DataDirection::ToCard, "REHABILITATE"},
    Instruction{0x88, DataDirection::ToCard, "RUN GSM ALGORITHM"},
    Instruction{0xFA, DataDirection::ToCard, "SLEEP"},
    Instruction{0xC0, DataDirection::FromCard, "GET RESPONSE"},
    Instruction{0x10, DataDirection::ToCard, "TERMINAL PROFILE"},
    Instruction{0xC2, DataDirection::ToCard, "ENVELOPE"},
    Instruction{0x12, DataDirection::FromCard, "FETCH"},
    Instruction{0x14, DataDirection::ToCard, "TERMINAL RESPONSE"},
};

constexpr std::size_t kHeaderLength = 5;

}  // namespace

DataDirection dataDirection(std::uint8_t ins)
{
    for (const Instruction& i : kInstructions)
        if (i.ins == ins)
            return i.direction;
    return DataDirection::FromCard;
}

T0CommandGatherer::Step T0CommandGatherer::feed(std::uint8_t byte)
{
    Step step;
    if (m_inData) {
        m_data.push_back(char(byte));
        if (m_data.size() < m_dataLength)
            return step;
        step.kind = Step::Kind::Transmit;
        step.apdu = m_header + m_data;
        m_lastHeader = m_header;
        clear();
        return step;
    }
    m_header.push_back(char(byte));
    if (m_header.size() < kHeaderLength)
        return step;
    const auto ins = static_cast<std::uint8_t>(m_header[1]);
    const auto p3 = static_cast<std::uint8_t>(m_header[4]);
    if (dataDirection(ins) == DataDirection::ToCard && p3 > 0) {
        m_inData = true;
        m_dataLength = p3;
        m_data.clear();
        step.kind = Step::Kind::Acknowledge;
        step.procedure = char(ins);
        return step;
    }
    step.kind = Step::Kind::Transmit;
    // A command without data for the card and P3 0 is case 1: the header alone
    // (ISO 7816-4 5.1); with data from the card P3 is Le.
    step.apdu = dataDirection(ins) == DataDirection::ToCard ? m_header.substr(0, 4) : m_header;
    m_lastHeader = m_header;
    clear();
    return step;
}

void T0CommandGatherer::clear()
{
    m_header.clear();
    m_data.clear();
    m_dataLength = 0;
    m_inData = false;
}

std::string t0AnswerOf(const std::string& header, const std::string& response)
{
    if (header.size() < kHeaderLength || response.size() < 2)
        return {};
    const std::string status = response.substr(response.size() - 2);
    const auto ins = static_cast<std::uint8_t>(header[1]);
    if (dataDirection(ins) == DataDirection::ToCard || response.size() == 2)
        return status;
    const auto p3 = static_cast<std::uint8_t>(header[4]);
    const std::size_t wanted = p3 == 0 ? 256 : p3;
    const std::size_t dataLength = std::min(response.size() - 2, wanted);
    return std::string(1, char(ins)) + response.substr(0, dataLength) + status;
}

}  // namespace puolukka
