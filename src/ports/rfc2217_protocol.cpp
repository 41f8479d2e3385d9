#include "ports/rfc2217_protocol.h"

#include <cctype>

namespace puolukka::rfc2217 {

std::string escapeData(const std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        out.push_back(c);
        if (static_cast<unsigned char>(c) == kIac)
            out.push_back(c);
    }
    return out;
}

std::string optionCommand(unsigned char verb, unsigned char option)
{
    return std::string{char(kIac), char(verb), char(option)};
}

std::string comPortCommand(unsigned char command, const std::string& value)
{
    std::string out{char(kIac), char(kSb), char(kOptComPort), char(command)};
    out += escapeData(value);
    out += char(kIac);
    out += char(kSe);
    return out;
}

std::string byteValue(unsigned value)
{
    return std::string(1, char(value & 0xFF));
}

std::string uint32Value(std::uint32_t value)
{
    return std::string{char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
}

std::uint32_t readUint32(const std::string& bytes, std::size_t pos)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::size_t at = pos + i;
        const unsigned char b = at < bytes.size() ? static_cast<unsigned char>(bytes[at]) : 0;
        value = (value << 8) | b;
    }
    return value;
}

void TelnetReader::appendData(std::vector<TelnetItem>& out, char byte)
{
    if (out.empty() || out.back().kind != TelnetItem::Kind::Data)
        out.push_back(TelnetItem{});
    out.back().bytes.push_back(byte);
}

void TelnetReader::feed(const char* data, std::size_t size, std::vector<TelnetItem>& out)
{
    for (std::size_t i = 0; i < size; ++i) {
        const char c = data[i];
        const auto b = static_cast<unsigned char>(c);
        switch (m_state) {
        case State::Data:
            if (b == kIac)
                m_state = State::Iac;
            else
                appendData(out, c);
            break;
        case State::Iac:
            if (b == kIac) {
                appendData(out, c);
                m_state = State::Data;
            } else if (b == kWill || b == kWont || b == kDo || b == kDont) {
                m_verb = b;
                m_state = State::Option;
            } else if (b == kSb) {
                m_sub.clear();
                m_subOverflow = false;
                m_state = State::Sub;
            } else {
                // NOP, GA, AYT and the like carry nothing for a serial line.
                m_state = State::Data;
            }
            break;
        case State::Option: {
            TelnetItem item;
            item.kind = TelnetItem::Kind::Option;
            item.verb = m_verb;
            item.option = b;
            out.push_back(std::move(item));
            m_state = State::Data;
            break;
        }
        case State::Sub:
            if (b == kIac) {
                m_state = State::SubIac;
            } else if (m_sub.size() < kMaxSubnegotiation) {
                m_sub.push_back(c);
            } else {
                m_subOverflow = true;
            }
            break;
        case State::SubIac:
            if (b == kIac) {
                if (m_sub.size() < kMaxSubnegotiation)
                    m_sub.push_back(c);
                else
                    m_subOverflow = true;
                m_state = State::Sub;
            } else if (b == kSe) {
                if (!m_sub.empty() && !m_subOverflow) {
                    TelnetItem item;
                    item.kind = TelnetItem::Kind::Subnegotiation;
                    item.option = static_cast<unsigned char>(m_sub[0]);
                    item.bytes = m_sub.substr(1);
                    out.push_back(std::move(item));
                }
                m_sub.clear();
                m_state = State::Data;
            } else {
                // A subnegotiation cut short by another command: drop it and
                // read the byte as that command.
                m_sub.clear();
                m_state = State::Iac;
                --i;
            }
            break;
        }
    }
}

std::string LineSettings::text() const
{
    return std::to_string(baud) + "," + std::string(1, parity) + "," + std::to_string(dataBits) + "," +
           stopBits;
}

unsigned char LineSettings::parityCode() const
{
    switch (parity) {
    case 'O': return 2;
    case 'E': return 3;
    case 'M': return 4;
    case 'S': return 5;
    default: return 1;
    }
}

unsigned char LineSettings::stopCode() const
{
    if (stopBits == "2")
        return 2;
    if (stopBits == "1.5")
        return 3;
    return 1;
}

namespace {

std::string trimmed(const std::string& s)
{
    std::size_t a = 0;
    std::size_t b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a])))
        ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1])))
        --b;
    return s.substr(a, b - a);
}

std::vector<std::string> splitCommas(const std::string& text)
{
    std::vector<std::string> items;
    std::string current;
    for (char c : text) {
        if (c == ',') {
            items.push_back(trimmed(current));
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    items.push_back(trimmed(current));
    return items;
}

bool allDigits(const std::string& s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

}  // namespace

std::optional<LineSettings> parseLineSettings(const std::string& text)
{
    const std::vector<std::string> items = splitCommas(text);
    if (items.size() != 4)
        return std::nullopt;
    LineSettings s;
    if (!allDigits(items[0]) || items[0].size() > 7)
        return std::nullopt;
    s.baud = static_cast<std::uint32_t>(std::stoul(items[0]));
    if (s.baud == 0)
        return std::nullopt;
    if (items[1].size() != 1)
        return std::nullopt;
    s.parity = static_cast<char>(std::toupper(static_cast<unsigned char>(items[1][0])));
    if (std::string("NOEMS").find(s.parity) == std::string::npos)
        return std::nullopt;
    if (items[2].size() != 1 || items[2][0] < '4' || items[2][0] > '8')
        return std::nullopt;
    s.dataBits = items[2][0] - '0';
    if (items[3] != "1" && items[3] != "1.5" && items[3] != "2")
        return std::nullopt;
    s.stopBits = items[3];
    return s;
}

char parityFromCode(unsigned code)
{
    switch (code) {
    case 1: return 'N';
    case 2: return 'O';
    case 3: return 'E';
    case 4: return 'M';
    case 5: return 'S';
    default: return 0;
    }
}

std::string stopBitsFromCode(unsigned code)
{
    switch (code) {
    case 1: return "1";
    case 2: return "2";
    case 3: return "1.5";
    default: return "";
    }
}

}  // namespace puolukka::rfc2217
