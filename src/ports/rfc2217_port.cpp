#include "ports/rfc2217_port.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace puolukka {

using namespace rfc2217;

namespace {

constexpr const char* kScheme = "rfc2217://";

// Line-state bits we want to hear about: overrun, parity, framing, break.
constexpr unsigned char kLineStateMask = kLineOverrun | kLineParity | kLineFraming | kLineBreak;

bool isLineError(int event)
{
    return event == comm_event::Break || event == comm_event::Frame || event == comm_event::Overrun ||
           event == comm_event::RxOver || event == comm_event::RxParity;
}

}  // namespace

Rfc2217Port::Rfc2217Port(Clock& clock, const std::string& address) : m_clock(clock)
{
    std::string rest = address;
    if (rest.rfind(kScheme, 0) == 0)
        rest = rest.substr(std::strlen(kScheme));
    m_name = kScheme + rest;

    std::string host;
    std::string service;
    if (!rest.empty() && rest[0] == '[') {
        const auto close = rest.find(']');
        if (close != std::string::npos && close + 1 < rest.size() && rest[close + 1] == ':') {
            host = rest.substr(1, close - 1);
            service = rest.substr(close + 2);
        }
    } else {
        const auto colon = rest.rfind(':');
        if (colon != std::string::npos) {
            host = rest.substr(0, colon);
            service = rest.substr(colon + 1);
        }
    }
    bool digits = !service.empty() && service.size() <= 5 &&
                  std::all_of(service.begin(), service.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (digits) {
        const long number = std::stol(service);
        digits = number >= 1 && number <= 65535;
    }
    m_addressValid = !host.empty() && digits;
    m_host = host;
    m_service = service;
}

Rfc2217Port::~Rfc2217Port()
{
    closeSocket();
}

bool Rfc2217Port::setSettings(const std::string& text)
{
    if (!parseLineSettings(text))
        return fail(port_error::InvalidSettings, "Invalid port settings: \"" + text + "\"");
    m_settings = text;
    if (m_fd < 0)
        return true;
    sendLineSettings();
    return flushTx() || failClosed(port_error::WriteFailed);
}

bool Rfc2217Port::setCommPort(int number)
{
    // The server's address names the line; the number is only kept.
    if (number < 1)
        return fail(port_error::InvalidPortNumber, "Invalid port number");
    m_commPort = number;
    return true;
}

bool Rfc2217Port::setPortOpen(bool open)
{
    if (!open) {
        closeSocket();
        m_lostReason.clear();
        m_rx.clear();
        m_newData = false;
        m_events.clear();
        return true;
    }
    if (m_fd >= 0)
        return fail(port_error::PortAlreadyOpen, m_name + ": port is already open");
    m_lostReason.clear();
    m_rx.clear();
    m_newData = false;
    m_events.clear();
    if (!m_addressValid)
        return fail(port_error::DeviceNotAvailable, m_name + ": not a host:port address");
    if (!connectSocket())
        return false;
    return negotiate();
}

bool Rfc2217Port::openConnected(int fd)
{
    if (m_fd >= 0) {
        ::close(fd);
        return fail(port_error::PortAlreadyOpen, m_name + ": port is already open");
    }
    m_lostReason.clear();
    m_rx.clear();
    m_newData = false;
    m_events.clear();
    m_fd = fd;
    return negotiate();
}

bool Rfc2217Port::connectSocket()
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(m_host.c_str(), m_service.c_str(), &hints, &found);
    if (rc != 0)
        return fail(port_error::DeviceNotAvailable, m_name + ": " + ::gai_strerror(rc));

    std::string reason = "No address to connect to";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
    for (addrinfo* ai = found; ai != nullptr && m_fd < 0; ai = ai->ai_next) {
        const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) {
            reason = std::strerror(errno);
            continue;
        }
        int err = 0;
        if (::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
            err = errno;
            if (err == EINPROGRESS) {
                err = ETIMEDOUT;
                for (;;) {
                    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                          deadline - std::chrono::steady_clock::now())
                                          .count();
                    if (left <= 0)
                        break;
                    pollfd pfd{fd, POLLOUT, 0};
                    const int ready = ::poll(&pfd, 1, int(left));
                    if (ready < 0 && errno == EINTR)
                        continue;
                    if (ready > 0) {
                        socklen_t len = sizeof err;
                        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
                            err = errno;
                    }
                    break;
                }
            }
        }
        if (err != 0) {
            reason = std::strerror(err);
            ::close(fd);
            continue;
        }
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        m_fd = fd;
    }
    ::freeaddrinfo(found);
    if (m_fd < 0)
        return fail(port_error::DeviceNotAvailable, m_name + ": " + reason);
    return true;
}

