#include "phonebook/card_transfer.h"

#include <gtest/gtest.h>

#include "card_fixture.h"
#include "conversions/adn_codec.h"
#include "conversions/conversions.h"
#include "filesystem/selection.h"
#include "phonebook/record_loops.h"

namespace puolukka {
namespace {

using test::CardFixture;
using test::CardOptions;

constexpr std::uint16_t kAdn = 0x6F3A;
const std::string kOk("\x90\x00", 2);

CardOptions noPin(int length = 28, int count = 100)
{
    CardOptions o;
    o.pin1Enabled = false;
    o.adnRecordLength = length;
    o.adnRecordCount = count;
    return o;
}

// The card's commands (header and data, logical bytes) with this instruction byte.
std::vector<std::string> commandsWith(const CardFixture& fx, unsigned char ins)
{
    std::vector<std::string> out;
    for (const auto& t : fx.port.trace())
        if (t.kind == sim::TraceEntry::Kind::Command && t.command.size() >= 2 && (unsigned char)t.command[1] == ins)
            out.push_back(t.command);
    return out;
}

void loadPhonebook(App& app, const std::vector<std::string>& entries)
{
    app.phonebook.PBEntry.assign(1, std::string());
    for (const auto& e : entries)
        app.phonebook.PBEntry.push_back(e);
    app.phonebook.PBCount = int(entries.size());
}

std::vector<std::string> numbered(int count, int nameLen = 14)
{
    std::vector<std::string> entries;
    for (int i = 1; i <= count; ++i) {
        std::string name = "Nimi " + std::to_string(i);
        name.resize(std::size_t(nameLen), '\xFF');
        entries.push_back(name + "/81/040" + std::to_string(1000 + i));
    }
    return entries;
}

TEST(PhonebookRead, ReadsEveryRecordOfTheCard)
{
    CardFixture fx(noPin());
    PhnBook_Click(fx.app);

    EXPECT_TRUE(fx.screen.boxes("input").empty()) << "PIN1 is disabled: no prompt";
    ASSERT_EQ(fx.app.phonebook.PBCount, 100);
    const auto reads = commandsWith(fx, 0xB2);
    ASSERT_EQ(reads.size(), 100u);
    EXPECT_EQ(reads.front(), std::string("\xA0\xB2\x01\x04\x1C", 5));
    EXPECT_EQ(reads[9], std::string("\xA0\xB2\x0A\x04\x1C", 5));
    EXPECT_EQ(reads.back(), std::string("\xA0\xB2\x64\x04\x1C", 5));
    for (int i = 1; i <= 100; ++i)
        EXPECT_EQ(fx.app.phonebook.PBEntry[std::size_t(i)], RecordToEntry(fx.adnRecord(i) + kOk)) << i;
    EXPECT_EQ(fx.app.phonebook.PBEntry[2].substr(0, 14), "Matti Korhonen");
    EXPECT_TRUE(fx.app.phonebook.PBEntry[2].ends_with("/91/+358501234567"));

    EXPECT_EQ(fx.app.card.CurrentFile, "EF-6F3A-ADN");
    EXPECT_EQ(fx.screen.controls["Label3"].text, " DF-7F10-TELECOM");
    EXPECT_EQ(fx.screen.controls["RinProc2"].text, " 100");
    EXPECT_EQ(fx.screen.controls["Form2"].text, "Luetaan muistia");
    EXPECT_EQ(fx.screen.controls["ProgressBar1"].maximum, 100);
    EXPECT_FALSE(fx.screen.controls["Form2"].visible);
    EXPECT_EQ(fx.screen.controls["ProgressBar1"].value, 0);
    EXPECT_TRUE(fx.screen.controls["WritePB"].enabled);
    EXPECT_FALSE(fx.screen.controls["GetResp3"].enabled);
    EXPECT_NE(fx.screen.term.find(std::string(100, '.') + " Done :  100 Records \r\n"), std::string::npos);
}

TEST(PhonebookRead, Pin1IsAskedWhenEnabledAndAWrongOneStopsTheRead)
{
    CardFixture good(CardOptions{});
    good.screen.inputAnswers.push_back("1234");
    PhnBook_Click(good.app);
    EXPECT_EQ(good.screen.boxes("input").size(), 1u);
    EXPECT_EQ(good.app.phonebook.PBCount, 100);

    CardFixture wrong(CardOptions{});
    wrong.screen.inputAnswers.push_back("9999");
    PhnBook_Click(wrong.app);
    EXPECT_EQ(wrong.app.card.CardReady, 0);
    EXPECT_TRUE(commandsWith(wrong, 0xB2).empty());
    EXPECT_EQ(wrong.app.phonebook.PBCount, 0);
}

TEST(PhonebookRead, NoToTheReplaceQuestionChangesNothing)
{
    CardFixture fx(noPin());
    fx.app.card.CardReady = 1;  // no reset needed
    loadPhonebook(fx.app, {"Old/81/123"});
    fx.screen.messageAnswers.push_back(Answer::No);
    PhnBook_Click(fx.app);

    ASSERT_EQ(fx.screen.boxes("message").size(), 1u);
    const auto box = fx.screen.boxes("message")[0];
    EXPECT_EQ(box.text, "Korvataanko muistissa oleva luettelo?");
    EXPECT_EQ(box.title, "Puolukka");
    EXPECT_EQ(box.buttons, Buttons::YesNo);
    EXPECT_EQ(box.icon, Icon::Question);
    EXPECT_EQ(box.defaultButton, Answer::No);
    EXPECT_EQ(fx.app.card.AnswerHex, "7");
    EXPECT_TRUE(fx.port.trace().empty()) << "nothing is selected";
    EXPECT_EQ(fx.app.phonebook.PBCount, 1);
    EXPECT_EQ(fx.app.phonebook.PBEntry[1], "Old/81/123");
}

TEST(PhonebookRead, NoCardKeepsThePhonebookAndAsksForAReset)
{
    CardFixture fx(noPin());
    fx.port.removeCard();
    loadPhonebook(fx.app, {"Old/81/123"});
    PhnBook_Click(fx.app);

    const auto texts = fx.screen.messageTexts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), "SIM-korttia ei löytynyt. Tarkista kortti!");
    EXPECT_EQ(fx.screen.boxes("message").back().buttons, Buttons::Ok);
    EXPECT_EQ(fx.app.card.CardReady, 0);
    EXPECT_EQ(fx.app.phonebook.PBCount, 1);
    EXPECT_EQ(fx.app.phonebook.PBEntry[1], "Old/81/123");
}

