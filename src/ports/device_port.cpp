#include "ports/device_port.h"

#include <utility>

#include "ports/line_parameters.h"

namespace puolukka {

namespace {
PortsMap portsFrom(const std::string& startDirectory)
{
    PortsMap ports;
    ports.load(startDirectory);
    return ports;
}
}  // namespace

DevicePort::DevicePort(Factory factory, const std::string& startDirectory)
    : DevicePort(std::move(factory), portsFrom(startDirectory))
{
}

DevicePort::DevicePort(Factory factory, PortsMap ports) : m_factory(std::move(factory)), m_ports(std::move(ports)) {}

bool DevicePort::setPorts(PortsMap ports)
{
    const std::string before = m_ports.deviceForPort(m_commPort);
    m_ports = std::move(ports);
    if (!portOpen() || m_ports.deviceForPort(m_commPort) == before)
        return true;
    return setPortOpen(false) && setPortOpen(true);
}

bool DevicePort::takeError(const SerialPort& from, int fallbackNumber, const std::string& fallbackText)
{
    const PortError& e = from.lastError();
    if (e.number == 0)
        return fail(fallbackNumber, fallbackText);
    return fail(e.number, e.description, e.source.empty() ? "MSComm1" : e.source);
}

SerialPort* DevicePort::openBackend()
{
    if (!portOpen()) {
        fail(port_error::PortNotOpen, "Port is not open");
        return nullptr;
    }
    return m_active;
}

bool DevicePort::portOpen() const
{
    return m_active != nullptr && m_active->portOpen();
}

bool DevicePort::setSettings(const std::string& text)
{
    if (portOpen()) {
        if (!m_active->setSettings(text))
            return takeError(*m_active, port_error::InvalidSettings, "Invalid port parameters \"" + text + "\"");
    } else {
        std::string why;
        LineParameters params;
        if (!parseLineParameters(text, params, &why))
            return fail(port_error::InvalidSettings, why);
    }
    m_settings = text;
    return true;
}

bool DevicePort::setCommPort(int number)
{
    if (portOpen())
        return fail(port_error::PortAlreadyOpen, "Port already open");
    if (number < kFirstPort || number > kLastPort)
        return fail(port_error::InvalidPortNumber,
                    "Invalid port number " + std::to_string(number) + " (ports 1 to 16 can be used)");
    m_commPort = number;
    return true;
}

bool DevicePort::applyProperties(SerialPort& backend)
{
    backend.setCommPort(m_commPort);  // informative only: the device is already chosen
    const bool ok = backend.setSettings(m_settings) && backend.setHandshaking(m_handshaking) &&
                    backend.setRTSEnable(m_rts) && backend.setDTREnable(m_dtr) &&
                    backend.setRThreshold(rThreshold()) && backend.setSThreshold(sThreshold()) &&
                    backend.setInputLen(inputLen()) && backend.setParityReplace(parityReplace()) &&
                    backend.setInterval(interval());
    return ok || takeError(backend, port_error::InvalidSettings, "The port did not take its settings");
}

bool DevicePort::setPortOpen(bool open)
{
    if (!open) {
        if (m_active == nullptr)
            return true;
        SerialPort* closing = std::exchange(m_active, nullptr);
        if (closing->portOpen() && !closing->setPortOpen(false))
            return takeError(*closing, port_error::DeviceNotAvailable, "The port could not be closed");
        return true;
    }
    if (portOpen())
        return fail(port_error::PortAlreadyOpen, "Port already open");
    m_active = nullptr;  // a backend that closed by itself (device gone) is let go
    if (m_commPort < kFirstPort || m_commPort > kLastPort)
        return fail(port_error::InvalidPortNumber,
                    "Invalid port number " + std::to_string(m_commPort) + " (ports 1 to 16 can be used)");

    const std::string dev = m_ports.deviceForPort(m_commPort);
    auto found = m_backends.find(dev);
    if (found == m_backends.end()) {
        PortError error;
        std::unique_ptr<SerialPort> made = m_factory ? m_factory(dev, error) : nullptr;
        if (!made) {
            std::string text = error.description.empty() ? "No port available for " + dev : error.description;
            if (const std::string line = m_ports.describePort(m_commPort); !line.empty())
                text += " (" + line + ")";
            return fail(error.number != 0 ? error.number : port_error::DeviceNotAvailable, text,
                        error.source.empty() ? "MSComm1" : error.source);
        }
        found = m_backends.emplace(dev, std::move(made)).first;
    }
    SerialPort& backend = *found->second;
    if (!applyProperties(backend))
        return false;
    if (!backend.setPortOpen(true)) {
        takeError(backend, port_error::DeviceNotAvailable, "Cannot open " + dev);
        if (const std::string line = m_ports.describePort(m_commPort); !line.empty()) {
            PortError e = lastError();
            fail(e.number, e.description + " (" + line + ")", e.source);
        }
        return false;
    }
    m_active = &backend;
    return true;
}

bool DevicePort::output(const std::string& bytes)
{
    SerialPort* p = openBackend();
    if (!p)
        return false;
    return p->output(bytes) || takeError(*p, port_error::WriteFailed, "Writing to the port failed");
}

std::string DevicePort::input()
{
    SerialPort* p = openBackend();
    if (!p)
        return {};
    p->clearError();
    std::string bytes = p->input();
    if (p->errorPending())
        takeError(*p, port_error::ReadFailed, "Reading from the port failed");
    return bytes;
}

int DevicePort::inBufferCount()
{
    SerialPort* p = openBackend();
    if (!p)
        return 0;
    p->clearError();
    const int count = p->inBufferCount();
    if (p->errorPending())
        takeError(*p, port_error::ReadFailed, "Reading from the port failed");
    return count;
}

bool DevicePort::clearInBuffer()
{
    SerialPort* p = openBackend();
    if (!p)
        return false;
    return p->clearInBuffer() || takeError(*p, port_error::ReadFailed, "Cannot empty the receive buffer");
}

int DevicePort::outBufferCount()
{
    SerialPort* p = openBackend();
    if (!p)
        return 0;
    p->clearError();
    const int count = p->outBufferCount();
    if (p->errorPending())
        takeError(*p, port_error::WriteFailed, "Cannot count the waiting output");
    return count;
}

bool DevicePort::clearOutBuffer()
{
    SerialPort* p = openBackend();
    if (!p)
        return false;
    return p->clearOutBuffer() || takeError(*p, port_error::WriteFailed, "Cannot empty the transmit buffer");
}

bool DevicePort::setRTSEnable(bool on)
{
    m_rts = on;
    if (!portOpen())
        return true;
    return m_active->setRTSEnable(on) || takeError(*m_active, port_error::LineControlFailed, "RTS cannot be set");
}

bool DevicePort::setDTREnable(bool on)
{
    m_dtr = on;
    if (!portOpen())
        return true;
    return m_active->setDTREnable(on) || takeError(*m_active, port_error::LineControlFailed, "DTR cannot be set");
}

bool DevicePort::setHandshaking(int mode)
{
    if (mode < 0 || mode > 3)
        return fail(port_error::InvalidValue, "Invalid property value: Handshaking");
    if (portOpen() && !m_active->setHandshaking(mode))
        return takeError(*m_active, port_error::InvalidValue, "Handshaking cannot be set");
    m_handshaking = mode;
    return true;
}

bool DevicePort::cdHolding()
{
    SerialPort* p = openBackend();
    return p != nullptr && p->cdHolding();
}

bool DevicePort::ctsHolding()
{
    SerialPort* p = openBackend();
    return p != nullptr && p->ctsHolding();
}

bool DevicePort::dsrHolding()
{
    SerialPort* p = openBackend();
    return p != nullptr && p->dsrHolding();
}

bool DevicePort::reopenIfDropped()
{
    if (m_active == nullptr)
        return true;  // closed by the program, or never opened
    if (m_active->portOpen()) {
        m_active->inBufferCount();  // reads nothing away; a closed connection shows now
        m_active->clearError();
        if (m_active->portOpen())
            return true;
    }
    SerialPort& backend = *m_active;
    if (!applyProperties(backend))
        return false;
    backend.clearError();
    if (!backend.setPortOpen(true))
        return takeError(backend, port_error::DeviceNotAvailable, "Cannot open " + m_ports.deviceForPort(m_commPort));
    return true;
}

std::vector<int> DevicePort::pollEvents()
{
    // A backend that dropped by itself still hands over what it noticed as it went.
    if (m_active != nullptr && !m_active->portOpen())
        return m_active->pollEvents();
    if (!portOpen())
        return {};
    m_active->clearError();
    std::vector<int> events = m_active->pollEvents();
    if (m_active->errorPending())
        takeError(*m_active, port_error::ReadFailed, "Reading from the port failed");
    return events;
}

// The reporting properties are kept here and, while open, passed on.
bool DevicePort::setRThreshold(int n)
{
    if (!SerialPort::setRThreshold(n))
        return false;
    return !portOpen() || m_active->setRThreshold(n) ||
           takeError(*m_active, port_error::InvalidValue, "Invalid property value: RThreshold");
}

bool DevicePort::setSThreshold(int n)
{
    if (!SerialPort::setSThreshold(n))
        return false;
    return !portOpen() || m_active->setSThreshold(n) ||
           takeError(*m_active, port_error::InvalidValue, "Invalid property value: SThreshold");
}

bool DevicePort::setInputLen(int n)
{
    if (!SerialPort::setInputLen(n))
        return false;
    return !portOpen() || m_active->setInputLen(n) ||
           takeError(*m_active, port_error::InvalidValue, "Invalid property value: InputLen");
}

bool DevicePort::setParityReplace(const std::string& c)
{
    if (!SerialPort::setParityReplace(c))
        return false;
    return !portOpen() || m_active->setParityReplace(c) ||
           takeError(*m_active, port_error::InvalidValue, "Invalid property value: ParityReplace");
}

bool DevicePort::setInterval(int ms)
{
    if (!SerialPort::setInterval(ms))
        return false;
    return !portOpen() || m_active->setInterval(ms) ||
           takeError(*m_active, port_error::InvalidValue, "Invalid property value: Interval");
}

}  // namespace puolukka