bool Rfc2217Port::negotiate()
{
    m_reader.reset();
    m_tx.clear();
    m_txSent = 0;
    std::fill(std::begin(m_sentDo), std::end(m_sentDo), false);
    std::fill(std::begin(m_sentWill), std::end(m_sentWill), false);
    m_comPort = ComPortState::Asked;
    m_lineReady = false;
    m_modemState = 0;
    m_modemStateKnown = false;

    for (unsigned char option : {kOptComPort, kOptBinary, kOptSuppressGoAhead}) {
        queue(optionCommand(kWill, option));
        m_sentWill[option] = true;
    }
    for (unsigned char option : {kOptBinary, kOptSuppressGoAhead}) {
        queue(optionCommand(kDo, option));
        m_sentDo[option] = true;
    }
    // The server takes the commands in order, so the line is set up as soon
    // as it has accepted the option; no need to wait for each answer. Not
    // every server answers the masks, but all answer SET-CONTROL: the RTS
    // command goes last and its answer tells that the line is ready.
    sendComPort(kSetLinestateMask, byteValue(kLineStateMask));
    sendComPort(kSetModemstateMask, byteValue(0xFF));
    sendLineSettings();
    const unsigned char flow[] = {kControlFlowNone, kControlFlowXonXoff, kControlFlowHardware, kControlFlowHardware};
    sendComPort(kSetControl, byteValue(flow[m_handshaking & 3]));
    sendComPort(kSetControl, byteValue(m_dtr ? kControlDtrOn : kControlDtrOff));
    sendComPort(kSetControl, byteValue(m_rts ? kControlRtsOn : kControlRtsOff));

    const std::int64_t deadline = m_clock.nowUs() + std::int64_t(kNegotiationTimeoutMs) * 1000;
    for (;;) {
        if (!pump()) {
            const std::string reason = m_lostReason;
            m_lostReason.clear();
            return fail(port_error::DeviceNotAvailable, m_name + ": " + reason);
        }
        if (m_comPort == ComPortState::Refused)
            break;
        if (m_comPort == ComPortState::Accepted && m_lineReady)
            break;
        if (m_clock.nowUs() >= deadline)
            break;
        // The wait is the clock's alone, so a virtual clock negotiates without real waiting.
        m_clock.sleepMs(1);
    }
    if (m_comPort == ComPortState::Accepted)
        return true;  // a server slow to answer the commands: the option itself is enough
    const bool refused = m_comPort == ComPortState::Refused;
    closeSocket();
    return fail(port_error::DeviceNotAvailable,
                m_name + (refused ? ": the server refuses serial port control (RFC 2217)"
                                  : ": no RFC 2217 answer from the server"));
}

void Rfc2217Port::closeSocket()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_tx.clear();
    m_txSent = 0;
}

void Rfc2217Port::lose(int number, const std::string& reason)
{
    closeSocket();
    m_lostReason = "connection to the server lost (" + reason + ")";
    if (m_modemStateKnown) {
        if (m_modemState & kModemCts)
            m_events.push_back(comm_event::Cts);
        if (m_modemState & kModemDsr)
            m_events.push_back(comm_event::Dsr);
        if (m_modemState & kModemCd)
            m_events.push_back(comm_event::Cd);
    }
    m_modemState = 0;
    fail(number, m_name + ": " + m_lostReason);
}

