#include <grp.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "ports/device_list.h"
#include "ports/device_port.h"
#include "ports/posix_serial_port.h"
#include "scripted_port.h"

namespace puolukka {
namespace {

namespace fs = std::filesystem;

struct MachineFolder {
    fs::path root = fs::path(::testing::TempDir()) / ("puolukka_devices_" + std::to_string(::getpid()));
    MachineFolder() { fs::remove_all(root), fs::create_directories(root / "dev" / "serial" / "by-id"); }
    ~MachineFolder() { fs::remove_all(root); }
    void file(const fs::path& path, const std::string& text = "")
    {
        fs::create_directories((root / path).parent_path());
        std::ofstream(root / path) << text;
    }
    // A machine without PC/SC service unless a test gives readers.
    DeviceRoots roots(std::function<bool(std::vector<PcscReader>&)> pcsc = [](auto&) { return false; }) const
    {
        return {(root / "dev").string(), (root / "sys").string(), std::move(pcsc)};
    }
};

TEST(DeviceList, ListsTheSerialPortsThatAreThereInNumberOrder)
{
    MachineFolder m;
    // The kernel makes ttyS nodes for UARTs that are not there: only a nonzero sysfs type counts.
    for (const char* node : {"ttyS0", "ttyS1", "ttyS10", "ttyS2", "ttyUSB10", "ttyUSB2", "ttyACM0", "tty0", "ttyUSBx"})
        m.file(fs::path("dev") / node);
    m.file("sys/ttyS0/type", "4\n");
    m.file("sys/ttyS1/type", "0\n");
    m.file("sys/ttyS10/type", "4\n");
    fs::create_symlink("../../ttyUSB2", m.root / "dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0");

    std::vector<std::string> listed;
    for (const DeviceChoice& d : deviceChoices(m.roots()))
        listed.push_back(fs::path(d.device).lexically_relative(m.root / "dev").generic_string() + " " + d.kind +
                         d.problem);
    const std::vector<std::string> expected = {
        "ttyS0 Sarjaportti",
        "ttyS10 Sarjaportti",
        "ttyUSB2 USB-sarjasovitin",
        "ttyUSB10 USB-sarjasovitin",
        "ttyACM0 USB-sarjalaite (ACM)",
        "serial/by-id/usb-FTDI_FT232R_A1-if00-port0 USB-sarjasovitin (ttyUSB2)",
    };
    ASSERT_GE(listed.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(listed.begin(), listed.begin() + long(expected.size())), expected);
}

// A PC/SC reader is offered by its whole name; without service or reader the one "pcsc" row says what is missing.
TEST(DeviceList, PcscReadersAreListedByNameWithWhetherTheyHoldACard)
{
    const std::vector<PcscReader> two = {{"Gemalto PC Twin Reader 00 00", false}, {"Virtual PCD 00 01", true}};
    struct Case {
        bool answers;
        std::vector<PcscReader> readers;
        std::vector<std::string> listed;
    } cases[] = {
        {false, {}, {"pcsc PC/SC-lukija (palvelu pcscd ei vastaa: asenna pcscd)"}},
        {true, {}, {"pcsc PC/SC-lukija (yhtään lukijaa ei ole kytketty)"}},
        {true, two,
         {"pcsc Ensimmäinen PC/SC-lukija, jossa on kortti",
          "pcsc:Gemalto PC Twin Reader 00 00 PC/SC-lukija, ei korttia",
          "pcsc:Virtual PCD 00 01 PC/SC-lukija, kortti paikalla"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> listed;
        for (const DeviceChoice& d : pcscChoices(c.answers, c.readers))
            listed.push_back(d.device + " " + d.kind + d.problem);
        EXPECT_EQ(listed, c.listed);
    }
    // They follow the serial ports and come before the virtual kinds.
    MachineFolder m;
    m.file("dev/ttyUSB0");
    std::vector<std::string> devices;
    for (const DeviceChoice& d : deviceChoices(m.roots([&two](std::vector<PcscReader>& r) { return r = two, true; })))
        devices.push_back(d.device[0] == '/' ? "serial" : d.device);
    EXPECT_EQ(devices, (std::vector<std::string>{"serial", "pcsc", "pcsc:Gemalto PC Twin Reader 00 00",
                                                 "pcsc:Virtual PCD 00 01", "virtual", "virtual:card.json",
                                                 "rfc2217://"}));
}

TEST(DeviceList, APermissionProblemSaysWhichGroupToJoin)
{
    EXPECT_EQ(permissionHint("/dev/ttyUSB0", "dialout", "aino"),
              "Ei käyttöoikeutta laitteeseen /dev/ttyUSB0: se kuuluu ryhmään dialout. Lisää käyttäjä ryhmään "
              "(sudo adduser aino dialout) ja kirjaudu ulos ja uudelleen sisään.");
    EXPECT_EQ(permissionHint("/dev/ttyS0", "root", "aino").find("adduser"), std::string::npos);  // root's group
    for (const char* device : {"virtual", "virtual:card.json", "rfc2217://h:7000", ""})
        EXPECT_EQ(accessProblem(device), "") << device;
}

// As user nobody on a terminal of group dialout, the list and the port's error both name group and command.
TEST(DeviceList, AUserOutsideTheGroupIsToldWhichGroupToJoin)
{
    const group* dialout = ::getgrnam("dialout");
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || !dialout || !nobody)
        GTEST_SKIP() << "needs root, the group dialout and the user nobody";
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    ASSERT_EQ(::chown(name, 0, dialout->gr_gid), 0);
    ASSERT_EQ(::chmod(name, 0660), 0);
    const gid_t nobodyGroup = nobody->pw_gid;
    const uid_t nobodyUser = nobody->pw_uid;
    const std::string hint = permissionHint(name, "dialout", "nobody");
    const std::string expected = hint + "|Cannot open " + name + ": Permission denied\n" + hint;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(nobodyGroup) != 0 || ::setuid(nobodyUser) != 0)
            ::_exit(2);
        PosixSerialPort port(name);
        const bool failed = !port.setPortOpen(true);
        ::_exit(failed && accessProblem(name) + "|" + port.lastError().description == expected ? 0 : 3);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(slave), ::close(master);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the messages differ from: " << expected;
}

// A ports.ini written anew takes effect at once: the open port moves to the new device.
TEST(DeviceList, AppliedChoicesAreWrittenAndTheOpenPortMovesToTheNewDevice)
{
    MachineFolder m;
    VirtualClock clock;
    std::vector<std::string> made;
    PortsMap first;
    first.parse("COM1 = virtual\n");
    DevicePort port(
        [&](const std::string& device, PortError& error) -> std::unique_ptr<SerialPort> {
            if (device == "/dev/gone")
                return error = PortError{port_error::DeviceNotAvailable, "MSComm1", "Cannot open /dev/gone"}, nullptr;
            made.push_back(device);
            return std::make_unique<test::ScriptedPort>(clock);
        },
        std::move(first));
    ASSERT_TRUE(port.setCommPort(1) && port.setPortOpen(true));

    std::string error;
    ASSERT_TRUE(applyPortChoices(port, m.root.string(), {{1, "virtual:card.json"}, {2, "/dev/ttyUSB0"}}, &error))
        << error;
    EXPECT_TRUE(port.portOpen());
    EXPECT_EQ(made, (std::vector<std::string>{"virtual", "virtual:card.json"}));
    EXPECT_EQ(port.device(2), "/dev/ttyUSB0");
    ASSERT_TRUE(applyPortChoices(port, m.root.string(), {{2, ""}}, &error)) << error;
    EXPECT_EQ(made.size(), 2u);
    EXPECT_EQ(port.device(2), "/dev/ttyS1");

    EXPECT_TRUE(applyPortChoices(port, m.root.string(), {{1, "/dev/gone"}}, &error));
    EXPECT_EQ(error, "Cannot open /dev/gone (ports.ini line 1: COM1 = /dev/gone)");
    EXPECT_FALSE(port.portOpen());
    PortsMap written;
    ASSERT_TRUE(written.load(m.root.string()));
    EXPECT_EQ(written.deviceForPort(1), "/dev/gone");  // the choice is kept; the user sees why it failed
    EXPECT_FALSE(applyPortChoices(port, (m.root / "none").string(), {{1, "virtual"}}, &error));
    EXPECT_EQ(port.device(1), "/dev/gone");
}

}  // namespace
}  // namespace puolukka