TEST(PhonebookRead, ASlowCardIsReadWhole)
{
    CardFixture fx(noPin());
    SelDF_TELECOM(fx.app);
    SelCmd(fx.app, "6F3A", "ADN");
    fx.card().description().extraDelayUs = 300000;  // three times the old fixed wait
    std::vector<std::string> entries;
    ASSERT_EQ(readAdnRecords(fx.app, 5, "1C", entries), LoopOutcome::Done);
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(entries[std::size_t(i)], fx.adnRecord(i) + kOk) << i;
}

TEST(PhonebookRead, InverseConventionCardIsReadAndWritten)
{
    CardOptions o = noPin();
    o.inverse = true;
    CardFixture fx(o);
    fx.app.card.InverseConvention = 1;
    fx.port.setSettings("9600,O,8,1");
    PhnBook_Click(fx.app);
    ASSERT_EQ(fx.app.phonebook.PBCount, 100);
    EXPECT_EQ(fx.app.phonebook.PBEntry[1], RecordToEntry(fx.adnRecord(1) + kOk));

    fx.app.phonebook.PBEntry[3] = "Uusi/91/+3585551234";
    WritePB_Click(fx.app);
    int warning = 0;
    EXPECT_EQ(fx.adnRecord(3), EntryToRecord("Uusi/91/+3585551234", 28, warning));
    EXPECT_EQ(fx.adnRecord(2), EntryToRecord(fx.app.phonebook.PBEntry[2], 28, warning));
    EXPECT_EQ(fx.screen.term.find('X'), std::string::npos);
}

TEST(PhonebookWrite, MorEntriesThanRecordsAreCutToTheCard)
{
    CardFixture fx(noPin());
    loadPhonebook(fx.app, numbered(120));
    WritePB_Click(fx.app);

    const auto texts = fx.screen.messageTexts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], " Enemmän muistipaikkoja kuin SIM:llä vähennetään  100 muistipaikkaan");
    EXPECT_EQ(fx.app.phonebook.PBCount, 100);
    EXPECT_EQ(commandsWith(fx, 0xDC).size(), 100u);
    int warning = 0;
    for (int i = 1; i <= 100; ++i)
        EXPECT_EQ(fx.adnRecord(i), EntryToRecord(numbered(100)[std::size_t(i - 1)], 28, warning)) << i;
    EXPECT_NE(fx.screen.term.find(std::string(100, '.') + " Done :  100 Records \r\n"), std::string::npos);
    EXPECT_EQ(fx.screen.controls["Form2"].text, "Kirjoitetaan muistia");
    EXPECT_EQ(fx.screen.controls["ProgressBar1"].maximum, 102);
    EXPECT_FALSE(fx.screen.controls["Form2"].visible);
    EXPECT_TRUE(fx.app.phonebook.CardRecord.size() == 1);
    EXPECT_TRUE(fx.screen.termEnabled) << "the terminal is given back";
}