bool Rfc2217Port::failClosed(int lostNumber)
{
    if (!m_lostReason.empty())
        return fail(lostNumber, m_name + ": " + m_lostReason);
    return fail(port_error::PortNotOpen, m_name + ": port is not open");
}

void Rfc2217Port::queue(std::string bytes, std::size_t dataBytes)
{
    m_tx.push_back(TxSegment{std::move(bytes), dataBytes});
}

void Rfc2217Port::sendComPort(unsigned char command, const std::string& value)
{
    queue(comPortCommand(command, value));
}

void Rfc2217Port::sendLineSettings()
{
    const auto s = parseLineSettings(m_settings);
    if (!s)
        return;
    sendComPort(kSetBaudrate, uint32Value(s->baud));
    sendComPort(kSetDatasize, byteValue(unsigned(s->dataBits)));
    sendComPort(kSetParity, byteValue(s->parityCode()));
    sendComPort(kSetStopsize, byteValue(s->stopCode()));
}

bool Rfc2217Port::flushTx()
{
    while (m_fd >= 0 && !m_tx.empty()) {
        TxSegment& front = m_tx.front();
        const ssize_t n = ::send(m_fd, front.bytes.data() + m_txSent, front.bytes.size() - m_txSent,
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return true;  // the rest goes with a later call
            lose(port_error::WriteFailed, std::strerror(errno));
            return false;
        }
        m_txSent += std::size_t(n);
        if (m_txSent >= front.bytes.size()) {
            m_tx.pop_front();
            m_txSent = 0;
        }
    }
    return m_fd >= 0;
}

bool Rfc2217Port::pump()
{
    if (m_fd < 0)
        return false;
    if (!flushTx())
        return false;
    char buffer[4096];
    std::vector<TelnetItem> items;
    // Bounded, so a server that floods the line cannot hold the caller forever.
    for (int round = 0; round < 256; ++round) {
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            items.clear();
            m_reader.feed(buffer, std::size_t(n), items);
            for (const TelnetItem& item : items)
                handleItem(item);
            continue;
        }
        if (n == 0) {
            lose(port_error::ReadFailed, "Connection closed by the server");
            return false;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            break;
        lose(port_error::ReadFailed, std::strerror(errno));
        return false;
    }
    return flushTx();  // answers to the server's negotiation
}

void Rfc2217Port::handleItem(const TelnetItem& item)
{
    switch (item.kind) {
    case TelnetItem::Kind::Data: {
        const std::size_t room = kMaxInBuffer - std::min(kMaxInBuffer, m_rx.size());
        m_rx.append(item.bytes, 0, std::min(room, item.bytes.size()));
        if (item.bytes.size() > room)
            m_events.push_back(comm_event::RxOver);
        if (!item.bytes.empty())
            m_newData = true;
        break;
    }
    case TelnetItem::Kind::Option:
        handleOption(item.verb, item.option);
        break;
    case TelnetItem::Kind::Subnegotiation:
        if (item.option == kOptComPort)
            handleComPort(item.bytes);
        break;
    }
}

void Rfc2217Port::handleOption(unsigned char verb, unsigned char option)
{
    const bool theirs = option == kOptBinary || option == kOptSuppressGoAhead;
    const bool ours = theirs || option == kOptComPort;
    switch (verb) {
    case kWill:
        if (!theirs) {
            queue(optionCommand(kDont, option));
        } else if (!m_sentDo[option]) {
            queue(optionCommand(kDo, option));
            m_sentDo[option] = true;
        }
        break;
    case kWont:
        m_sentDo[option] = false;
        break;
    case kDo:
        if (!ours) {
            queue(optionCommand(kWont, option));
            break;
        }
        if (option == kOptComPort)
            m_comPort = ComPortState::Accepted;
        if (!m_sentWill[option]) {
            queue(optionCommand(kWill, option));
            m_sentWill[option] = true;
        }
        break;
    case kDont:
        m_sentWill[option] = false;
        if (option == kOptComPort)
            m_comPort = ComPortState::Refused;
        break;
    default:
        break;
    }
}

