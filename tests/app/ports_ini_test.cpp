#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/ports_ini.h"

namespace puolukka {
namespace {

TEST(PortsMap, DefaultsToTheMachinesSerialPorts)
{
    const PortsMap ports;
    EXPECT_EQ(ports.deviceForPort(1), "/dev/ttyS0");
    EXPECT_EQ(ports.deviceForPort(4), "/dev/ttyS3");
    EXPECT_EQ(ports.deviceForPort(16), "/dev/ttyS15");
    EXPECT_EQ(ports.deviceForPort(0), "");
    EXPECT_EQ(ports.deviceForPort(-1), "");
}

TEST(PortsMap, ReadsLinesInEitherCaseWithCommentsAndLineEnds)
{
    PortsMap ports;
    ports.parse("\xEF\xBB\xBF# readers of this desk\r\n"
                "COM1 = /dev/ttyUSB0\r\n"
                "com2=virtual\n"
                "   Com3   =   virtual:card.json   \r\n"
                "; COM4 = /dev/ttyS9\n"
                "\n"
                "COM4 = rfc2217://localhost:7000\r\n"
                "COM12 = \"/dev/serial/by-id/usb-My Reader\"");
    EXPECT_TRUE(ports.warnings().empty());
    EXPECT_EQ(ports.deviceForPort(1), "/dev/ttyUSB0");
    EXPECT_EQ(ports.deviceForPort(2), "virtual");
    EXPECT_EQ(ports.deviceForPort(3), "virtual:card.json");
    EXPECT_EQ(ports.deviceForPort(4), "rfc2217://localhost:7000");
    EXPECT_EQ(ports.deviceForPort(5), "/dev/ttyS4");
    EXPECT_EQ(ports.deviceForPort(12), "/dev/serial/by-id/usb-My Reader");
}

TEST(PortsMap, SkipsLinesItCannotUseAndSaysWhich)
{
    PortsMap ports;
    ports.parse("COM1 /dev/ttyUSB0\nPORT2 = virtual\nCOM3 =\nCOMx = virtual\nCOM2 = virtual\n");
    EXPECT_EQ(ports.deviceForPort(1), "/dev/ttyS0");
    EXPECT_EQ(ports.deviceForPort(2), "virtual");
    EXPECT_EQ(ports.deviceForPort(3), "/dev/ttyS2");
    ASSERT_EQ(ports.warnings().size(), 4u);
    EXPECT_EQ(ports.warnings()[0].rfind("ports.ini line 1: ", 0), 0u) << ports.warnings()[0];
    EXPECT_EQ(ports.warnings()[2].rfind("ports.ini line 3: ", 0), 0u) << ports.warnings()[2];
}

TEST(PortsMap, LoadsFromTheStartDirectoryAndToleratesNoFile)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / "puolukka_ports_ini_test";
    fs::remove_all(dir);
    fs::create_directories(dir);

    PortsMap none;
    std::string error;
    EXPECT_TRUE(none.load(dir.string(), &error));
    EXPECT_EQ(none.deviceForPort(2), "/dev/ttyS1");

    std::ofstream(dir / "ports.ini", std::ios::binary) << "COM2 = virtual\r\n";
    PortsMap some;
    EXPECT_TRUE(some.load(dir.string(), &error));
    EXPECT_EQ(some.deviceForPort(2), "virtual");
    fs::remove_all(dir);
}

}  // namespace
}  // namespace puolukka