TEST(PhonebookWrite, FewEntriesLeaveTheOtherRecordsAlone)
{
    CardFixture fx(noPin());
    std::vector<std::string> before;
    for (int i = 1; i <= 100; ++i)
        before.push_back(fx.adnRecord(i));
    std::vector<std::string> entries = numbered(10);
    entries[4] = "Poistettu/FF/123";  // TON FF: an unused record
    loadPhonebook(fx.app, entries);
    WritePB_Click(fx.app);

    const auto updates = commandsWith(fx, 0xDC);
    ASSERT_EQ(updates.size(), 10u);
    EXPECT_EQ(updates[9].substr(0, 5), std::string("\xA0\xDC\x0A\x04\x1C", 5));
    EXPECT_EQ(fx.adnRecord(5), std::string(28, '\xFF'));
    EXPECT_EQ(fx.adnRecord(1).substr(0, 6), "Nimi 1");
    for (int i = 11; i <= 100; ++i)
        EXPECT_EQ(fx.adnRecord(i), before[std::size_t(i - 1)]) << i;
    EXPECT_EQ(fx.app.phonebook.PBCount, 10);
    EXPECT_EQ(fx.app.phonebook.PBEntry[5], "Poistettu/FF/123") << "the phonebook itself is unchanged";
}

TEST(PhonebookWrite, Record16IsAddressedAsHex10)
{
    CardFixture fx(noPin());
    loadPhonebook(fx.app, numbered(16));
    WritePB_Click(fx.app);
    const auto updates = commandsWith(fx, 0xDC);
    ASSERT_EQ(updates.size(), 16u);
    EXPECT_EQ(updates[15].substr(0, 5), std::string("\xA0\xDC\x10\x04\x1C", 5));
    EXPECT_EQ(updates[15].size(), 5u + 28u);
}

TEST(PhonebookWrite, OtherRecordLengthsWarnOnceAndAdjustNames)
{
    struct Row {
        int length;
        const char* warning;
    };
    for (const Row row : {Row{32, "Destination records larger than source records"},
                          Row{26, "Destination records shorter than source records"}}) {
        CardFixture source(noPin());
        PhnBook_Click(source.app);
        CardFixture fx(noPin(row.length));
        loadPhonebook(fx.app, std::vector<std::string>(source.app.phonebook.PBEntry.begin() + 1,
                                                       source.app.phonebook.PBEntry.end()));
        WritePB_Click(fx.app);
        const std::string& term = fx.screen.term;
        const auto first = term.find(row.warning);
        ASSERT_NE(first, std::string::npos) << row.length;
        EXPECT_EQ(term.find(row.warning, first + 1), std::string::npos) << "shown once";
        EXPECT_EQ(fx.app.phonebook.CardRecLen, row.length);
        const std::string alpha = fx.adnRecord(1).substr(0, std::size_t(row.length - 14));
        const std::string sourceAlpha = source.adnRecord(1).substr(0, 14);
        if (row.length > 28)
            EXPECT_EQ(alpha, sourceAlpha + std::string(4, '\xFF'));
        else
            EXPECT_EQ(alpha, sourceAlpha.substr(0, 12));
        EXPECT_EQ(fx.adnRecord(1).substr(std::size_t(row.length - 14)), source.adnRecord(1).substr(14));
    }
}

TEST(PhonebookWrite, ARefusedUpdateIsMarkedAndTheCardStaysInStep)
{
    CardFixture fx(noPin());
    const int adn = fx.card().description().findPath("7F10/6F3A");
    fx.card().description().files[std::size_t(adn)].access.update = 0xF;  // never
    const std::string before = fx.adnRecord(1);
    loadPhonebook(fx.app, numbered(3));
    WritePB_Click(fx.app);

    EXPECT_NE(fx.screen.term.find("XXX Done :  3 Records"), std::string::npos);
    for (const auto& command : commandsWith(fx, 0xDC))
        EXPECT_EQ(command.size(), 5u) << "the record's data is not sent after 98 04";
    EXPECT_EQ(fx.adnRecord(1), before);
    EXPECT_FALSE(fx.card().commandPending());

    // The next operation works: the card read the following command as a command.
    fx.app.phonebook.PBCount = 0;
    PhnBook_Click(fx.app);
    EXPECT_EQ(fx.app.phonebook.PBCount, 100);
}

TEST(PhonebookWrite, NoPhonebookSaysSo)
{
    CardFixture fx(noPin());
    WritePB_Click(fx.app);
    ASSERT_EQ(fx.screen.boxes("message").size(), 1u);
    EXPECT_EQ(fx.screen.boxes("message")[0].text, "Ei luetteloa muistissaa!");
    EXPECT_EQ(fx.screen.boxes("message")[0].icon, Icon::Exclamation);
    EXPECT_TRUE(commandsWith(fx, 0xDC).empty());
}

