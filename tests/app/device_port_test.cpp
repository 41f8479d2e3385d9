#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <map>
#include <memory>

#include "app/clock.h"
#include "app/device_port.h"
#include "app/port_factory.h"
#include "scripted_port.h"

namespace puolukka {
namespace {

using test::ScriptedPort;

// Hands out scripted ports and keeps a pointer to each, per device text.
struct FakeDevices {
    VirtualClock clock;
    std::map<std::string, ScriptedPort*> made;
    std::map<std::string, PortError> refuse;  // devices the factory cannot make
    int calls = 0;

    DevicePort::Factory factory()
    {
        return [this](const std::string& device, PortError& error) -> std::unique_ptr<SerialPort> {
            ++calls;
            if (const auto it = refuse.find(device); it != refuse.end()) {
                error = it->second;
                return nullptr;
            }
            auto port = std::make_unique<ScriptedPort>(clock);
            made[device] = port.get();
            return port;
        };
    }
};

PortsMap mapOf(std::initializer_list<std::pair<int, std::string>> lines)
{
    PortsMap ports;
    for (const auto& [n, device] : lines)
        ports.set(n, device);
    return ports;
}

TEST(DevicePort, PropertiesAreKeptWhileClosedAndAppliedOnOpen)
{
    FakeDevices devices;
    DevicePort port(devices.factory(), mapOf({{2, "virtual"}}));
    EXPECT_FALSE(port.portOpen());
    EXPECT_EQ(port.commPort(), 0);
    ASSERT_TRUE(port.setSettings("9600,E,8,1"));
    ASSERT_TRUE(port.setCommPort(2));
    ASSERT_TRUE(port.setRTSEnable(true));
    ASSERT_TRUE(port.setDTREnable(false));
    ASSERT_TRUE(port.setHandshaking(2));
    ASSERT_TRUE(port.setRThreshold(1));
    ASSERT_TRUE(port.setSThreshold(1));
    ASSERT_TRUE(port.setInputLen(3));
    ASSERT_TRUE(port.setParityReplace(""));
    ASSERT_TRUE(port.setInterval(55));
    EXPECT_EQ(devices.calls, 0);  // nothing is made before the port opens

    ASSERT_TRUE(port.setPortOpen(true)) << port.lastError().description;
    ASSERT_EQ(devices.made.count("virtual"), 1u);
    ScriptedPort& backend = *devices.made["virtual"];
    EXPECT_TRUE(backend.portOpen());
    EXPECT_EQ(backend.settings(), "9600,E,8,1");
    EXPECT_TRUE(backend.rtsEnable());
    EXPECT_FALSE(backend.dtrEnable());
    EXPECT_EQ(backend.handshaking(), 2);
    EXPECT_EQ(backend.rThreshold(), 1);
    EXPECT_EQ(backend.sThreshold(), 1);
    EXPECT_EQ(backend.inputLen(), 3);
    EXPECT_EQ(backend.parityReplace(), "");
    EXPECT_EQ(backend.interval(), 55);
    EXPECT_EQ(port.backend(), &backend);

    // While open, changes go straight through.
    ASSERT_TRUE(port.setSettings("9600,O,8,1"));
    EXPECT_EQ(backend.settings(), "9600,O,8,1");
    ASSERT_TRUE(port.setInputLen(0));
    EXPECT_EQ(backend.inputLen(), 0);
    ASSERT_TRUE(port.output("\xA0"));
    EXPECT_EQ(backend.writes, std::vector<std::string>{"\xA0"});
}

TEST(DevicePort, ClosedPortRefusesTrafficButTakesProperties)
{
    FakeDevices devices;
    DevicePort port(devices.factory(), PortsMap{});
    EXPECT_FALSE(port.output("x"));
    EXPECT_EQ(port.lastError().number, port_error::PortNotOpen);
    EXPECT_EQ(port.lastError().source, "MSComm1");
    port.clearError();
    EXPECT_EQ(port.input(), "");
    EXPECT_EQ(port.lastError().number, port_error::PortNotOpen);
    EXPECT_EQ(port.inBufferCount(), 0);
    EXPECT_FALSE(port.clearInBuffer());
    EXPECT_FALSE(port.cdHolding());
    EXPECT_EQ(port.pollEvents(), std::vector<int>{});
    EXPECT_TRUE(port.setPortOpen(false));  // closing a closed port is no error

    EXPECT_FALSE(port.setSettings("9600,E,9,1"));
    EXPECT_EQ(port.lastError().number, port_error::InvalidSettings);
    EXPECT_EQ(port.settings(), "9600,N,8,1");
    EXPECT_FALSE(port.setHandshaking(7));
    EXPECT_EQ(port.lastError().number, port_error::InvalidValue);
    EXPECT_FALSE(port.setRThreshold(-1));
    EXPECT_EQ(port.rThreshold(), 0);
}

TEST(DevicePort, PortNumbersOutsideOneToSixteenAreRefused)
{
    FakeDevices devices;
    DevicePort port(devices.factory(), PortsMap{});
    for (int bad : {0, -1, 17}) {
        port.clearError();
        EXPECT_FALSE(port.setCommPort(bad)) << bad;
        EXPECT_EQ(port.lastError().number, port_error::InvalidPortNumber) << bad;
    }
    // No number yet (what a missing settings file gives): the port stays closed.
    EXPECT_FALSE(port.setPortOpen(true));
    EXPECT_EQ(port.lastError().number, port_error::InvalidPortNumber);
    EXPECT_EQ(devices.calls, 0);
    EXPECT_TRUE(port.setCommPort(16));
    EXPECT_EQ(port.commPort(), 16);
    EXPECT_EQ(port.device(16), "/dev/ttyS15");
}

TEST(DevicePort, CommPortCannotChangeWhileOpen)
{
    FakeDevices devices;
    DevicePort port(devices.factory(), mapOf({{1, "virtual"}}));
    ASSERT_TRUE(port.setCommPort(1));
    ASSERT_TRUE(port.setPortOpen(true));
    EXPECT_FALSE(port.setCommPort(2));
    EXPECT_EQ(port.lastError().number, port_error::PortAlreadyOpen);
    EXPECT_EQ(port.commPort(), 1);
    EXPECT_FALSE(port.setPortOpen(true));
    EXPECT_EQ(port.lastError().number, port_error::PortAlreadyOpen);
    ASSERT_TRUE(port.setPortOpen(false));
    EXPECT_TRUE(port.setCommPort(2));
}

TEST(DevicePort, BackendIsKeptAcrossCloseAndReopen)
{
    FakeDevices devices;
    DevicePort port(devices.factory(), mapOf({{1, "virtual"}, {2, "/dev/ttyUSB0"}}));
    ASSERT_TRUE(port.setCommPort(1));
    ASSERT_TRUE(port.setPortOpen(true));
    ScriptedPort* first = devices.made["virtual"];
    ASSERT_TRUE(port.setPortOpen(false));
    EXPECT_FALSE(first->portOpen());
    ASSERT_TRUE(port.setSettings("9600,O,8,1"));  // the convention switch: close, new parity, open
    ASSERT_TRUE(port.setPortOpen(true));
    EXPECT_EQ(devices.calls, 1);
    EXPECT_EQ(port.backend(), first);
    EXPECT_EQ(first->settings(), "9600,O,8,1");
    EXPECT_EQ(first->opens, 2);

    // Another number with another device makes a second backend; going back reuses the first.
    ASSERT_TRUE(port.setPortOpen(false));
    ASSERT_TRUE(port.setCommPort(2));
    ASSERT_TRUE(port.setPortOpen(true));
    EXPECT_EQ(devices.calls, 2);
    ASSERT_TRUE(port.setPortOpen(false));
    ASSERT_TRUE(port.setCommPort(1));
    ASSERT_TRUE(port.setPortOpen(true));
    EXPECT_EQ(devices.calls, 2);
    EXPECT_EQ(port.backend(), first);
}

TEST(DevicePort, OpenFailuresCarryTheBackendsError)
{
    FakeDevices devices;
    devices.refuse["/dev/ttyS0"] = PortError{port_error::DeviceNotAvailable, "MSComm1",
                                             "Cannot open /dev/ttyS0: No such file or directory"};
    PortsMap ports;
    ports.parse("COM3 /dev/ttyUSB1\nCOM2 = virtual\n");  // the first line is skipped
    DevicePort port(devices.factory(), std::move(ports));
    ASSERT_TRUE(port.setCommPort(1));
    EXPECT_FALSE(port.setPortOpen(true));
    EXPECT_FALSE(port.portOpen());
    EXPECT_EQ(port.lastError().number, port_error::DeviceNotAvailable);
    EXPECT_EQ(port.lastError().description.rfind("Cannot open /dev/ttyS0: No such file or directory", 0), 0u);
    EXPECT_NE(port.lastError().description.find("ports.ini line 1"), std::string::npos);

    // A failing factory is asked again next time (the adapter may have been plugged in).
    devices.refuse.clear();
    EXPECT_TRUE(port.setPortOpen(true));
    EXPECT_EQ(devices.calls, 2);

    // A backend that made but cannot open: its own error is reported.
    ASSERT_TRUE(port.setPortOpen(false));
    ASSERT_TRUE(port.setCommPort(2));
    ASSERT_TRUE(port.setPortOpen(true));
    ASSERT_TRUE(port.setPortOpen(false));
    devices.made["virtual"]->openError = PortError{port_error::DeviceNotAvailable, "VirtualReader", "card file broken"};
    EXPECT_FALSE(port.setPortOpen(true));
    EXPECT_EQ(port.lastError().source, "VirtualReader");
    EXPECT_NE(port.lastError().description.find("card file broken"), std::string::npos);
    EXPECT_FALSE(port.portOpen());
    EXPECT_FALSE(port.output("x"));
    EXPECT_EQ(port.lastError().number, port_error::PortNotOpen);
}

TEST(DevicePort, BackendFailuresWhileOpenAreCopied)
{
    FakeDevices devices;
    DevicePort port(devices.factory(), mapOf({{1, "virtual"}}));
    ASSERT_TRUE(port.setCommPort(1));
    ASSERT_TRUE(port.setPortOpen(true));
    devices.made["virtual"]->failWrites = true;
    EXPECT_FALSE(port.output("x"));
    EXPECT_EQ(port.lastError().number, port_error::WriteFailed);
    devices.made["virtual"]->events = {comm_event::Cd};
    devices.made["virtual"]->cd = true;
    EXPECT_EQ(port.pollEvents(), std::vector<int>{comm_event::Cd});
    EXPECT_TRUE(port.cdHolding());
}

TEST(BackendFactory, ChoosesTheBackendByDeviceText)
{
    VirtualClock clock;
    const auto factory = makeBackendFactory(clock, "/nonexistent-start-dir");
    PortError error;
    auto serial = factory("/dev/puolukka-none", error);
    ASSERT_NE(serial, nullptr);  // made now, fails when opened
    EXPECT_FALSE(serial->setPortOpen(true));
    EXPECT_NE(serial->lastError().description.find("/dev/puolukka-none"), std::string::npos);

    error = {};
    auto demo = factory("Virtual", error);
    ASSERT_NE(demo, nullptr) << error.description;

    error = {};
    EXPECT_EQ(factory("virtual:missing-card.json", error), nullptr);
    EXPECT_NE(error.description.find("/nonexistent-start-dir/missing-card.json"), std::string::npos)
        << error.description;
}

TEST(BackendFactory, SerialDeviceThroughThePortsMap)
{
    int master = -1;
    int slave = -1;
    char name[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    VirtualClock clock;
    DevicePort port(makeBackendFactory(clock, "."), mapOf({{3, name}}));
    EXPECT_EQ(port.device(3), name);
    ASSERT_TRUE(port.setSettings("9600,E,8,1"));
    ASSERT_TRUE(port.setCommPort(3));
    ASSERT_TRUE(port.setRTSEnable(true));  // a pseudo-terminal has no RTS, but opening still works
    ASSERT_TRUE(port.setPortOpen(true)) << port.lastError().description;
    EXPECT_FALSE(port.errorPending());
    ASSERT_TRUE(port.output("\xA0\xC0"));
    pollfd pfd{master, POLLIN, 0};
    ASSERT_GT(::poll(&pfd, 1, 2000), 0);
    char got[8] = {};
    EXPECT_EQ(::read(master, got, sizeof got), 2);
    EXPECT_EQ(std::string(got, 2), "\xA0\xC0");

    EXPECT_FALSE(port.setDTREnable(true));
    EXPECT_EQ(port.lastError().number, port_error::LineControlFailed);
    EXPECT_NE(port.lastError().description.find(name), std::string::npos);
    EXPECT_TRUE(port.portOpen());
    port.setPortOpen(false);
    ::close(master);
    ::close(slave);
}

}  // namespace
}  // namespace puolukka
