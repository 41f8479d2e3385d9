#include <gtest/gtest.h>

#include <map>

#include "ports/device_port.h"
#include "ports/port_factory.h"
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

    DevicePort port(const std::string& portsIni = "COM1 = virtual\nCOM2 = /dev/ttyUSB0\n")
    {
        PortsMap ports;
        ports.parse(portsIni);
        return DevicePort(
            [this](const std::string& device, PortError& error) -> std::unique_ptr<SerialPort> {
                ++calls;
                if (refuse.count(device))
                    return error = refuse[device], nullptr;
                auto port = std::make_unique<ScriptedPort>(clock);
                made[device] = port.get();
                return port;
            },
            std::move(ports));
    }
};

TEST(DevicePort, PropertiesAreKeptWhileClosedAndAppliedOnOpen)
{
    FakeDevices devices;
    DevicePort port = devices.port();
    ASSERT_TRUE(port.setSettings("9600,E,8,1") && port.setCommPort(1) && port.setRTSEnable(true) &&
                port.setDTREnable(false) && port.setHandshaking(2) && port.setRThreshold(1) && port.setSThreshold(1) &&
                port.setInputLen(3) && port.setParityReplace("") && port.setInterval(55));
    EXPECT_EQ(devices.calls, 0);  // nothing is made before the port opens
    ASSERT_TRUE(port.setPortOpen(true)) << port.lastError().description;
    ScriptedPort& backend = *devices.made.at("virtual");
    EXPECT_EQ(backend.settings() + "|" + backend.parityReplace(), "9600,E,8,1|");
    EXPECT_EQ(std::vector<int>({backend.portOpen(), backend.rtsEnable(), backend.dtrEnable(), backend.handshaking(),
                                backend.rThreshold(), backend.sThreshold(), backend.inputLen(), backend.interval()}),
              std::vector<int>({1, 1, 0, 2, 1, 1, 3, 55}));
    // While open, changes go straight through, and the backend's failures are copied.
    ASSERT_TRUE(port.setSettings("9600,O,8,1") && port.output("\xA0"));
    EXPECT_EQ(backend.settings(), "9600,O,8,1");
    EXPECT_EQ(backend.writes, std::vector<std::string>{"\xA0"});
    backend.failWrites = true;
    EXPECT_FALSE(port.output("x"));
    EXPECT_EQ(port.lastError().number, port_error::WriteFailed);
}

TEST(DevicePort, ClosedPortRefusesTrafficAndBadValuesAndKeepsOneBackendPerDevice)
{
    FakeDevices devices;
    DevicePort port = devices.port();
    EXPECT_FALSE(port.output("x"));
    EXPECT_EQ(port.lastError().number, port_error::PortNotOpen);
    EXPECT_FALSE(port.setSettings("9600,E,9,1"));
    EXPECT_EQ(port.settings(), "9600,N,8,1");
    EXPECT_FALSE(port.setCommPort(17) || port.setCommPort(0));
    // No number yet (what a missing settings file gives): the port stays closed.
    EXPECT_FALSE(port.setPortOpen(true));
    EXPECT_EQ(devices.calls, 0);
    ASSERT_TRUE(port.setCommPort(1) && port.setPortOpen(true));
    EXPECT_FALSE(port.setCommPort(2));
    ScriptedPort* first = devices.made["virtual"];
    // The convention switch (close, new parity, open) keeps the backend.
    ASSERT_TRUE(port.setPortOpen(false) && port.setSettings("9600,O,8,1") && port.setPortOpen(true));
    EXPECT_EQ(port.backend(), first);
    EXPECT_EQ(first->settings() + std::to_string(first->opens), "9600,O,8,12");
    // Another device makes a second backend; going back reuses the first.
    ASSERT_TRUE(port.setPortOpen(false) && port.setCommPort(2) && port.setPortOpen(true) && port.setPortOpen(false));
    ASSERT_TRUE(port.setCommPort(1) && port.setPortOpen(true));
    EXPECT_EQ(devices.calls, 2);
    EXPECT_EQ(port.backend(), first);
}

