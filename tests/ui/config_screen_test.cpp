#include "ui_fixture.h"

namespace puolukka {
namespace {

using test::fs::exists;

// A port that takes any parameter text or refuses handshaking, as real drivers differ there.
struct TestPort : test::ScriptedPort {
    using ScriptedPort::ScriptedPort;
    bool acceptAnySettings = false;
    bool refuseHandshaking = false;

    bool setSettings(const std::string& text) override { return acceptAnySettings || ScriptedPort::setSettings(text); }
    bool setHandshaking(int mode) override
    {
        return refuseHandshaking ? fail(port_error::InvalidValue, "Invalid property value: Handshaking")
                                 : ScriptedPort::setHandshaking(mode);
    }
};

const char kFileAsRead[] =
    "[ComSettings]\r\nComport = 1\r\nIRQ = 4\r\nWord_Length = 8\r\nParity = E\r\nStopBits = 1\r\n"
    "Baud_Rate = 9600\r\nHandShake = 0\r\nEcho = 0\r\n";

struct ConfigScrnTest : test::AppTest<TestPort> {
    ConfigScrnTest()
    {
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
    std::string fileText() { return test::fileBytes(app.SettingsPath); }
    bool checked(const char* name) { return dialog->findChild<QRadioButton*>(name)->isChecked(); }
    void click(const char* name) { dialog->findChild<QAbstractButton*>(name)->click(), test::flushDeletes(); }

    QPointer<ConfigScrn> dialog;
};

TEST_F(ConfigScrnTest, FormLoadMarksWhatMatches)
{
    using Marks = std::tuple<int, int, char, int, int, int, bool, int>;  // ..., echo on, TerminalEcho
    // Comport, IRQ, Word_Length, Parity, StopBits, Baud_Rate, HandShake, Echo
    const std::pair<PortSettings, Marks> cases[] = {
        {{" 2", "4", "7", "e", "2", "300", "3", "1"}, {2, 300, 'E', 7, 2, 3, true, -1}},
        {{"5", "", "9", "x", "3", "9601", " 1", ""}, {0, 0, 0, 0, 0, -1, false, 0}},
        {{"Com3", "", "8 ", "o", " 1", "2400x", "2", "0"}, {0, 2400, 'O', 8, 1, 2, false, 0}},
        {{"4", "", "8", "N", "1", "4800", "1", "99999"}, {4, 4800, 'N', 8, 1, 1, true, -1}},
    };
    for (const auto& [settings, marks] : cases) {
        SCOPED_TRACE(settings.Comport + "/" + settings.Parity + "/" + settings.Echo);
        app.settings = settings;
        app.card.ResetPolarity = 1;
        const config_scrn::OptionMarks m = config_scrn::Form_Load(app);
        EXPECT_EQ(Marks(m.comPort, m.baud, m.parity, m.dataBits, m.stopBits, m.handShake, m.echoOn,
                        app.TerminalEcho),
                  marks);
        EXPECT_EQ(m.inverseReset, false);  // a new dialog shows NOR while the polarity stays
        EXPECT_EQ(app.card.ResetPolarity, 1);
        EXPECT_EQ(app.settings.Parity + app.settings.Comport, settings.Parity + settings.Comport);  // unchanged
    }
}

TEST_F(ConfigScrnTest, OkWritesTheFileAndRefusalsComeBeforeWriting)
{
    ASSERT_TRUE(app.log.open((dir / "a.log").string(), nullptr));
    test::fs::remove(app.SettingsPath);
    app.settings.Parity = "e";  // refused: the scripted port wants upper case
    EXPECT_FALSE(config_scrn::OKButton_Click(app));
    app.settings.Parity = "E";
    port.refuseHandshaking = true;
    EXPECT_FALSE(config_scrn::OKButton_Click(app));
    port.refuseHandshaking = false;
    port.openError = PortError{port_error::DeviceNotAvailable, "MSComm1", "Device not available: COM2"};
    config_scrn::ComPort_Click(app, 2);
    EXPECT_FALSE(config_scrn::OKButton_Click(app));
    EXPECT_EQ(screen.messageTexts(), (std::vector<std::string>{"Invalid port settings: 9600,e,8,1",
                                                               "Invalid property value: Handshaking",
                                                               "Device not available: COM2"}));
    EXPECT_FALSE(port.commPort() != 1 || port.portOpen() || exists(app.SettingsPath));
    port.openError = {};
    port.setPortOpen(true);
    config_scrn::ComPort_Click(app, 1);
    port.opens = port.closes = 0;
    config_scrn::Baud_Click(app, 4800);  // only the speed: the port and the log stay open
    EXPECT_TRUE(config_scrn::OKButton_Click(app));
    EXPECT_EQ(port.closes + port.opens, 0);
    EXPECT_EQ(port.settings(), "4800,E,8,1");
    EXPECT_TRUE(app.log.isOpen());
    port.acceptAnySettings = true;  // values no option matches are written back as they are
    app.settings.Word_Length = "9";
    app.settings.Parity = "e";
    EXPECT_EQ(config_scrn::Form_Load(app).dataBits, 0);
    EXPECT_TRUE(config_scrn::OKButton_Click(app));
    EXPECT_NE(fileText().find("\r\nWord_Length = 9\r\nParity = e\r\n"), std::string::npos) << fileText();
    EXPECT_EQ(screen.boxes("message").size(), 3u);
}

// A port OK opens (it had vanished, or another one) may hold another card or one reset when its
// lines fell: the next operation resets it first instead of meeting 98 04. Settings alone keep it.
TEST_F(ConfigScrnTest, APortOkOpensAgainIsResetBeforeTheNextCardOperation)
{
    struct Row {
        const char* what;
        bool dropped;
        int comPort;
        int cardReady;
    };
    const Row rows[] = {{"the speed alone", false, 1, 1},
                        {"the port gone and opened by OK", true, 1, 0},
                        {"another port", false, 2, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        config_scrn::ComPort_Click(app, 1);
        ASSERT_TRUE(config_scrn::OKButton_Click(app));
        if (row.dropped)
            port.setPortOpen(false);
        app.card.CardReady = 1;
        config_scrn::ComPort_Click(app, row.comPort);
        config_scrn::Baud_Click(app, 4800);
        EXPECT_TRUE(config_scrn::OKButton_Click(app));
        EXPECT_TRUE(port.portOpen());
        EXPECT_EQ(app.card.CardReady, row.cardReady);
    }
}

TEST_F(ConfigScrnTest, WindowShowsEveryOptionMarkedOnLoadAndAppliesClicksAtOnce)
{
    app.settings.Comport = "2";
    MSettings_Click(app, dialog, nullptr, [](int n) { return n == 1 ? std::string("virtual:card.json") : ""; });
    ASSERT_TRUE(dialog && dialog->isVisible() && !dialog->isModal());
    QStringList marked;
    for (QRadioButton* button : dialog->findChildren<QRadioButton*>())
        if (button->isChecked())
            marked << button->objectName();
    marked.sort();
    EXPECT_EQ(marked.join(' '), "Baud96 ComPort2 Data8 EchoOff EvenParity NIFlag1 NoFlow Stop1");
    EXPECT_EQ(app.settings.Comport, "2");  // marking is not clicking

    for (const char* name : {"Baud24", "EchoOn", "NIFlag2"})
        click(name);
    EXPECT_EQ(app.settings.Baud_Rate + std::to_string(app.TerminalEcho) + std::to_string(app.card.ResetPolarity),
              "2400-11");
    MSettings_Click(app, dialog, nullptr, {});  // opening again brings the same dialog forward without reloading it
    EXPECT_TRUE(checked("Baud24"));
    click("CancelButton");
    EXPECT_FALSE(dialog);
    MSettings_Click(app, dialog, nullptr, {});
    port.refuseHandshaking = true;  // a port that refuses keeps the dialog open
    click("OKButton");
    ASSERT_TRUE(dialog && dialog->isVisible());
    port.refuseHandshaking = false;
    click("OKButton");
    EXPECT_FALSE(dialog);
}

}  // namespace
}  // namespace puolukka
