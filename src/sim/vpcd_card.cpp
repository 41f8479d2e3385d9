#include "sim/vpcd_card.h"

#include <cerrno>
#include <cstring>

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace puolukka::sim {

namespace {

constexpr unsigned char kPowerOff = 0x00, kPowerOn = 0x01, kReset = 0x02, kSendAtr = 0x04;

// vpcd writes the length and the payload of a message separately. Linux delays
// the acknowledgement of the first part (~40 ms) unless told to acknowledge at
// once, and it forgets that after every receive: so it is said again each time.
void acknowledgeAtOnce(int fd)
{
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
}

bool receiveAll(int fd, char* buffer, std::size_t size)
{
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::recv(fd, buffer + got, size - got, 0);
        if (n == 0)
            return false;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        got += std::size_t(n);
        acknowledgeAtOnce(fd);
    }
    return true;
}

}  // namespace

VpcdCard::VpcdCard(CardDescription card, std::string cardFile) : m_card(std::move(card)), m_cardFile(std::move(cardFile))
{
}

VpcdCard::~VpcdCard()
{
    closeSocket();
}

void VpcdCard::setAddress(std::string host, int port)
{
    m_host = std::move(host);
    m_port = port;
}

std::string VpcdCard::saveError()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_saveError;
}

bool VpcdCard::connectSocket(std::string* error)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(m_port);
    const int rc = ::getaddrinfo(m_host.c_str(), service.c_str(), &hints, &found);
    if (rc != 0) {
        if (error)
            *error = m_host + ": " + ::gai_strerror(rc);
        return false;
    }
    std::string reason = "no address";
    for (addrinfo* ai = found; ai != nullptr && m_fd < 0; ai = ai->ai_next) {
        const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) {
            reason = std::strerror(errno);
            continue;
        }
        if (::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
            reason = std::strerror(errno);
            ::close(fd);
            continue;
        }
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        acknowledgeAtOnce(fd);
        m_fd = fd;
    }
    ::freeaddrinfo(found);
    if (m_fd < 0) {
        if (error)
            *error = m_host + ":" + service + ": " + reason;
        return false;
    }
    m_connected = true;
    return true;
}

void VpcdCard::closeSocket()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_connected = false;
}

bool VpcdCard::readMessage(std::string* payload)
{
    unsigned char length[2];
    if (!receiveAll(m_fd, reinterpret_cast<char*>(length), 2))
        return false;
    payload->assign(std::size_t(length[0]) << 8 | length[1], '\0');
    return payload->empty() || receiveAll(m_fd, payload->data(), payload->size());
}

bool VpcdCard::sendMessage(const std::string& payload)
{
    // Length and payload in one write, so they travel in one segment.
    std::string message;
    message.push_back(char(payload.size() >> 8));
    message.push_back(char(payload.size() & 0xFF));
    message += payload;
    std::size_t sent = 0;
    while (sent < message.size()) {
        const ssize_t n = ::send(m_fd, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += std::size_t(n);
    }
    return true;
}

std::string VpcdCard::answer(const std::string& payload)
{
    if (payload.size() == 1) {
        switch (static_cast<unsigned char>(payload[0])) {
        case kPowerOn:
        case kReset:
            ++m_resets;
            [[fallthrough]];
        case kPowerOff:
            // A card without power forgets everything; power-up and reset start it afresh.
            m_card.powerUp();
            return {};
        case kSendAtr:
            return m_card.description().atr;
        default:
            return {};
        }
    }
    ++m_commands;
    const std::string response = m_apdu.transmit(payload);
    if (m_card.takeChanged() && !m_cardFile.empty()) {
        std::string why;
        m_saveError = saveCardFile(m_cardFile, m_card.description(), &why) ? std::string() : why;
    }
    return response;
}

bool VpcdCard::serveOnce(int waitMs, std::string* error)
{
    if (!m_wantInserted) {
        closeSocket();
        if (waitMs > 0)
            ::poll(nullptr, 0, waitMs);
        return true;
    }
    if (m_fd < 0 && !connectSocket(error)) {
        if (waitMs > 0)
            ::poll(nullptr, 0, waitMs);
        return false;
    }
    pollfd pfd{m_fd, POLLIN, 0};
    if (::poll(&pfd, 1, waitMs) <= 0)
        return true;
    std::string payload;
    if (!readMessage(&payload)) {
        closeSocket();  // vpcd went away; the next round connects again
        return true;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (payload.size() > 1 && m_beforeCommand && !m_beforeCommand(payload)) {
        m_wantInserted = false;
        closeSocket();
        return true;
    }
    const std::string reply = answer(payload);
    if ((!reply.empty() || payload.size() > 1) && !sendMessage(reply))
        closeSocket();
    return true;
}

}  // namespace puolukka::sim