// A port that stops working after a number of writes: either the writes fail
// (the device is gone) or they go nowhere and nothing comes back.
class VanishingPort final : public SerialPort {
public:
    VanishingPort(SerialPort& inner, int writesLeft, bool writesFail)
        : m_inner(inner), m_writesLeft(writesLeft), m_writesFail(writesFail) {}
    bool setSettings(const std::string& t) override { return m_inner.setSettings(t); }
    std::string settings() const override { return m_inner.settings(); }
    bool setCommPort(int n) override { return m_inner.setCommPort(n); }
    int commPort() const override { return m_inner.commPort(); }
    bool setPortOpen(bool o) override { return m_inner.setPortOpen(o); }
    bool portOpen() const override { return m_inner.portOpen(); }
    bool output(const std::string& bytes) override
    {
        if (m_writesLeft-- > 0)
            return m_inner.output(bytes);
        gone = true;
        return !m_writesFail;
    }
    std::string input() override { return gone ? std::string() : m_inner.input(); }
    int inBufferCount() override { return gone ? 0 : m_inner.inBufferCount(); }
    bool clearInBuffer() override { return m_inner.clearInBuffer(); }
    int outBufferCount() override { return m_inner.outBufferCount(); }
    bool clearOutBuffer() override { return m_inner.clearOutBuffer(); }
    bool setRTSEnable(bool on) override { return m_inner.setRTSEnable(on); }
    bool rtsEnable() const override { return m_inner.rtsEnable(); }
    bool setDTREnable(bool on) override { return m_inner.setDTREnable(on); }
    bool dtrEnable() const override { return m_inner.dtrEnable(); }
    bool setHandshaking(int m) override { return m_inner.setHandshaking(m); }
    int handshaking() const override { return m_inner.handshaking(); }
    bool cdHolding() override { return m_inner.cdHolding(); }
    bool ctsHolding() override { return m_inner.ctsHolding(); }
    bool dsrHolding() override { return m_inner.dsrHolding(); }
    std::vector<int> pollEvents() override { return m_inner.pollEvents(); }
    bool gone = false;

private:
    SerialPort& m_inner;
    int m_writesLeft;
    bool m_writesFail;
};

TEST(PhonebookTransfer, APortVanishingMidTransferEndsItAndKeepsThePhonebook)
{
    for (const bool writesFail : {true, false}) {
        CardFixture fx(noPin());
        // Prepare the card as the read leaves it, then count the writes the read makes.
        PhnBook_Click(fx.app);
        const std::vector<std::string> readBook = fx.app.phonebook.PBEntry;
        fx.screen.clearTranscript();

        VanishingPort port(fx.port, 60, writesFail);  // dies within the record loop
        App app(fx.screen, fx.clock, port);
        app.card = fx.app.card;
        loadPhonebook(app, {"Vanha/81/123", "Toinen/81/456"});
        fx.screen.messageAnswers.push_back(Answer::Yes);
        PhnBook_Click(app);

        ASSERT_TRUE(port.gone);
        const auto texts = fx.screen.messageTexts();
        ASSERT_EQ(texts.size(), 2u) << writesFail;
        EXPECT_EQ(texts[1], "Yhteys kortinlukijaan katkesi. Siirto keskeytettiin.");
        EXPECT_EQ(fx.screen.boxes("message")[1].icon, Icon::Exclamation);
        EXPECT_EQ(app.phonebook.PBCount, 2);
        EXPECT_EQ(app.phonebook.PBEntry[1], "Vanha/81/123");
        EXPECT_FALSE(fx.screen.controls["Form2"].visible);
        EXPECT_EQ(app.card.CardReady, 0);

        // The write ends the same way and changes nothing in memory.
        VanishingPort writePort(fx.port, 40, writesFail);
        App writer(fx.screen, fx.clock, writePort);
        writer.card = fx.app.card;
        writer.card.CardReady = 1;
        writer.phonebook = fx.app.phonebook;
        WritePB_Click(writer);
        EXPECT_EQ(fx.screen.messageTexts().back(), "Yhteys kortinlukijaan katkesi. Siirto keskeytettiin.");
        EXPECT_EQ(writer.phonebook.PBEntry, readBook);
        EXPECT_EQ(writer.phonebook.PBCount, 100);
        EXPECT_FALSE(fx.screen.controls["Form2"].visible);
        EXPECT_TRUE(fx.screen.termEnabled);
    }
}

}  // namespace
}  // namespace puolukka
