#include "ui/config_screen.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

#include "app/app.h"
#include "scripted_port.h"
#include "scripted_screen.h"
#include "ui/port_settings.h"

namespace puolukka {
namespace {

namespace fs = std::filesystem;
using test::ScriptedPort;
using test::ScriptedScreen;

// The scripted port, made to take any parameter text (a lower-case parity
// letter too) or to refuse handshaking, as real drivers differ there.
class TestPort : public ScriptedPort {
public:
    using ScriptedPort::ScriptedPort;
    bool acceptAnySettings = false;
    bool refuseHandshaking = false;
    std::string lastSettings;

    bool setSettings(const std::string& text) override
    {
        if (acceptAnySettings) {
            lastSettings = text;
            return true;
        }
        const bool ok = ScriptedPort::setSettings(text);
        if (ok)
            lastSettings = text;
        return ok;
    }
    bool setHandshaking(int mode) override
    {
        if (refuseHandshaking)
            return fail(port_error::InvalidValue, "Invalid property value: Handshaking");
        return ScriptedPort::setHandshaking(mode);
    }
};

const char kFileAsRead[] =
    "[ComSettings]\r\nComport = 1\r\nIRQ = 4\r\nWord_Length = 8\r\nParity = E\r\nStopBits = 1\r\n"
    "Baud_Rate = 9600\r\nHandShake = 0\r\nEcho = 0\r\n";

class ConfigScrnTest : public ::testing::Test {
protected:
    ConfigScrnTest()
    {
        dir = fs::temp_directory_path() / ("puolukka_cfg_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        app.SettingsPath = (dir / "puolukka.ini").string();
        std::ofstream(app.SettingsPath, std::ios::binary) << kFileAsRead;
        const SettingsRead read = readSettingsFile(app.SettingsPath);
        app.SettingsHeader = read.SettingsHeader;
        app.settings = read.values;
        port.setSettings(portParameterText(app.settings));
        port.setCommPort(1);
        port.setPortOpen(true);
        port.opens = 0;
    }
    ~ConfigScrnTest() override { fs::remove_all(dir); }

    std::string fileText()
    {
        std::ifstream in(app.SettingsPath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    fs::path dir;
    VirtualClock clock;
    ScriptedScreen screen;
    TestPort port{clock};
    App app{screen, clock, port};
};

TEST_F(ConfigScrnTest, FormLoadMarksWhatMatches)
{
    struct Case {
        PortSettings settings;
        config_scrn::OptionMarks marks;
        int terminalEcho;
    };
    // Comport, IRQ, Word_Length, Parity, StopBits, Baud_Rate, HandShake, Echo
    const Case cases[] = {
        {{"1", "4", "8", "E", "1", "9600", "0", "0"}, {1, 9600, 'E', 8, 1, 0, false, false}, 0},
        {{" 2", "4", "7", "e", "2", "300", "3", "1"}, {2, 300, 'E', 7, 2, 3, true, false}, -1},
        {{"5", "", "9", "x", "3", "9601", " 1", ""}, {0, 0, 0, 0, 0, -1, false, false}, 0},
        {{"", "", "", "", "", "", "", "-1"}, {0, 0, 0, 0, 0, -1, true, false}, -1},
        {{"Com3", "", "8 ", "o", " 1", "2400x", "2", "0"}, {0, 2400, 'O', 8, 1, 2, false, false}, 0},
        {{"4", "", "8", "N", "1", "4800", "1", "99999"}, {4, 4800, 'N', 8, 1, 1, true, false}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings.Comport + "/" + c.settings.Parity + "/" + c.settings.Echo);
        app.settings = c.settings;
        app.card.ResetPolarity = 1;
        app.TerminalEcho = 7;
        const config_scrn::OptionMarks m = config_scrn::Form_Load(app);
        EXPECT_EQ(m.comPort, c.marks.comPort);
        EXPECT_EQ(m.baud, c.marks.baud);
        EXPECT_EQ(m.parity, c.marks.parity);
        EXPECT_EQ(m.dataBits, c.marks.dataBits);
        EXPECT_EQ(m.stopBits, c.marks.stopBits);
        EXPECT_EQ(m.handShake, c.marks.handShake);
        EXPECT_EQ(m.echoOn, c.marks.echoOn);
        EXPECT_FALSE(m.inverseReset);  // a new dialog shows NOR
        EXPECT_EQ(app.TerminalEcho, c.terminalEcho);
        EXPECT_EQ(app.card.ResetPolarity, 1);
        // Loading changes none of the values.
        EXPECT_EQ(app.settings.Parity, c.settings.Parity);
        EXPECT_EQ(app.settings.Comport, c.settings.Comport);
    }
}

TEST_F(ConfigScrnTest, OptionClicksSetExactlyTheirValues)
{
    config_scrn::ComPort_Click(app, 2);
    EXPECT_EQ(app.settings.Comport, " 2");
    config_scrn::Baud_Click(app, 1200);
    EXPECT_EQ(app.settings.Baud_Rate, "1200");
    config_scrn::Data_Click(app, 7);
    EXPECT_EQ(app.settings.Word_Length, "7");
    config_scrn::Stop_Click(app, 2);
    EXPECT_EQ(app.settings.StopBits, "2");
    config_scrn::Parity_Click(app, 'O');
    EXPECT_EQ(app.settings.Parity, "O");
    config_scrn::Flow_Click(app, 3);
    EXPECT_EQ(app.settings.HandShake, "3");
    config_scrn::EchoOn_Click(app);
    EXPECT_EQ(app.settings.Echo, "1");
    EXPECT_EQ(app.TerminalEcho, -1);
    config_scrn::EchoOff_Click(app);
    EXPECT_EQ(app.settings.Echo, "0");
    EXPECT_EQ(app.TerminalEcho, 0);
    config_scrn::NIFlag2_Click(app);
    EXPECT_EQ(app.card.ResetPolarity, 1);
    config_scrn::NIFlag1_Click(app);
    EXPECT_EQ(app.card.ResetPolarity, 0);
    EXPECT_EQ(app.settings.IRQ, "4");
}

TEST_F(ConfigScrnTest, ConfirmingUnchangedRewritesTheFileAsRead)
{
    fs::remove(app.SettingsPath);
    config_scrn::Form_Load(app);
    EXPECT_TRUE(config_scrn::OKButton_Click(app));
    EXPECT_EQ(fileText(), kFileAsRead);
    EXPECT_TRUE(screen.boxes("message").empty());
    EXPECT_EQ(port.closes, 0);
    EXPECT_EQ(port.rThreshold(), 1);
    EXPECT_EQ(port.sThreshold(), 1);
    EXPECT_EQ(port.inputLen(), 0);
}

TEST_F(ConfigScrnTest, SwitchingToCom2ReopensThePortAndWritesTwoBlanks)
{
    config_scrn::ComPort_Click(app, 2);
    EXPECT_TRUE(config_scrn::OKButton_Click(app));
    EXPECT_NE(fileText().find("\r\nComport =  2\r\n"), std::string::npos) << fileText();
    EXPECT_EQ(port.commPort(), 2);
    EXPECT_TRUE(port.portOpen());
    EXPECT_EQ(port.closes, 1);
    EXPECT_EQ(port.opens, 1);
}

TEST_F(ConfigScrnTest, PortThatCannotSwitchKeepsTheDialogAndTheOldNumber)
{
    port.openError = PortError{port_error::DeviceNotAvailable, "MSComm1", "Device not available: COM2"};
    config_scrn::ComPort_Click(app, 2);
    fs::remove(app.SettingsPath);
    EXPECT_FALSE(config_scrn::OKButton_Click(app));
    const auto boxes = screen.boxes("message");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Device not available: COM2");
    EXPECT_EQ(boxes[0].icon, Icon::Exclamation);
    EXPECT_EQ(boxes[0].title, "Puolukka");
    EXPECT_EQ(port.commPort(), 1);
    EXPECT_FALSE(port.portOpen());
    EXPECT_FALSE(fs::exists(app.SettingsPath));

    // Once the device is there, the next OK switches and opens the port.
    port.openError = {};
    EXPECT_TRUE(config_scrn::OKButton_Click(app));
    EXPECT_EQ(port.commPort(), 2);
    EXPECT_TRUE(port.portOpen());
}

TEST_F(ConfigScrnTest, ChangingOnlyTheSpeedKeepsThePortOpen)
{
    config_scrn::Baud_Click(app, 4800);
    EXPECT_TRUE(config_scrn::OKButton_Click(app));
    EXPECT_EQ(port.closes, 0);
    EXPECT_EQ(port.opens, 0);
    EXPECT_TRUE(port.portOpen());
    EXPECT_EQ(port.settings(), "4800,E,8,1");
}

TEST_F(ConfigScrnTest, UnmatchedValuesAreWrittenBackAsTheyAre)
{
    port.acceptAnySettings = true;
    app.settings.Word_Length = "9";
    app.settings.Parity = "e";
    const config_scrn::OptionMarks marks = config_scrn::Form_Load(app);
    EXPECT_EQ(marks.dataBits, 0);
    EXPECT_EQ(marks.parity, 'E');
    EXPECT_TRUE(config_scrn::OKButton_Click(app));
    EXPECT_EQ(port.lastSettings, "9600,e,9,1");
    EXPECT_NE(fileText().find("\r\nWord_Length = 9\r\nParity = e\r\n"), std::string::npos) << fileText();
}

TEST_F(ConfigScrnTest, RejectedParametersOrHandshakingStopBeforeWriting)
{
    fs::remove(app.SettingsPath);
    app.settings.Parity = "e";  // the scripted port wants upper case
    EXPECT_FALSE(config_scrn::OKButton_Click(app));
    ASSERT_EQ(screen.boxes("message").size(), 1u);
    EXPECT_EQ(screen.boxes("message")[0].text, "Invalid port settings: 9600,e,8,1");

    app.settings.Parity = "E";
    port.refuseHandshaking = true;
    EXPECT_FALSE(config_scrn::OKButton_Click(app));
    ASSERT_EQ(screen.boxes("message").size(), 2u);
    EXPECT_EQ(screen.boxes("message")[1].text, "Invalid property value: Handshaking");
    EXPECT_FALSE(fs::exists(app.SettingsPath));
}

TEST_F(ConfigScrnTest, FileOrOpenFailureGivesOneMessageAndCloses)
{
    app.SettingsPath = (dir / "missing" / "puolukka.ini").string();
    port.setPortOpen(false);  // closed by a line-error box, say
    port.openError = PortError{port_error::DeviceNotAvailable, "MSComm1", "Device not available"};
    EXPECT_TRUE(config_scrn::OKButton_Click(app));
    ASSERT_EQ(screen.boxes("message").size(), 1u);
    EXPECT_EQ(screen.boxes("message")[0].text, "Device not available");  // the last failure
    EXPECT_EQ(port.rThreshold(), 1);

    screen.clearTranscript();
    port.openError = {};
    EXPECT_TRUE(config_scrn::OKButton_Click(app));  // the file still fails; the port opens
    ASSERT_EQ(screen.boxes("message").size(), 1u);
    EXPECT_NE(screen.boxes("message")[0].text.find("missing"), std::string::npos);
    EXPECT_TRUE(port.portOpen());
}

TEST_F(ConfigScrnTest, ConfirmingLeavesAnOpenLogReceiving)
{
    const std::string logPath = (dir / "a.log").string();
    ASSERT_TRUE(app.log.open(logPath, nullptr));
    EXPECT_TRUE(config_scrn::OKButton_Click(app));
    EXPECT_TRUE(app.log.isOpen());
    EXPECT_TRUE(app.log.write("x", nullptr));
    app.log.close();
    EXPECT_EQ(fs::file_size(logPath), 1u);
}

// ---------------------------------------------------------------- the window

const std::map<QString, QString> kCaptions = {
    {"ComPort1", "Com1"}, {"ComPort2", "Com2"}, {"ComPort3", "Com3"}, {"ComPort4", "Com4"},
    {"Baud3", "300"}, {"Baud6", "600"}, {"Baud12", "1200"}, {"Baud24", "2400"}, {"Baud48", "4800"},
    {"Baud96", "9600"}, {"Data7", "7"}, {"Data8", "8"}, {"Stop1", "1"}, {"Stop2", "2"},
    {"NoParity", "None"}, {"OddParity", "Odd"}, {"EvenParity", "Even"}, {"NoFlow", "None"},
    {"XonFlow", "Xon/Xoff"}, {"RTSFlow", "RTS"}, {"BothFlow", "Xon/RTS"}, {"EchoOff", "Y"},
    {"EchoOn", "N"}, {"NIFlag1", "NOR"}, {"NIFlag2", "INV"},
};

QRadioButton* option(QWidget* dialog, const char* name) { return dialog->findChild<QRadioButton*>(name); }

void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

TEST_F(ConfigScrnTest, WindowHasEveryOptionWithItsCaption)
{
    ConfigScrn dialog(app, [](int n) { return n == 1 ? std::string("virtual:card.json") : std::string(); });
    dialog.setAttribute(Qt::WA_DeleteOnClose, false);
    EXPECT_EQ(dialog.windowTitle(), "Asetukset");
    EXPECT_FALSE(dialog.isModal());
    for (const auto& [name, caption] : kCaptions) {
        auto* button = dialog.findChild<QRadioButton*>(name);
        ASSERT_NE(button, nullptr) << name.toStdString();
        EXPECT_EQ(button->text(), caption) << name.toStdString();
        EXPECT_FALSE(button->isChecked());
    }
    QStringList frames;
    for (auto* frame : dialog.findChildren<QGroupBox*>())
        frames << frame->title();
    frames.sort();
    EXPECT_EQ(frames, (QStringList{"&Com-portti", "&Data Bits", "&Echo", "&Handshaking", "&Nopeus bps",
                                   "&Parity", "&Reset", "&Stop Bits"}));
    EXPECT_EQ(dialog.findChild<QPushButton*>("OKButton")->text(), "&OK");
    EXPECT_EQ(dialog.findChild<QPushButton*>("CancelButton")->text(), "&Peruuta");
    EXPECT_EQ(dialog.findChild<QLabel*>("ComDevice1")->text(), "(virtual:card.json)");
    EXPECT_EQ(dialog.findChild<QLabel*>("ComDevice2")->text(), "");
}

TEST_F(ConfigScrnTest, WindowMarksOnLoadAndAppliesClicksAtOnce)
{
    app.settings.Comport = "2";
    QPointer<ConfigScrn> dialog;
    MSettings_Click(app, dialog, nullptr, {});
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(option(dialog, "ComPort2")->isChecked());
    EXPECT_TRUE(option(dialog, "Baud96")->isChecked());
    EXPECT_TRUE(option(dialog, "EvenParity")->isChecked());
    EXPECT_TRUE(option(dialog, "Data8")->isChecked());
    EXPECT_TRUE(option(dialog, "Stop1")->isChecked());
    EXPECT_TRUE(option(dialog, "NoFlow")->isChecked());
    EXPECT_TRUE(option(dialog, "EchoOff")->isChecked());
    EXPECT_TRUE(option(dialog, "NIFlag1")->isChecked());
    EXPECT_EQ(app.settings.Comport, "2");  // marking is not clicking

    option(dialog, "Baud24")->click();
    option(dialog, "EchoOn")->click();
    option(dialog, "NIFlag2")->click();
    EXPECT_EQ(app.settings.Baud_Rate, "2400");
    EXPECT_EQ(app.TerminalEcho, -1);
    EXPECT_EQ(app.card.ResetPolarity, 1);
    EXPECT_FALSE(option(dialog, "NIFlag1")->isChecked());

    // Opening again brings the same dialog forward without reloading it.
    ConfigScrn* first = dialog;
    app.settings.Baud_Rate = "9600";
    MSettings_Click(app, dialog, nullptr, {});
    EXPECT_EQ(dialog, first);
    EXPECT_TRUE(option(dialog, "Baud24")->isChecked());

    // Cancel closes; a new dialog shows NOR while the polarity stays inverted.
    dialog->findChild<QPushButton*>("CancelButton")->click();
    flushDeletes();
    EXPECT_FALSE(dialog);
    MSettings_Click(app, dialog, nullptr, {});
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(option(dialog, "NIFlag1")->isChecked());
    EXPECT_EQ(app.card.ResetPolarity, 1);

    dialog->findChild<QPushButton*>("OKButton")->click();
    flushDeletes();
    EXPECT_FALSE(dialog);
    EXPECT_NE(fileText().find("Baud_Rate = 9600"), std::string::npos);
}

TEST_F(ConfigScrnTest, WindowStaysOpenWhenThePortRefuses)
{
    port.refuseHandshaking = true;
    QPointer<ConfigScrn> dialog;
    MSettings_Click(app, dialog, nullptr, {});
    dialog->findChild<QPushButton*>("OKButton")->click();
    flushDeletes();
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(screen.boxes("message").size(), 1u);
    delete dialog;
}

}  // namespace
}  // namespace puolukka