TEST(DevicePort, OpenFailuresCarryTheBackendsError)
{
    FakeDevices devices;
    devices.refuse["/dev/ttyS0"] = PortError{port_error::DeviceNotAvailable, "MSComm1", "Cannot open /dev/ttyS0"};
    DevicePort port = devices.port("COM3 /dev/ttyUSB1\nCOM2 = virtual\n");  // the first line is skipped
    ASSERT_TRUE(port.setCommPort(1));
    EXPECT_FALSE(port.setPortOpen(true));
    EXPECT_EQ(port.lastError().description.rfind("Cannot open /dev/ttyS0", 0), 0u);
    // A failing factory is asked again next time (the adapter may have been plugged in).
    devices.refuse.clear();
    EXPECT_TRUE(port.setPortOpen(true));
    EXPECT_EQ(devices.calls, 2);
    // A backend that was made but cannot open: its own error is reported.
    ASSERT_TRUE(port.setPortOpen(false) && port.setCommPort(2) && port.setPortOpen(true) && port.setPortOpen(false));
    devices.made["virtual"]->openError = PortError{port_error::DeviceNotAvailable, "VirtualReader", "card file broken"};
    EXPECT_FALSE(port.setPortOpen(true) || port.portOpen());
    EXPECT_NE(port.lastError().description.find("card file broken"), std::string::npos);
}

TEST(DevicePort, OpenFailuresNameTheLineOfTheirPort)
{
    const std::string ini = "COM3 /dev/ttyUSB1\nPORT4 = virtual\nCOM2 = /dev/ttyUSB0\nCOM5 =\n\nCOM6 = x\nCOM6 = /dev/b\n";
    const std::pair<int, std::string> rows[] = {
        {1, "Cannot open /dev/ttyS0 (ports.ini has no line for COM1; lines it could not use: 2)"},
        {2, "Cannot open /dev/ttyUSB0 (ports.ini line 3: COM2 = /dev/ttyUSB0)"},
        {3, "Cannot open /dev/ttyS2 (ports.ini line 1: no \"=\" in \"COM3 /dev/ttyUSB1\")"},
        {5, "Cannot open /dev/ttyS4 (ports.ini line 4: no device given for COM5)"},
        {6, "Cannot open /dev/b (ports.ini line 7: COM6 = /dev/b)"},  // the line that counts: the last
    };
    for (const auto& [number, description] : rows) {
        FakeDevices devices;
        for (const char* device : {"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyS2", "/dev/ttyS4", "/dev/b"})
            devices.refuse[device] = PortError{port_error::DeviceNotAvailable, "MSComm1", "Cannot open " + std::string(device)};
        DevicePort port = devices.port(ini);
        ASSERT_TRUE(port.setCommPort(number));
        EXPECT_FALSE(port.setPortOpen(true));
        EXPECT_EQ(port.lastError().description, description);
    }
    FakeDevices none;
    none.refuse["/dev/ttyS0"] = PortError{port_error::DeviceNotAvailable, "MSComm1", "Cannot open /dev/ttyS0"};
    DevicePort plain(none.port(""));
    EXPECT_TRUE(plain.setCommPort(1) && !plain.setPortOpen(true));
    EXPECT_EQ(plain.lastError().description, "Cannot open /dev/ttyS0 (ports.ini has no line for COM1)");
}

TEST(BackendFactory, AMissingCardFileIsNamedWithItsFolder)
{
    VirtualClock clock;
    PortError error;
    EXPECT_EQ(makeBackendFactory(clock, "/nonexistent-start-dir")("virtual:missing-card.json", error), nullptr);
    EXPECT_NE(error.description.find("/nonexistent-start-dir/missing-card.json"), std::string::npos);
}

}  // namespace
}  // namespace puolukka
