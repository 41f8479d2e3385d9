#include "sim/virtual_reader.h"

#include <algorithm>
#include <bit>
#include <cctype>

namespace puolukka {

namespace {

bool parseWhole(const std::string& text, long low, long high, long* value)
{
    if (text.empty() || text.size() > 7 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    *value = std::stol(text);
    return *value >= low && *value <= high;
}

std::vector<std::string> splitCommas(const std::string& text)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return parts;
        start = comma + 1;
    }
}

}  // namespace

VirtualReaderPort::VirtualReaderPort(Clock& clock, sim::CardDescription card, std::string cardFile,
                                     std::string loadError)
    : m_clock(clock), m_card(std::move(card)), m_cardFile(std::move(cardFile)), m_loadError(std::move(loadError))
{
    updateResetLine();
}

std::int64_t VirtualReaderPort::characterTimeUs() const
{
    // A T=0 character: start bit, 8 data bits, parity bit and a guard time of 2 bits.
    return 12'000'000 / m_baud;
}

bool VirtualReaderPort::setSettings(const std::string& text)
{
    std::vector<std::string> parts = splitCommas(text);
    long baud = 0, bits = 0;
    if (parts.size() != 4 || !parseWhole(parts[0], 50, 256000, &baud) || parts[1].size() != 1 ||
        std::string("EONMSeonms").find(parts[1][0]) == std::string::npos || !parseWhole(parts[2], 4, 8, &bits) ||
        (parts[3] != "1" && parts[3] != "1.5" && parts[3] != "2"))
        return fail(port_error::InvalidSettings, "Invalid setting: \"" + text + "\"");
    m_settingsText = text;
    m_baud = int(baud);
    m_parity = char(std::toupper(static_cast<unsigned char>(parts[1][0])));
    m_dataBits = int(bits);
    return true;
}

bool VirtualReaderPort::setCommPort(int number)
{
    if (m_open) return fail(port_error::PortAlreadyOpen, "Port already open");
    if (number < 1 || number > 16) return fail(port_error::InvalidPortNumber, "Invalid port number");
    m_commPort = number;
    return true;
}

bool VirtualReaderPort::setPortOpen(bool open)
{
    if (open == m_open) {
        if (open) return fail(port_error::PortAlreadyOpen, "Port already open");
        return true;
    }
    if (open && !m_loadError.empty()) return fail(port_error::DeviceNotAvailable, m_loadError);
    pump();  // whatever was on its way while the port was closed is lost
    m_open = open;
    m_received.clear();
    m_newBytes = m_parityError = m_cdChanged = false;
    m_txFreeUs = m_clock.nowUs();
    updateResetLine();
    if (!open) saveIfChanged();
    return true;
}

VirtualReaderPort::Frame VirtualReaderPort::frameOf(std::uint8_t value) const
{
    if (!m_card.description().lineParity) return Frame::Unchecked;  // the parity bit never reaches the line
    bool onesOdd = std::popcount(unsigned(value)) % 2 == 1;
    switch (m_parity) {
    case 'E': return Frame::Even;
    case 'O': return Frame::Odd;
    case 'M': return onesOdd ? Frame::Even : Frame::Odd;  // parity bit always 1
    case 'S': return onesOdd ? Frame::Odd : Frame::Even;  // parity bit always 0
    default: return Frame::Unchecked;                       // no parity bit: the card cannot check
    }
}

void VirtualReaderPort::queue(const LineByte& byte)
{
    auto at = std::upper_bound(m_line.begin(), m_line.end(), byte.atUs,
                               [](std::int64_t us, const LineByte& b) { return us < b.atUs; });
    m_line.insert(at, byte);
}

