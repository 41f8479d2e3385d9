#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "ports/ports_ini.h"

namespace puolukka {
namespace {

TEST(PortsMap, ReadsLinesInEitherCaseWithComments)
{
    PortsMap ports;
    ports.parse("\xEF\xBB\xBF# readers of this desk\r\nCOM1 = /dev/ttyUSB0\r\ncom2=virtual\n"
                "   Com3   =   virtual:card.json   \r\n; COM4 = /dev/ttyS9\n\nCOM4 = rfc2217://localhost:7000\r\n"
                "COM12 = \"/dev/serial/by-id/usb-My Reader\"");
    EXPECT_TRUE(ports.warnings().empty());
    // Without a line, COM n is /dev/ttyS<n-1>; numbers below 1 have no device.
    const std::pair<int, std::string> rows[] = {
        {1, "/dev/ttyUSB0"}, {2, "virtual"}, {3, "virtual:card.json"}, {4, "rfc2217://localhost:7000"},
        {5, "/dev/ttyS4"},   {16, "/dev/ttyS15"}, {12, "/dev/serial/by-id/usb-My Reader"}, {0, ""}, {-1, ""}};
    for (const auto& [n, device] : rows)
        EXPECT_EQ(ports.deviceForPort(n), device) << n;
    // Unusable lines are skipped; the port-open messages name them (device_port_test).
}

TEST(PortsFile, UpdatesOnlyTheChosenPortsAndKeepsEverythingElse)
{
    using Devices = std::map<int, std::string>;
    const struct {
        const char* before;
        Devices devices;
        const char* after;
    } rows[] = {
        // A new file gets one line per chosen port.
        {"", {{1, "/dev/ttyUSB0"}, {2, "virtual"}}, "COM1 = /dev/ttyUSB0\nCOM2 = virtual\n"},
        // A port's line is replaced where it stands; comments, other ports and CR LF stay.
        {"# my desk\r\ncom1=virtual:card.json\r\n\r\nCOM3 = rfc2217://h:7000\r\n", {{1, "/dev/ttyACM0"}},
         "# my desk\r\ncom1 = /dev/ttyACM0\r\n\r\nCOM3 = rfc2217://h:7000\r\n"},
        // A later duplicate would override the new line when read, so it goes; a port
        // without a line is added at the end.
        {"COM2 = a\nCOM2 = b\n; COM4 = x\n", {{2, "virtual"}, {4, "/dev/ttyS1"}},
         "COM2 = virtual\n; COM4 = x\nCOM4 = /dev/ttyS1\n"},
        // An empty device gives the port back its default; unusable lines are kept for the user to see.
        {"COM1 = virtual\nCOM9 /dev/x\nCOM2 = virtual\n", {{1, ""}, {3, ""}}, "COM9 /dev/x\nCOM2 = virtual\n"},
    };
    for (const auto& row : rows) {
        const std::string after = updatedPortsText(row.before, row.devices);
        EXPECT_EQ(after, row.after) << row.before;
        // What the file now says is what was chosen.
        PortsMap read;
        read.parse(after);
        for (const auto& [n, device] : row.devices)
            EXPECT_EQ(read.assignedDevice(n), device) << row.before << " COM" << n;
    }
}

TEST(PortsFile, NoFileIsNoErrorAndAWrittenFileIsReadBackWhole)
{
    const auto dir = std::filesystem::path(::testing::TempDir()) / ("puolukka_ports_write_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    PortsMap none;
    EXPECT_TRUE(none.load(dir.string()));
    EXPECT_EQ(none.deviceForPort(2), "/dev/ttyS1");
    std::ofstream(dir / "ports.ini", std::ios::binary) << "# kept\r\nCOM1 = virtual\r\nCOM2 = virtual\r\n";
    std::string error;
    ASSERT_TRUE(writePortsFile(dir.string(), {{1, "/dev/ttyUSB1"}}, &error)) << error;
    PortsMap ports;
    ASSERT_TRUE(ports.load(dir.string()));
    EXPECT_EQ(ports.deviceForPort(1) + " " + ports.deviceForPort(2), "/dev/ttyUSB1 virtual");
    EXPECT_FALSE(std::filesystem::exists(dir / "ports.ini.tmp"));

    EXPECT_FALSE(writePortsFile((dir / "missing" / "folder").string(), {{1, "virtual"}}, &error));
    EXPECT_NE(error.find("ports.ini"), std::string::npos) << error;
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace puolukka
