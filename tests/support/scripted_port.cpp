#include "scripted_port.h"

#include <algorithm>
#include <cctype>

namespace puolukka::test {

namespace {

// "speed,parity,bits,stop" with a known parity letter and numbers where numbers belong.
bool validSettings(const std::string& text)
{
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == ',')
            parts.emplace_back();
        else
            parts.back() += c;
    }
    auto number = [](const std::string& s) {
        return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
    };
    return parts.size() == 4 && number(parts[0]) && parts[1].size() == 1 &&
           std::string("NEOMS").find(parts[1]) != std::string::npos && number(parts[2]) && number(parts[3]);
}

}  // namespace

void ScriptedPort::deliver(const std::string& bytes, int delayMs)
{
    const Timed t{m_clock.nowUs() + std::int64_t(delayMs) * 1000, bytes};
    const auto at = std::upper_bound(m_pending.begin(), m_pending.end(), t.atUs,
                                     [](std::int64_t us, const Timed& p) { return us < p.atUs; });
    m_pending.insert(at, t);
}

bool ScriptedPort::setSettings(const std::string& text)
{
    if (!validSettings(text))
        return fail(port_error::InvalidSettings, "Invalid port settings: " + text);
    m_settings = text;
    settingsHistory.push_back(text);
    return true;
}

bool ScriptedPort::setCommPort(int number)
{
    if (m_open)
        return fail(port_error::PortAlreadyOpen, "Port already open");
    if (number < 1 || number > 16)
        return fail(port_error::InvalidPortNumber, "Invalid port number");
    m_commPort = number;
    return true;
}

bool ScriptedPort::setPortOpen(bool open)
{
    if (open == m_open)
        return open ? fail(port_error::PortAlreadyOpen, "Port already open") : true;
    if (open) {
        if (openError.number != 0)
            return fail(openError.number, openError.description, openError.source);
        if (m_commPort == 0)
            return fail(port_error::InvalidPortNumber, "Invalid port number");
        m_open = true;
        ++opens;
        openTimesUs.push_back(m_clock.nowUs());
    } else {
        m_open = false;
        ++closes;
        // What has arrived is lost with the port; what the card sends later still comes.
        moveArrived();
        m_received.clear();
    }
    return true;
}

bool ScriptedPort::output(const std::string& bytes)
{
    if (!m_open)
        return fail(port_error::PortNotOpen, "Operation valid only when the port is open");
    if (failWrites)
        return fail(port_error::WriteFailed, "Write failed");
    writes.push_back(bytes);
    writeTimesUs.push_back(m_clock.nowUs());
    if (echo)
        deliver(bytes, 0);
    if (!m_replies.empty()) {
        for (const Piece& p : m_replies.front())
            deliver(p.bytes, p.delayMs);
        m_replies.pop_front();
    }
    return true;
}

void ScriptedPort::moveArrived()
{
    while (!m_pending.empty() && m_pending.front().atUs <= m_clock.nowUs()) {
        m_received += m_pending.front().bytes;
        m_pending.pop_front();
    }
}

std::string ScriptedPort::input()
{
    if (!m_open) {
        fail(port_error::PortNotOpen, "Operation valid only when the port is open");
        return {};
    }
    moveArrived();
    const std::size_t n = inputLen() > 0 ? std::min<std::size_t>(std::size_t(inputLen()), m_received.size())
                                         : m_received.size();
    std::string out = m_received.substr(0, n);
    m_received.erase(0, n);
    return out;
}

int ScriptedPort::inBufferCount()
{
    if (!m_open)
        return 0;
    moveArrived();
    return int(m_received.size());
}

bool ScriptedPort::clearInBuffer()
{
    if (!m_open)
        return fail(port_error::PropertyOnlyWhenOpen, "Operation valid only when the port is open");
    ++inClears;
    moveArrived();
    m_received.clear();
    return true;
}

std::vector<int> ScriptedPort::pollEvents()
{
    std::vector<int> out(events.begin(), events.end());
    events.clear();
    return out;
}

}  // namespace puolukka::test
