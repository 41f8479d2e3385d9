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
    if (open && !portPresent()) return fail(port_error::DeviceNotAvailable, kNoAdapter);
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
        LineByte byte{at, inverse ? sim::inverseByte(logical) : logical, inverse ? Frame::Odd : Frame::Even, true};
        if (!m_faults || strikeLine(byte))
            queue(byte);
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
        LineByte byte{at, std::uint8_t(std::uint8_t(bytes[i]) | ~mask), Frame::Unchecked, false};
        byte.frame = frameOf(byte.value);
        if (m_faults) {
            happenDue(at - c);
            if (!m_open)
                break;  // the adapter went while the bytes were on their way out
            if (!strikeLine(byte))
                continue;  // lost on the line: neither the echo nor the card has it
        }
        const auto value = byte.value;
        const Frame frame = byte.frame;
        queue(byte);  // the echo: TXD and RXD share the card's I/O line
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
        sim::Reaction reaction = m_card.receive(inverse ? sim::inverseByte(value) : value);
        if (m_faults && !reaction.bytes.empty() && m_faults->strikes(sim::Fault::NullStorm))
            addNullStorm(reaction);
        sendFromCard(reaction, at);
    }
    m_txFreeUs = start + std::int64_t(bytes.size()) * c;
    saveIfChanged();
    return true;
}

void VirtualReaderPort::pump()
{
    const std::int64_t now = m_clock.nowUs();
    if (!m_due.empty())
        happenDue(now);
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
            ++m_flagged;
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
    return takeInput(m_received);
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
    pump();  // a card pushed in or pulled out by now
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

void VirtualReaderPort::insertCard() { pushCard(m_clock.nowUs()); }

void VirtualReaderPort::removeCard() { pullCard(m_clock.nowUs()); }

void VirtualReaderPort::pushCard(std::int64_t atUs)
{
    if (m_inserted) return;
    m_inserted = true;
    // A card pushed in while reset is released starts running without an ATR; the
    // next reset pulse makes it answer.
    m_card.powerUp();
    m_cardTxFreeUs = atUs;
    if (m_open) m_cdChanged = true;
}

void VirtualReaderPort::pullCard(std::int64_t atUs)
{
    if (!m_inserted) return;
    m_inserted = false;
    dropCardBytesAfter(atUs);
    m_card.powerUp();
    if (m_open) m_cdChanged = true;
}

// A dip in the card's supply: it starts over as after a reset pulse, cutting
// off what it was sending, and answers to reset (unless reset is held).
void VirtualReaderPort::resetCardAt(std::int64_t atUs)
{
    if (!m_inserted || m_resetAsserted) return;
    dropCardBytesAfter(atUs);
    m_card.powerUp();
    sendFromCard({m_card.answerToReset(), m_card.description().atrDelayUs}, atUs);
}

// The adapter is pulled out: the port closes under the program, as a POSIX
// port does when its device reads as hung up, with everything unread lost.
void VirtualReaderPort::losePort(std::int64_t untilUs)
{
    m_portBackUs = std::max(m_portBackUs, untilUs);
    if (!m_open) return;
    m_open = false;
    m_received.clear();
    m_newBytes = m_parityError = m_cdChanged = false;
    updateResetLine();
    saveIfChanged();
    fail(port_error::ReadFailed, kPortGone);
}

bool VirtualReaderPort::strikeLine(LineByte& byte)
{
    using sim::Fault;
    sim::FaultPlan& plan = *m_faults;
    if (plan.strikes(Fault::CardRemoved)) {
        schedule({Due::What::PullCard, byte.atUs});
        schedule({Due::What::PushCard, byte.atUs + plan.pick(20'000, 1'500'000)});
    }
    if (plan.strikes(Fault::CardReset)) schedule({Due::What::ResetCard, byte.atUs});
    if (plan.strikes(Fault::PortGone))
        schedule({Due::What::LosePort, byte.atUs, byte.atUs + plan.pick(200'000, 3'000'000)});
    // One byte fault at most per character: two flipped bits (a data bit and the
    // parity bit, or two data bits) would pass the parity check, and T=0 has no
    // other check that could find them.
    if (plan.strikes(Fault::DroppedByte)) return false;
    const auto otherFrame = [](Frame f) { return f == Frame::Even ? Frame::Odd : f == Frame::Odd ? Frame::Even : f; };
    if (plan.strikes(Fault::FlippedByte)) {
        byte.value = std::uint8_t(byte.value ^ (1u << plan.pick(0, 7)));
        byte.frame = otherFrame(byte.frame);
    } else if (byte.frame != Frame::Unchecked && plan.strikes(Fault::ParityError)) {
        // Without a parity bit on the line there is none to flip.
        byte.frame = otherFrame(byte.frame);
    }
    return true;
}

void VirtualReaderPort::addNullStorm(sim::Reaction& reaction)
{
    const auto nulls = int(m_faults->pick(10, 300));
    reaction.bytes.insert(0, std::size_t(nulls), char(0x60));
    reaction.nulls += nulls;
    reaction.nullIntervalUs = std::max(reaction.nullIntervalUs, m_faults->pick(0, 20'000));
}

void VirtualReaderPort::schedule(const Due& due)
{
    auto at = std::upper_bound(m_due.begin(), m_due.end(), due.atUs,
                               [](std::int64_t us, const Due& d) { return us < d.atUs; });
    m_due.insert(at, due);
}

void VirtualReaderPort::happenDue(std::int64_t untilUs)
{
    while (!m_due.empty() && m_due.front().atUs <= untilUs) {
        const Due due = m_due.front();
        m_due.pop_front();
        switch (due.what) {
        case Due::What::PullCard: pullCard(due.atUs); break;
        case Due::What::PushCard: pushCard(due.atUs); break;
        case Due::What::ResetCard: resetCardAt(due.atUs); break;
        case Due::What::LosePort: losePort(due.untilUs); break;
        }
    }
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
