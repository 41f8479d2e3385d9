#include "ports/rfc2217_server.h"

#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace puolukka {

using namespace rfc2217;

namespace {

// Waiting bytes kept for a client that does not read; beyond it the client is dropped.
constexpr std::size_t kMaxPendingToClient = 4 << 20;

}  // namespace

Rfc2217Server::Rfc2217Server(SerialPort& port) : m_port(port) {}

Rfc2217Server::~Rfc2217Server()
{
    stop();
}

bool Rfc2217Server::listen(int tcpPort, std::string* error)
{
    return listen(kLoopback, tcpPort, error);
}

bool Rfc2217Server::listen(const std::string& address, int tcpPort, std::string* error)
{
    stop();
    const std::string where = (address.find(':') != std::string::npos ? "[" + address + "]" : address) + ":" +
                              std::to_string(tcpPort);
    auto failWith = [&](const std::string& what, const std::string& why) {
        if (error)
            *error = what + ": " + why;
        stop();
        return false;
    };
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(tcpPort);
    if (const int rc = ::getaddrinfo(address.c_str(), service.c_str(), &hints, &found); rc != 0)
        return failWith(where, ::gai_strerror(rc));
    std::string why = "no address";
    for (addrinfo* ai = found; ai != nullptr && m_listener < 0; ai = ai->ai_next) {
        const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) {
            why = std::strerror(errno);
            continue;
        }
        int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(fd, ai->ai_addr, ai->ai_addrlen) != 0 || ::listen(fd, 4) != 0) {
            why = std::strerror(errno);
            ::close(fd);
            continue;
        }
        m_listener = fd;
    }
    ::freeaddrinfo(found);
    if (m_listener < 0)
        return failWith(where, why);
    sockaddr_storage bound{};
    socklen_t len = sizeof bound;
    if (::getsockname(m_listener, reinterpret_cast<sockaddr*>(&bound), &len) != 0)
        return failWith("getsockname", std::strerror(errno));
    m_localPort = bound.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                                              : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    return true;
}

void Rfc2217Server::stop()
{
    disconnectClient();
    if (m_listener >= 0)
        ::close(m_listener);
    m_listener = -1;
}

void Rfc2217Server::disconnectClient()
{
    if (m_client >= 0)
        ::close(m_client);
    m_client = -1;
    m_toClient.clear();
    m_toPort.clear();
}

void Rfc2217Server::waitForActivity(int timeoutMs)
{
    pollfd fds[2];
    nfds_t count = 0;
    if (m_client >= 0)
        fds[count++] = pollfd{m_client, short(POLLIN | (m_toClient.empty() ? 0 : POLLOUT)), 0};
    else if (m_listener >= 0)
        fds[count++] = pollfd{m_listener, POLLIN, 0};
    ::poll(fds, count, timeoutMs);
}

void Rfc2217Server::pump()
{
    if (m_client < 0)
        acceptClient();
    if (m_client >= 0)
        readClient();
    forwardPort();
    flush();
}

void Rfc2217Server::acceptClient()
{
    if (m_listener < 0)
        return;
    const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return;
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    adoptClient(fd);
}

void Rfc2217Server::adoptClient(int fd)
{
    disconnectClient();
    m_client = fd;
    ++m_clientsServed;
    m_reader.reset();
    m_toClient.clear();
    m_toPort.clear();
    std::fill(std::begin(m_sentDo), std::end(m_sentDo), false);
    std::fill(std::begin(m_sentWill), std::end(m_sentWill), false);
    m_lineMask = 0;
    m_modemMask = 0xFF;
    m_modemReported = false;
    // Whatever the line said while nobody listened is not this client's.
    m_port.pollEvents();
    m_port.clearInBuffer();
    m_port.clearError();
}

