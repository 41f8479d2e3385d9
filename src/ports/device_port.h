#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ports/ports_ini.h"
#include "ports/serial_port.h"

namespace puolukka {

// The program's one serial port, MSComm1. It keeps every property while the
// port is closed and hands them to the device when the port opens; the device
// of port number n comes from ports.ini (PortsMap). While open, everything is
// forwarded to the device's port object (the backend), whose failures are
// copied into this port's own error.
//
// Backends are made once per device text and kept for the port's lifetime, so
// a device with state of its own (the virtual card) keeps it across a close
// and reopen, as the convention switch does.
class DevicePort : public SerialPort {
public:
    // Makes the port object for a device text; on failure returns nullptr and fills error.
    using Factory = std::function<std::unique_ptr<SerialPort>(const std::string& device, PortError& error)>;

    static constexpr int kFirstPort = 1;
    static constexpr int kLastPort = 16;

    // Reads ports.ini from startDirectory.
    DevicePort(Factory factory, const std::string& startDirectory);
    DevicePort(Factory factory, PortsMap ports);

    // The device that port number n stands for ("/dev/ttyS0", "virtual", ...).
    std::string device(int n) const { return m_ports.deviceForPort(n); }
    PortsMap& ports() { return m_ports; }
    // Takes a new mapping (ports.ini written anew). An open port whose device
    // changed is closed and opened on the new device; false when that fails,
    // with the port closed and the failure recorded.
    bool setPorts(PortsMap ports);
    // The backend in use while open, nullptr while closed.
    SerialPort* backend() const { return m_active; }

    bool setSettings(const std::string& text) override;
    std::string settings() const override { return m_settings; }
    bool setCommPort(int number) override;
    int commPort() const override { return m_commPort; }
    bool setPortOpen(bool open) override;
    bool portOpen() const override;

    bool output(const std::string& bytes) override;
    std::string input() override;
    int inBufferCount() override;
    bool clearInBuffer() override;
    int outBufferCount() override;
    bool clearOutBuffer() override;

    bool setRTSEnable(bool on) override;
    bool rtsEnable() const override { return m_rts; }
    bool setDTREnable(bool on) override;
    bool dtrEnable() const override { return m_dtr; }
    bool setHandshaking(int mode) override;
    int handshaking() const override { return m_handshaking; }

    bool cdHolding() override;
    bool ctsHolding() override;
    bool dsrHolding() override;

    std::vector<int> pollEvents() override;
    // The backend that dropped by itself (still chosen, no longer open) is opened
    // again with every property. A backend still open is first asked for its
    // waiting bytes, which lets a network port notice a connection that closed.
    bool reopenIfDropped() override;
    // The open device's answer; false while closed.
    bool deliversLogicalBytes() const override { return m_active && m_active->deliversLogicalBytes(); }
    long long flaggedCharacters() const override { return m_active ? m_active->flaggedCharacters() : 0; }

    bool setRThreshold(int n) override;
    bool setSThreshold(int n) override;
    bool setInputLen(int n) override;
    bool setParityReplace(const std::string& c) override;
    bool setInterval(int ms) override;

private:
    // The open backend, or nullptr after recording PortNotOpen.
    SerialPort* openBackend();
    // Copies the backend's error into ours and returns false.
    bool takeError(const SerialPort& from, int fallbackNumber, const std::string& fallbackText);
    bool applyProperties(SerialPort& backend);

    Factory m_factory;
    PortsMap m_ports;
    std::map<std::string, std::unique_ptr<SerialPort>> m_backends;
    SerialPort* m_active = nullptr;

    int m_commPort = 0;  // none chosen yet: the settings file names it
    std::string m_settings = "9600,N,8,1";
    bool m_rts = false;
    bool m_dtr = false;
    int m_handshaking = 0;
};

}  // namespace puolukka