void VirtualReaderPort::sendFromCard(const sim::Reaction& reaction, std::int64_t afterUs)
{
    if (reaction.bytes.empty()) return;
    const bool inverse = m_card.description().inverse;
    const std::int64_t c = characterTimeUs();
    std::int64_t at = std::max(afterUs + reaction.delayUs, m_cardTxFreeUs);
    for (std::size_t i = 0; i < reaction.bytes.size(); ++i) {
        auto logical = std::uint8_t(reaction.bytes[i]);
        at += c;
        queue({at, inverse ? sim::inverseByte(logical) : logical, inverse ? Frame::Odd : Frame::Even, true});
        if (int(i) < reaction.nulls) at += reaction.nullIntervalUs;
    }
    // The card has the line until its answer is over, NULL bytes and their pauses included.
    m_cardTxFreeUs = at;
}

void VirtualReaderPort::dropCardBytesAfter(std::int64_t us)
{
    m_line.erase(std::remove_if(m_line.begin(), m_line.end(),
                                [us](const LineByte& b) { return b.fromCard && b.atUs > us; }),
                 m_line.end());
    m_cardTxFreeUs = us;
}

void VirtualReaderPort::updateResetLine()
{
    const sim::CardDescription& d = m_card.description();
    const bool rtsLine = m_open && m_rts, dtrLine = m_open && m_dtr;
    const bool asserted = (d.resetOnRts && rtsLine == d.resetAssertedWhenOn) ||
                          (d.resetOnDtr && dtrLine == d.resetAssertedWhenOn);
    if (asserted == m_resetAsserted) return;
    m_resetAsserted = asserted;
    if (!m_inserted) return;
    const std::int64_t now = m_clock.nowUs();
    dropCardBytesAfter(now);
    m_card.powerUp();
    if (!asserted) sendFromCard({m_card.answerToReset(), d.atrDelayUs}, now);
}

bool VirtualReaderPort::output(const std::string& bytes)
{
    if (!m_open) return fail(port_error::PortNotOpen, "Port not open");
    pump();
    const std::int64_t c = characterTimeUs();
    const std::int64_t start = std::max(m_clock.nowUs(), m_txFreeUs);
    const auto mask = std::uint8_t((1u << m_dataBits) - 1);
    const bool inverse = m_card.description().inverse;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::int64_t at = start + std::int64_t(i + 1) * c;
        // Data bits the port does not send are idle (1) on the line.
        const auto value = std::uint8_t(std::uint8_t(bytes[i]) | ~mask);
        const Frame frame = frameOf(value);
        queue({at, value, frame, false});  // the echo: TXD and RXD share the card's I/O line
        if (!m_inserted || m_resetAsserted) continue;
        // T=0 is half duplex: a character the host starts while the card has the
        // line clashes with the card's own. The card's answer is lost with it
        // and the card waits for a new header.
        if (at - c < m_cardTxFreeUs) {
            m_card.ignore(value, kCollision);
            dropCardBytesAfter(at - c);
            continue;
        }
        if (frame != Frame::Unchecked && frame != (inverse ? Frame::Odd : Frame::Even)) {
            m_card.ignore(value, "parity error");
            continue;
        }
        sendFromCard(m_card.receive(inverse ? sim::inverseByte(value) : value), at);
    }
    m_txFreeUs = start + std::int64_t(bytes.size()) * c;
    saveIfChanged();
    return true;
}

void VirtualReaderPort::pump()
{
    const std::int64_t now = m_clock.nowUs();
    const auto mask = std::uint8_t((1u << m_dataBits) - 1);
    while (!m_line.empty() && m_line.front().atUs <= now) {
        LineByte b = m_line.front();
        m_line.pop_front();
        if (!m_open) continue;
        auto value = std::uint8_t(b.value & mask);
        const bool bad = m_card.description().lineParity &&
                         ((m_parity == 'E' && b.frame == Frame::Odd) || (m_parity == 'O' && b.frame == Frame::Even));
        if (bad) {
            m_parityError = true;
            if (!parityReplace().empty()) value = std::uint8_t(parityReplace()[0]);
        }
        m_received.push_back(char(value));
        m_newBytes = true;
    }
}

std::string VirtualReaderPort::input()
{
    if (!m_open) {
        fail(port_error::PortNotOpen, "Port not open");
        return {};
    }
    pump();
    std::size_t n = inputLen() == 0 ? m_received.size() : std::min(m_received.size(), std::size_t(inputLen()));
    std::string out = m_received.substr(0, n);
    m_received.erase(0, n);
    return out;
}