void Rfc2217Port::handleComPort(const std::string& bytes)
{
    if (bytes.empty())
        return;
    const auto command = static_cast<unsigned char>(bytes[0]);
    const unsigned char value = bytes.size() > 1 ? static_cast<unsigned char>(bytes[1]) : 0;
    switch (command) {
    case kServerOffset + kNotifyLinestate:
        if (value & kLineOverrun)
            m_events.push_back(comm_event::Overrun);
        if (value & kLineParity)
            m_events.push_back(comm_event::RxParity);
        if (value & kLineFraming)
            m_events.push_back(comm_event::Frame);
        if (value & kLineBreak)
            m_events.push_back(comm_event::Break);
        break;
    case kServerOffset + kNotifyModemstate:
        if (bytes.size() > 1)
            handleModemState(value);
        break;
    case kServerOffset + kSetControl:
        if (value == kControlRtsOn || value == kControlRtsOff)
            m_lineReady = true;
        break;
    default:
        break;  // answers to our settings: the server has them
    }
}

void Rfc2217Port::handleModemState(unsigned char state)
{
    // The first report only tells how the lines stand (some servers mark
    // every line that is on as changed in it); later ones raise an event for
    // every line that changed, whether the server marks the change or it
    // shows only in the states.
    const unsigned char old = m_modemState;
    const bool first = !m_modemStateKnown;
    m_modemState = state & 0xF0;
    m_modemStateKnown = true;
    if (first)
        return;
    const auto changed = static_cast<unsigned char>((old ^ state) & 0xF0);
    if ((changed & kModemCts) || (state & kModemDeltaCts))
        m_events.push_back(comm_event::Cts);
    if ((changed & kModemDsr) || (state & kModemDeltaDsr))
        m_events.push_back(comm_event::Dsr);
    if ((changed & kModemCd) || (state & kModemDeltaCd))
        m_events.push_back(comm_event::Cd);
    const bool ringStarted = (changed & kModemRi) && (state & kModemRi);
    const bool ringMissed = (state & kModemRingEnded) && !(old & kModemRi) && !(state & kModemRi);
    if (ringStarted || ringMissed)
        m_events.push_back(comm_event::Ring);
}

bool Rfc2217Port::output(const std::string& bytes)
{
    if (m_fd < 0 || !pump())
        return failClosed(port_error::WriteFailed);
    if (bytes.empty())
        return true;
    queue(escapeData(bytes), bytes.size());
    return flushTx() || failClosed(port_error::WriteFailed);
}

std::string Rfc2217Port::input()
{
    if (m_fd >= 0)
        pump();
    if (m_rx.empty()) {
        if (m_fd < 0)
            failClosed(port_error::ReadFailed);
        return {};
    }
    std::string bytes = takeInput(m_rx);
    if (m_rx.empty())
        m_newData = false;
    return bytes;
}

int Rfc2217Port::inBufferCount()
{
    if (m_fd >= 0)
        pump();
    // Bytes that arrived before the connection broke are still delivered.
    if (m_fd < 0 && m_rx.empty()) {
        failClosed(port_error::ReadFailed);
        return 0;
    }
    return int(std::min<std::size_t>(m_rx.size(), 0x7FFFFFFF));
}