void Rfc2217Server::readClient()
{
    char buffer[4096];
    std::vector<TelnetItem> items;
    for (int round = 0; round < 64 && m_client >= 0; ++round) {
        const ssize_t n = ::recv(m_client, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            items.clear();
            m_reader.feed(buffer, std::size_t(n), items);
            for (const TelnetItem& item : items)
                handleItem(item);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        // Closed by the client, or broken: what it sent before still goes to the line.
        writeToPort();
        disconnectClient();
        return;
    }
    writeToPort();
}

void Rfc2217Server::writeToPort()
{
    if (m_toPort.empty())
        return;
    m_port.output(m_toPort);
    m_toPort.clear();
    m_port.clearError();  // a closed line swallows the bytes, as a cable would
}

void Rfc2217Server::handleItem(const TelnetItem& item)
{
    switch (item.kind) {
    case TelnetItem::Kind::Data:
        m_toPort += item.bytes;
        break;
    case TelnetItem::Kind::Option:
        handleOption(item.verb, item.option);
        break;
    case TelnetItem::Kind::Subnegotiation:
        if (item.option == kOptComPort) {
            // Data written before the command goes to the line before it takes effect.
            writeToPort();
            handleComPort(item.bytes);
        }
        break;
    }
}

void Rfc2217Server::handleOption(unsigned char verb, unsigned char option)
{
    const bool theirs = option == kOptBinary || option == kOptSuppressGoAhead || option == kOptComPort;
    const bool ours = option == kOptBinary || option == kOptSuppressGoAhead;
    switch (verb) {
    case kWill:
        if (!theirs)
            m_toClient += optionCommand(kDont, option);
        else if (!m_sentDo[option]) {
            m_toClient += optionCommand(kDo, option);
            m_sentDo[option] = true;
        }
        break;
    case kDo:
        if (!ours)
            m_toClient += optionCommand(kWont, option);
        else if (!m_sentWill[option]) {
            m_toClient += optionCommand(kWill, option);
            m_sentWill[option] = true;
        }
        break;
    case kWont:
        m_sentDo[option] = false;
        break;
    case kDont:
        m_sentWill[option] = false;
        break;
    default:
        break;
    }
}

LineSettings Rfc2217Server::currentSettings() const
{
    if (auto s = parseLineSettings(m_port.settings()))
        return *s;
    return LineSettings{};
}

void Rfc2217Server::applySettings(const LineSettings& s)
{
    if (!m_port.setSettings(s.text()))
        m_port.clearError();  // the answer tells the client what the line kept
}

void Rfc2217Server::reply(unsigned char command, const std::string& value)
{
    m_toClient += comPortCommand(static_cast<unsigned char>(command + kServerOffset), value);
}

void Rfc2217Server::handleComPort(const std::string& bytes)
{
    if (bytes.empty())
        return;
    const auto command = static_cast<unsigned char>(bytes[0]);
    const unsigned value = bytes.size() > 1 ? static_cast<unsigned char>(bytes[1]) : 0;
    LineSettings s = currentSettings();
    switch (command) {
    case kSetBaudrate: {
        const std::uint32_t baud = readUint32(bytes, 1);
        if (bytes.size() >= 5 && baud != 0) {
            s.baud = baud;
            applySettings(s);
        }
        reply(command, uint32Value(currentSettings().baud));
        break;
    }
    case kSetDatasize:
        if (value >= 5 && value <= 8) {
            s.dataBits = int(value);
            applySettings(s);
        }
        reply(command, byteValue(unsigned(currentSettings().dataBits)));
        break;
    case kSetParity:
        if (parityFromCode(value) != 0) {
            s.parity = parityFromCode(value);
            applySettings(s);
        }
        reply(command, byteValue(currentSettings().parityCode()));
        break;
    case kSetStopsize:
        if (!stopBitsFromCode(value).empty()) {
            s.stopBits = stopBitsFromCode(value);
            applySettings(s);
        }
        reply(command, byteValue(currentSettings().stopCode()));
        break;
    case kSetControl: {
        unsigned answer = value;
        switch (value) {
        case kControlFlowNone: m_port.setHandshaking(0); break;
        case kControlFlowXonXoff: m_port.setHandshaking(1); break;
        case kControlFlowHardware: m_port.setHandshaking(2); break;
        case kControlFlowQuery: {
            const int mode = m_port.handshaking();
            answer = mode == 1 ? kControlFlowXonXoff : mode >= 2 ? kControlFlowHardware : kControlFlowNone;
            break;
        }
        case kControlDtrOn: m_port.setDTREnable(true); break;
        case kControlDtrOff: m_port.setDTREnable(false); break;
        case kControlDtrQuery: answer = m_port.dtrEnable() ? kControlDtrOn : kControlDtrOff; break;
        case kControlRtsOn: m_port.setRTSEnable(true); break;
        case kControlRtsOff: m_port.setRTSEnable(false); break;
        case kControlRtsQuery: answer = m_port.rtsEnable() ? kControlRtsOn : kControlRtsOff; break;
        case kControlBreakQuery:
        case kControlBreakOn:
        case kControlBreakOff:
            answer = kControlBreakOff;  // the port cannot send a break
            break;
        default:
            break;  // inbound flow control: nothing to set on this port
        }
        m_port.clearError();
        reply(command, byteValue(answer));
        break;
    }
    case kSetLinestateMask:
        m_lineMask = static_cast<unsigned char>(value);
        reply(command, byteValue(value));
        break;
    case kSetModemstateMask:
        m_modemMask = static_cast<unsigned char>(value);
        reply(command, byteValue(value));
        m_modemReported = false;  // the client learns how the lines stand now
        break;
    case kPurgeData:
        if (value == kPurgeReceive || value == kPurgeBoth)
            m_port.clearInBuffer();
        if (value == kPurgeTransmit || value == kPurgeBoth)
            m_port.clearOutBuffer();
        m_port.clearError();
        reply(command, byteValue(value));
        break;
    default:
        break;  // flow suspend/resume and unknown commands
    }
}

unsigned char Rfc2217Server::lineStates()
{
    unsigned char states = 0;
    if (m_port.cdHolding())
        states |= kModemCd;
    if (m_port.ctsHolding())
        states |= kModemCts;
    if (m_port.dsrHolding())
        states |= kModemDsr;
    m_port.clearError();  // a port without modem lines reads them as off
    return states;
}

void Rfc2217Server::forwardPort()
{
    unsigned char lineState = 0;
    unsigned char modemDeltas = 0;
    for (int event : m_port.pollEvents()) {
        switch (event) {
        case comm_event::Overrun:
        case comm_event::RxOver: lineState |= kLineOverrun; break;
        case comm_event::RxParity: lineState |= kLineParity; break;
        case comm_event::Frame: lineState |= kLineFraming; break;
        case comm_event::Break: lineState |= kLineBreak; break;
        case comm_event::Cd: modemDeltas |= kModemDeltaCd; break;
        case comm_event::Cts: modemDeltas |= kModemDeltaCts; break;
        case comm_event::Dsr: modemDeltas |= kModemDeltaDsr; break;
        case comm_event::Ring: modemDeltas |= kModemRingEnded; break;
        default: break;
        }
    }
    std::string data;
    for (int round = 0; round < 16 && m_port.inBufferCount() > 0; ++round)
        data += m_port.input();
    m_port.clearError();
    if (m_client < 0)
        return;  // nobody to tell: what the line said is dropped

    // A line error goes ahead of the bytes it spoiled, so the client hears of it first.
    if (lineState & m_lineMask)
        reply(kNotifyLinestate, byteValue(lineState & m_lineMask));

    m_toClient += escapeData(data);

    const unsigned char states = lineStates();
    if (m_modemReported) {
        const unsigned char changed = (states ^ m_modemStates) & 0xF0;
        if (changed & kModemCd)
            modemDeltas |= kModemDeltaCd;
        if (changed & kModemCts)
            modemDeltas |= kModemDeltaCts;
        if (changed & kModemDsr)
            modemDeltas |= kModemDeltaDsr;
        const unsigned char report = static_cast<unsigned char>((states | modemDeltas) & m_modemMask);
        if (report & 0x0F)
            reply(kNotifyModemstate, byteValue(report));
    } else if (m_sentDo[kOptComPort]) {
        // The first report after the client has set its mask: states only.
        reply(kNotifyModemstate, byteValue(states & m_modemMask & 0xF0));
        m_modemReported = true;
    }
    m_modemStates = states;
}

void Rfc2217Server::flush()
{
    if (m_client < 0 || m_toClient.empty())
        return;
    while (!m_toClient.empty()) {
        const ssize_t n = ::send(m_client, m_toClient.data(), m_toClient.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                break;
            disconnectClient();
            return;
        }
        m_toClient.erase(0, std::size_t(n));
    }
    if (m_toClient.size() > kMaxPendingToClient)
        disconnectClient();
}

}  // namespace puolukka