int VirtualReaderPort::inBufferCount()
{
    if (!m_open) {
        fail(port_error::PropertyOnlyWhenOpen, "Operation valid only when the port is open");
        return 0;
    }
    pump();
    return int(m_received.size());
}

bool VirtualReaderPort::clearInBuffer()
{
    if (!m_open) return fail(port_error::PropertyOnlyWhenOpen, "Operation valid only when the port is open");
    pump();
    m_received.clear();
    m_newBytes = false;
    return true;
}

int VirtualReaderPort::outBufferCount()
{
    if (!m_open) {
        fail(port_error::PropertyOnlyWhenOpen, "Operation valid only when the port is open");
        return 0;
    }
    return 0;  // a write leaves the program at once; the line time is accounted on arrival
}

bool VirtualReaderPort::clearOutBuffer()
{
    if (!m_open) return fail(port_error::PropertyOnlyWhenOpen, "Operation valid only when the port is open");
    return true;
}

bool VirtualReaderPort::setRTSEnable(bool on)
{
    m_rts = on;
    updateResetLine();
    return true;
}

bool VirtualReaderPort::setDTREnable(bool on)
{
    m_dtr = on;
    updateResetLine();
    return true;
}

bool VirtualReaderPort::setHandshaking(int mode)
{
    if (mode < 0 || mode > 3) return fail(port_error::InvalidValue, "Invalid property value: Handshaking");
    m_handshaking = mode;
    return true;
}

bool VirtualReaderPort::cdHolding()
{
    if (!m_open) return fail(port_error::PropertyOnlyWhenOpen, "Operation valid only when the port is open");
    return m_inserted;
}

bool VirtualReaderPort::ctsHolding()
{
    if (!m_open) return fail(port_error::PropertyOnlyWhenOpen, "Operation valid only when the port is open");
    return true;
}

bool VirtualReaderPort::dsrHolding()
{
    if (!m_open) return fail(port_error::PropertyOnlyWhenOpen, "Operation valid only when the port is open");
    return true;
}

std::vector<int> VirtualReaderPort::pollEvents()
{
    std::vector<int> events;
    if (!m_open) return events;
    pump();
    if (m_cdChanged) events.push_back(comm_event::Cd);
    if (m_parityError) events.push_back(comm_event::RxParity);
    if (m_newBytes && rThreshold() > 0 && int(m_received.size()) >= rThreshold())
        events.push_back(comm_event::Receive);
    m_cdChanged = m_parityError = m_newBytes = false;
    return events;
}

void VirtualReaderPort::insertCard()
{
    if (m_inserted) return;
    m_inserted = true;
    // A card pushed in while reset is released starts running without an ATR; the
    // next reset pulse makes it answer.
    m_card.powerUp();
    m_cardTxFreeUs = m_clock.nowUs();
    if (m_open) m_cdChanged = true;
}

void VirtualReaderPort::removeCard()
{
    if (!m_inserted) return;
    m_inserted = false;
    dropCardBytesAfter(m_clock.nowUs());
    m_card.powerUp();
    if (m_open) m_cdChanged = true;
}

void VirtualReaderPort::saveIfChanged()
{
    if (!m_card.takeChanged() || m_cardFile.empty()) return;
    std::string error;
    m_saveError = sim::saveCardFile(m_cardFile, m_card.description(), &error) ? std::string() : error;
}

std::unique_ptr<SerialPort> makeVirtualReaderPort(Clock& clock, const std::string& cardFile, std::string* error)
{
    if (cardFile.empty()) return std::make_unique<VirtualReaderPort>(clock, sim::demoCard());
    sim::CardDescription card;
    std::string why;
    if (!sim::loadCardFile(cardFile, &card, &why)) {
        if (error) *error = why;
        return std::make_unique<VirtualReaderPort>(clock, sim::standardCard(), std::string(), why);
    }
    if (error) error->clear();
    return std::make_unique<VirtualReaderPort>(clock, std::move(card), cardFile);
}

}  // namespace puolukka