bool Rfc2217Port::clearInBuffer()
{
    m_rx.clear();
    m_newData = false;
    if (m_fd < 0)
        return failClosed(port_error::ReadFailed);
    // Take in what has already arrived, so it is emptied too, then let the
    // server empty its side.
    pump();
    m_rx.clear();
    m_newData = false;
    if (m_fd < 0)
        return failClosed(port_error::ReadFailed);
    sendComPort(kPurgeData, byteValue(kPurgeReceive));
    return flushTx() || failClosed(port_error::WriteFailed);
}

int Rfc2217Port::outBufferCount()
{
    if (m_fd < 0) {
        failClosed(port_error::WriteFailed);
        return 0;
    }
    flushTx();
    std::size_t count = 0;
    for (std::size_t i = 0; i < m_tx.size(); ++i) {
        const TxSegment& s = m_tx[i];
        if (i == 0 && m_txSent > 0)
            count += std::min(s.dataBytes, s.bytes.size() - m_txSent);
        else
            count += s.dataBytes;
    }
    return int(std::min<std::size_t>(count, 0x7FFFFFFF));
}

bool Rfc2217Port::clearOutBuffer()
{
    if (m_fd < 0)
        return failClosed(port_error::WriteFailed);
    // Unsent data goes; commands stay, and a segment already half on the wire
    // is finished so the stream stays well formed.
    std::deque<TxSegment> kept;
    for (std::size_t i = 0; i < m_tx.size(); ++i) {
        if (m_tx[i].dataBytes == 0 || (i == 0 && m_txSent > 0))
            kept.push_back(std::move(m_tx[i]));
    }
    m_tx = std::move(kept);
    sendComPort(kPurgeData, byteValue(kPurgeTransmit));
    return flushTx() || failClosed(port_error::WriteFailed);
}

bool Rfc2217Port::setRTSEnable(bool on)
{
    m_rts = on;
    if (m_fd < 0)
        return true;
    sendComPort(kSetControl, byteValue(on ? kControlRtsOn : kControlRtsOff));
    return flushTx() || failClosed(port_error::WriteFailed);
}

bool Rfc2217Port::setDTREnable(bool on)
{
    m_dtr = on;
    if (m_fd < 0)
        return true;
    sendComPort(kSetControl, byteValue(on ? kControlDtrOn : kControlDtrOff));
    return flushTx() || failClosed(port_error::WriteFailed);
}

bool Rfc2217Port::setHandshaking(int mode)
{
    if (mode < 0 || mode > 3)
        return fail(port_error::InvalidValue, "Invalid property value: Handshaking");
    m_handshaking = mode;
    if (m_fd < 0)
        return true;
    // The protocol has no "both"; hardware flow control is the one that matters then.
    const unsigned char flow[] = {kControlFlowNone, kControlFlowXonXoff, kControlFlowHardware, kControlFlowHardware};
    sendComPort(kSetControl, byteValue(flow[mode]));
    return flushTx() || failClosed(port_error::WriteFailed);
}

bool Rfc2217Port::modemLine(unsigned char bit)
{
    if (m_fd < 0)
        return failClosed(port_error::ReadFailed);
    pump();
    return (m_modemState & bit) != 0;
}

bool Rfc2217Port::cdHolding()
{
    return modemLine(kModemCd);
}

bool Rfc2217Port::ctsHolding()
{
    return modemLine(kModemCts);
}

bool Rfc2217Port::dsrHolding()
{
    return modemLine(kModemDsr);
}

std::vector<int> Rfc2217Port::pollEvents()
{
    if (m_fd >= 0)
        pump();
    std::vector<int> events = std::move(m_events);
    m_events.clear();
    // A line error goes out alone: its handler empties the receive buffer, and
    // the receive event is judged again by the next poll, on what is left.
    const bool lineError = std::any_of(events.begin(), events.end(), isLineError);
    if (!lineError && m_newData && rThreshold() > 0 && m_rx.size() >= std::size_t(rThreshold())) {
        events.push_back(comm_event::Receive);
        m_newData = false;
    }
    return events;
}

}  // namespace puolukka
