// The program with "COM1 = pcsc" against the virtual SIM behind a real pcscd,
// side by side with the serial virtual reader: the same screens, files and card.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/app.h"
#include "app/startup.h"
#include "card_fixture.h"
#include "chv/chv.h"
#include "filesystem/explorer.h"
#include "filesystem/selection.h"
#include "link/exchange.h"
#include "link/line_events.h"
#include "link/reset.h"
#include "phonebook/card_transfer.h"
#include "phonebook/phonebook_file.h"
#include "ports/device_list.h"
#include "ports/device_port.h"
#include "ports/pcsc_port.h"
#include "ports/port_factory.h"
#include "private_pcscd.h"
#include "scripted_screen.h"
#include "sim/card_description.h"

namespace puolukka::test {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

std::string fileBytes(const fs::path& path)
{
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

// A start folder holding puolukka.ini, ports.ini (COM1 = device) and card.json.
fs::path startFolder(const std::string& name, const std::string& device, const sim::CardDescription& card)
{
    const fs::path dir = fs::path(::testing::TempDir()) / ("puolukka_pcsc_" + name + "_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "puolukka.ini", std::ios::binary)
        << "[ComSettings]\r\nComport = 1\r\nIRQ = 4\r\nWord_Length = 8\r\nParity = E\r\nStopBits = 1\r\n"
           "Baud_Rate = 9600\r\nHandShake = 0\r\nEcho = 0\r\n";
    std::ofstream(dir / "ports.ini") << "COM1 = " << device << "\n";
    std::string error;
    EXPECT_TRUE(sim::saveCardFile((dir / "card.json").string(), card, &error)) << error;
    return dir;
}

// The program as start-up leaves it, on a virtual clock (the PC/SC port answers within output()).
struct Program {
    Program(const std::string& name, const std::string& device, const sim::CardDescription& card)
        : dir(startFolder(name, device, card)), port(makeBackendFactory(clock, dir.string()), dir.string())
    {
        testDataHome();  // the write's backups go to the test's own folder
    }
    ~Program() { fs::remove_all(dir); }
    void start() { startUp(app, dir.string()); }
    std::string cardFile() const { return fileBytes(dir / "card.json"); }

    fs::path dir;
    VirtualClock clock;
    ScriptedScreen screen;
    DevicePort port;
    App app{screen, clock, port};
};

class PcscTest : public ::testing::Test {
protected:
    void SetUp() override { PUOLUKKA_NEED_PCSCD(); }

    void startBoth(const sim::CardDescription& card = sim::demoCard(), const std::string& device = "pcsc")
    {
        serial = std::make_unique<Program>("serial", "virtual:card.json", card);
        pcsc = std::make_unique<Program>("pcsc", device, card);
        served = std::make_unique<ServedCard>(card, (pcsc->dir / "card.json").string());
        ASSERT_TRUE(PrivatePcscd::instance().waitForCard(true)) << PrivatePcscd::instance().log();
        serial->start();
        pcsc->start();
        ASSERT_TRUE(pcsc->port.portOpen()) << pcsc->screen.messageTexts().at(0);
        ASSERT_TRUE(pcsc->port.deliversLogicalBytes());
    }
    template <class Operation>
    void both(Operation operation)
    {
        for (Program* p : {serial.get(), pcsc.get()})
            operation(*p);
    }
    void expectSameScreens()
    {
        EXPECT_EQ(pcsc->screen.term, serial->screen.term);
        // The same card backed up twice in one second: the second backup's name ends "-2".
        Strings texts = pcsc->screen.messageTexts();
        for (std::string& text : texts)
            if (const auto at = text.find("-2.phb"); at != std::string::npos)
                text.erase(at, 2);
        EXPECT_EQ(texts, serial->screen.messageTexts());
        EXPECT_EQ(pcsc->app.card.AnswerHex, serial->app.card.AnswerHex);
        for (const char* control : {"Label3", "PIN1Valid", "PIN1Status", "PIN1Left", "SubEFNum", "RinProc2"})
            EXPECT_EQ(pcsc->screen.text(control), serial->screen.text(control)) << control;
    }

    // The card leaves the reader before its program goes.
    std::unique_ptr<Program> serial;
    std::unique_ptr<Program> pcsc;
    std::unique_ptr<ServedCard> served;
};

TEST_F(PcscTest, ExplorerAndPhonebookReadSaveWriteAsOnTheSerialReader)
{
    startBoth();
    both([](Program& p) {
        Command1_Click(p.app);  // "ATR on CTS": the answer to reset, then the MF's description
        EXPECT_EQ(p.screen.term, "3B 16 11 80 01 47 53 4D 31 \r\n");
        p.screen.inputAnswers = {"1234", "adn"};
        luepin(p.app);
        EFDF_Click(p.app);
        GetResp3_Click(p.app);
        RRecord_Click(p.app);
        p.screen.inputAnswers = {"iccid"};
        EFDF_Click(p.app);
        Rbinary_Click(p.app);
        EXPECT_EQ(p.app.card.CurrentFile, "EF-2FE2-ICCID");
        p.screen.inputAnswers = {"1234"};
        PhnBook_Click(p.app);
        const fs::path saved = p.dir / "luettelo.phb";
        p.screen.fileAnswers.push_back(FileChoice{false, saved.string(), "luettelo.phb"});
        SavePB_Click(p.app);
        p.app.phonebook.PBEntry[3] = "Uusi Nimi/81/0501112233";
        p.app.phonebook.PBEntry[100] = "Viimeinen/91/+358409998877";
        WritePB_Click(p.app);
    });
    ASSERT_EQ(pcsc->app.phonebook.PBCount, 100);
    EXPECT_EQ(pcsc->app.phonebook.PBEntry, serial->app.phonebook.PBEntry);
    EXPECT_EQ(fileBytes(pcsc->dir / "luettelo.phb"), fileBytes(serial->dir / "luettelo.phb"));
    EXPECT_NE(pcsc->screen.term.find(std::string(100, '.') + " Done :  100 Records \r\n"), std::string::npos);
    EXPECT_NE(pcsc->screen.term.find("A0 B2 64 04 1C B2 "), std::string::npos) << "record 100 was read";
    expectSameScreens();
    // The card holds the edits and nothing else changed: the two card files agree.
    EXPECT_EQ(pcsc->cardFile(), serial->cardFile());
    EXPECT_NE(pcsc->cardFile(), sim::cardToJson(sim::demoCard()));
    EXPECT_EQ(served->vpcd().saveError(), "");
}

// The reader decodes an inverse card itself: no parity or convention switch, even after a serial inverse card.
TEST_F(PcscTest, AnInverseCardIsReadWithoutAnyConventionSwitch)
{
    startBoth(makeCard(CardOptions{.inverse = true}));
    Program& p = *pcsc;
    p.app.card.InverseConvention = 1;
    p.screen.inputAnswers = {"1234"};
    PhnBook_Click(p.app);
    pollPort(p.app);
    EXPECT_EQ(p.screen.term.substr(0, 27), "3F 16 11 80 01 47 53 4D 31 ");
    EXPECT_EQ(p.app.phonebook.PBCount, 100);
    EXPECT_EQ(p.app.settings.Parity + p.port.settings(), "E9600,E,8,1");
    EXPECT_EQ(p.app.card.InverseConvention, 1) << "left as it was: the port carries logical bytes";
}

TEST_F(PcscTest, ResetLineMakesOneResetPerPulseWithEitherPolarityAndLine)
{
    startBoth();
    struct Row {
        int polarity;
        void (*reset)(App&);
        bool resets;
    };
    for (const Row& r : {Row{0, Command1_Click, true}, Row{1, Command1_Click, true}, Row{0, Command2_Click, true},
                         Row{1, resetointi, true}, Row{2, Command1_Click, false}}) {
        SCOPED_TRACE(r.polarity);
        App& app = pcsc->app;
        app.card.ResetPolarity = r.polarity;
        app.screen.setText("Label3", "");
        pcsc->screen.inputAnswers = {"1234"};
        luepin(app);
        const int resetsBefore = served->vpcd().resets();
        r.reset(app);
        EXPECT_EQ(served->vpcd().resets() - resetsBefore, r.resets ? 1 : 0);
        EXPECT_EQ(served->vpcd().withCard([](sim::SimCard& c) { return c.chv1Verified(); }), !r.resets);
    }
}

TEST_F(PcscTest, CardPulledOutDuringAReadKeepsThePhonebookAndTheCardComesBack)
{
    startBoth();
    Program& p = *pcsc;
    p.app.phonebook.PBEntry = {"", "Vanha/81/123"};
    p.app.phonebook.PBCount = 1;
    int reads = 0;
    served->vpcd().setBeforeCommand([&reads](const std::string& apdu) {
        return !(apdu.size() > 1 && static_cast<unsigned char>(apdu[1]) == 0xB2 && ++reads == 50);
    });
    p.screen.inputAnswers = {"1234"};
    PhnBook_Click(p.app);
    EXPECT_EQ(reads, 50);
    EXPECT_EQ(p.screen.messageTexts().back(),
              "Yhteys kortinlukijaan katkesi. Siirto keskeytettiin. Muistissa oleva luettelo säilyi ennallaan.");
    EXPECT_EQ(p.app.phonebook.PBEntry, (Strings{"", "Vanha/81/123"}));
    EXPECT_TRUE(p.port.portOpen()) << "the reader is still there";
    ASSERT_TRUE(PrivatePcscd::instance().waitForCard(false));
    std::string bytes("\xA0\xF2\x00\x00\x16", 5);
    EXPECT_FALSE(Send2Card(p.app, bytes, 50));
    EXPECT_EQ(p.port.lastError().description, "pcsc: Puolukka vpcd 00 00: no card in the reader");
    EXPECT_FALSE(p.port.cdHolding());

    // Back in: the carrier event, and the next read (which resets) reads it whole.
    served->vpcd().setBeforeCommand({});
    ASSERT_TRUE(served->setInserted(true));
    pollPort(p.app);
    EXPECT_EQ(p.screen.text("Label1"), "CD change detected");
    EXPECT_TRUE(p.port.cdHolding());
    p.screen.inputAnswers = {"1234"};
    p.screen.messageAnswers = {Answer::Yes};  // replace the phonebook in memory
    PhnBook_Click(p.app);
    EXPECT_EQ(p.app.phonebook.PBCount, 100);
}

TEST_F(PcscTest, ReaderNamesChooseTheReaderAndAMissNamesTheReadersThatExist)
{
    served = std::make_unique<ServedCard>(sim::demoCard());
    ASSERT_TRUE(PrivatePcscd::instance().waitForCard(true));
    for (const char* device : {"pcsc", "pcsc:vpcd 00 00", "PCSC: puolukka VPCD", "pcsc:Puolukka vpcd 00 00"}) {
        SCOPED_TRACE(device);
        Program p("names", device, sim::demoCard());
        EXPECT_EQ(deviceCaption(p.port, 1), "pcsc: Puolukka vpcd 00 00") << "before the port opens";
        p.start();
        EXPECT_TRUE(p.screen.messageTexts().empty());
        EXPECT_TRUE(p.port.cdHolding());
        EXPECT_EQ(deviceCaption(p.port, 1), "pcsc: Puolukka vpcd 00 00");
    }
    // vpcd's empty second slot opens with the carrier off; a command says what is missing.
    Program empty("empty", "pcsc:00 01", sim::demoCard());
    empty.start();
    EXPECT_TRUE(empty.screen.messageTexts().empty());
    EXPECT_FALSE(empty.port.cdHolding());
    std::string bytes("\xA0\xF2\x00\x00\x16", 5);
    EXPECT_FALSE(Send2Card(empty.app, bytes, 50));
    EXPECT_EQ(empty.port.lastError().description, "pcsc: Puolukka vpcd 00 01: no card in the reader");

    Strings offered;
    for (const DeviceChoice& d : deviceChoices())
        if (isPcscDevice(d.device))
            offered.push_back(d.device + " / " + d.kind);
    EXPECT_EQ(offered, (Strings{"pcsc / Ensimmäinen PC/SC-lukija, jossa on kortti",
                                "pcsc:Puolukka vpcd 00 00 / PC/SC-lukija, kortti paikalla",
                                "pcsc:Puolukka vpcd 00 01 / PC/SC-lukija, ei korttia"}));
    Program miss("miss", "pcsc:Gemalto", sim::demoCard());
    EXPECT_EQ(deviceCaption(miss.port, 1), "pcsc:Gemalto");
    miss.start();
    EXPECT_EQ(miss.screen.messageTexts(),
              Strings{"Error Nr  8010 generated by MSComm1\rpcsc:Gemalto: no PC/SC reader's name contains "
                      "\"Gemalto\" (readers: Puolukka vpcd 00 00, Puolukka vpcd 00 01) (ports.ini line 1: COM1 = "
                      "pcsc:Gemalto)"});
    EXPECT_FALSE(miss.port.portOpen());
}

TEST_F(PcscTest, NoServiceIsAClearErrorAndAStoppedServiceClosesThePort)
{
    startBoth();
    PrivatePcscd::instance().stop();
    pollPort(pcsc->app);
    EXPECT_FALSE(pcsc->port.portOpen());
    EXPECT_EQ(pcsc->port.lastError().description,
              "pcsc: Puolukka vpcd 00 00: the PC/SC service stopped; the port was closed");

    Program none("none", "pcsc", sim::demoCard());
    none.start();
    EXPECT_EQ(none.screen.messageTexts(),
              Strings{"Error Nr  8010 generated by MSComm1\rpcsc: the PC/SC service is not running (is pcscd "
                      "installed and started?) (ports.ini line 1: COM1 = pcsc)"});
    std::string whyNot;
    ASSERT_TRUE(PrivatePcscd::instance().start(&whyNot)) << whyNot;
}

}  // namespace
}  // namespace puolukka::test
