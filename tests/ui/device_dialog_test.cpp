#include "ui/device_dialog.h"
#include "ui_fixture.h"

#include "ports/device_port.h"

namespace puolukka {
namespace {

// The device dialog over a port whose devices are scripted, in a folder of its own.
struct DeviceDialogTest : test::AppTest<> {
    DevicePort devices{[this](const std::string& device, PortError&) -> std::unique_ptr<SerialPort> {
                           opened.push_back(device);
                           return std::make_unique<test::ScriptedPort>(clock);
                       },
                       portsWith("COM1 = virtual:card.json\n")};
    std::vector<std::string> opened;

    static PortsMap portsWith(const std::string& text)
    {
        PortsMap ports;
        ports.parse(text);
        return ports;
    }
    static DeviceRoots withReader()
    {
        DeviceRoots roots;
        roots.pcscReaders = [](std::vector<PcscReader>& r) { return r = {{"Virtual PCD 00 00", true}}, true; };
        return roots;
    }
    QComboBox* combo(int n, DeviceDialog& d) { return d.findChild<QComboBox*>(QStringLiteral("ComDevice%1Choice").arg(n)); }
};

TEST_F(DeviceDialogTest, ShowsEachPortsDeviceAndWritesOnlyWhatWasChosen)
{
    ASSERT_TRUE(devices.setCommPort(1) && devices.setPortOpen(true));
    DeviceDialog dialog(devices, dir.string(), nullptr, withReader());
    QStringList shown;
    for (int n = 1; n <= 4; ++n)
        shown << combo(n, dialog)->currentText();
    EXPECT_EQ(shown.join(' '), "virtual:card.json /dev/ttyS1 /dev/ttyS2 /dev/ttyS3");
    combo(1, dialog)->setCurrentText("virtual");
    combo(3, dialog)->setCurrentText("rfc2217://127.0.0.1:7000");
    combo(4, dialog)->setCurrentIndex(combo(4, dialog)->findText("pcsc:Virtual PCD 00 00"));
    dialog.findChild<QPushButton*>("OKButton")->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    // Ports left on their default get no line; the open port is on its new device at once.
    EXPECT_EQ(test::fileBytes(dir / "ports.ini"), "COM1 = virtual\nCOM3 = rfc2217://127.0.0.1:7000\nCOM4 = pcsc:Virtual PCD 00 00\n");
    EXPECT_EQ(opened, (std::vector<std::string>{"virtual:card.json", "virtual"}));
    EXPECT_TRUE(devices.portOpen());
}

TEST_F(DeviceDialogTest, TheSettingsDialogsButtonOpensItAndShowsTheNewDevices)
{
    std::string com2 = "/dev/ttyS1";
    QPointer<ConfigScrn> settings;
    int asked = 0;
    MSettings_Click(
        app, settings, nullptr, [&com2](int n) { return n == 2 ? com2 : std::string(); },
        [&](QWidget*) { return ++asked, com2 = "/dev/ttyUSB0", true; });
    ASSERT_TRUE(settings);
    auto* button = settings->findChild<QPushButton*>("DevicesButton");
    ASSERT_TRUE(button);
    button->click();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(settings->findChild<QLabel*>("ComDevice2")->text(), "(/dev/ttyUSB0)");
    settings->close();
    test::flushDeletes();
}

}  // namespace
}  // namespace puolukka
