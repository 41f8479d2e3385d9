// Card description files: the demo card, reading faults, writing changes back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "card_fixture.h"
#include "t0_driver.h"

namespace puolukka::test {
namespace {

namespace fs = std::filesystem;

std::string hex(const std::string& bytes)
{
    return sim::toHex(bytes);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class TempDir {
public:
    TempDir()
    {
        m_path = fs::temp_directory_path() /
                 ("sim_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_path);
        fs::create_directories(m_path);
    }
    ~TempDir() { fs::remove_all(m_path); }
    std::string file(const std::string& name, const std::string& content = {}) const
    {
        std::string p = (m_path / name).string();
        if (!content.empty()) std::ofstream(p, std::ios::binary) << content;
        return p;
    }

private:
    fs::path m_path;
};

TEST(AdnRecords, LayoutOfGsmDiallingNumbers)
{
    struct Case {
        const char* name;
        int ton;
        const char* number;
        int length;
        const char* record;
    };
    const Case cases[] = {
        {"AB", 0x91, "+12345678", 20, "4142FFFFFFFF059121436587FFFFFFFFFFFFFFFF"},
        {"", 0x91, "+12345", 14, "049121 43F5 FFFFFFFFFFFFFFFFFF"},
        {"X", 0x81, "", 15, "580181FFFFFFFFFFFFFFFFFFFFFFFF"},
        {"", 0xA1, "*100#", 14, "04A1 1A 00 FB FFFFFFFFFFFFFFFFFF"},  // * 1 | 0 0 | # F, low nibble first
        {"", 0xFF, "", 14, "FFFFFFFFFFFFFFFFFFFFFFFFFFFF"},
    };
    for (const Case& c : cases) {
        std::string record, want;
        ASSERT_TRUE(sim::buildAdnRecord(c.name, c.ton, c.number, c.length, &record, nullptr)) << c.number;
        ASSERT_TRUE(sim::parseHex(c.record, &want));
        EXPECT_EQ(hex(record), hex(want)) << c.number;
    }
    std::string error, record;
    EXPECT_FALSE(sim::buildAdnRecord("Liian pitka nimi", 0x81, "1", 28, &record, &error));
    EXPECT_NE(error.find("longer than 14"), std::string::npos);
    EXPECT_FALSE(sim::buildAdnRecord("", 0x81, "123456789012345678901", 28, &record, &error));
    EXPECT_FALSE(sim::buildAdnRecord("", 0x81, "12x", 28, &record, &error));

    std::string name, number;
    int ton = 0;
    ASSERT_TRUE(sim::buildAdnRecord("Koti", 0x91, "+358912345", 28, &record, nullptr));
    ASSERT_TRUE(sim::splitAdnRecord(record, &name, &ton, &number));
    EXPECT_EQ(name, "Koti");
    EXPECT_EQ(ton, 0x91);
    EXPECT_EQ(number, "+358912345");
    record[27] = '\x01';  // an extension record in use: not a plain entry
    EXPECT_FALSE(sim::splitAdnRecord(record, &name, &ton, &number));
}

TEST(DemoCard, FileShippedIsTheBuiltInCard)
{
    sim::CardDescription fromFile;
    std::string error;
    ASSERT_TRUE(sim::loadCardFile(PUOLUKKA_SOURCE_DIR "/demo/card.json", &fromFile, &error)) << error;
    EXPECT_EQ(sim::cardToJson(fromFile), sim::cardToJson(sim::demoCard()));
    EXPECT_EQ(readFile(PUOLUKKA_SOURCE_DIR "/demo/card.json"), sim::cardToJson(sim::demoCard()));
    // The built-in text itself reads without falling back to the empty standard card.
    sim::CardDescription builtIn;
    ASSERT_TRUE(sim::cardFromJson(sim::demoCardJson(), "built-in", &builtIn, &error)) << error;
}

TEST(DemoCard, HoldsTheAdvertisedCodesAndPhonebook)
{
    sim::SimCard card(sim::demoCard());
    const sim::CardDescription& d = card.description();
    EXPECT_EQ(d.chv1.code, "1234");
    EXPECT_TRUE(d.chv1Enabled);
    EXPECT_EQ(d.chv2.code, "5678");
    EXPECT_EQ(d.unblockChv1.code, "12345678");
    EXPECT_EQ(d.unblockChv2.code, "87654321");
    int adn = d.findPath("7F10/6F3A");
    ASSERT_GE(adn, 0);
    EXPECT_EQ(d.files[std::size_t(adn)].recordLength, 28);
    EXPECT_EQ(d.recordCount(adn), 100);
    int used = 0, emptyBetween = 0, lastUsed = 0;
    for (int i = 1; i <= 100; ++i) {
        std::string r = card.recordOf(0x6F3A, i);
        std::string name, number;
        int ton = 0;
        if (r == std::string(28, '\xFF')) continue;
        ASSERT_TRUE(sim::splitAdnRecord(r, &name, &ton, &number)) << i;
        ++used;
        if (lastUsed && i - lastUsed > 1) ++emptyBetween;
        lastUsed = i;
    }
    EXPECT_GE(used, 18);
    EXPECT_GE(emptyBetween, 5);
}

TEST(DemoCard, SettingsAndPortsFiles)
{
    EXPECT_EQ(readFile(PUOLUKKA_SOURCE_DIR "/demo/puolukka.ini"),
              "[ComSettings]\r\nComport = 1\r\nIRQ = 4\r\nWord_Length = 8\r\nParity = E\r\nStopBits = 1\r\n"
              "Baud_Rate = 9600\r\nHandShake = 0\r\nEcho = 0\r\n");
    EXPECT_NE(readFile(PUOLUKKA_SOURCE_DIR "/demo/ports.ini").find("COM1 = virtual:card.json"), std::string::npos);
}

TEST(CardFile, FaultsNameTheFileAndThePlace)
{
    TempDir dir;
    struct Case {
        const char* content;
        const char* expected;  // part of the message after the file name
    };
    const Case cases[] = {
        {"{ \"atr\": \"3B 16\", ", "not valid JSON"},
        {"[1, 2]", "top level: expected an object"},
        {"{ \"atr\": \"3B 1\" }", "atr: invalid hex digits"},
        {"{ \"colour\": 1 }", "unknown key \"colour\""},
        {"{ \"convention\": \"sideways\" }", "convention: expected \"direct\" or \"inverse\""},
        {"{ \"codes\": { \"CHV1\": { \"attemptsLeft\": 7 } } }", "codes.CHV1.attemptsLeft"},
        {"{ \"adn\": { \"entries\": [ { \"record\": 101, \"name\": \"A\" } ] } }", "adn.entries[0].record"},
        {"{ \"adn\": { \"entries\": [ { \"record\": 1, \"name\": \"Aivan liian pitka\" } ] } }",
         "adn.entries[0]: name"},
        {"{ \"files\": { \"7F20/6F3A\": \"00\" } }", "files.7F20/6F3A: no such elementary file"},
        {"{ \"files\": { \"7F20/6F07\": \"0G\" } }", "files.7F20/6F07: invalid hex"},
        {"{ \"files\": { \"7F10/6F3C\": \"00 11\" } }", "not a whole number of 176-byte records"},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string path = dir.file("card" + std::to_string(n++) + ".json", c.content);
        sim::CardDescription card;
        std::string error;
        EXPECT_FALSE(sim::loadCardFile(path, &card, &error)) << c.content;
        EXPECT_EQ(error.rfind("Card file " + path + ": ", 0), 0u) << error;
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    }
}

TEST(CardFile, AMissingOrBrokenFileGivesAPortThatWillNotOpen)
{
    TempDir dir;
    VirtualClock clock;
    std::string error;
    std::string missing = dir.file("nowhere.json");
    auto port = makeVirtualReaderPort(clock, missing, &error);
    ASSERT_NE(port, nullptr);
    EXPECT_NE(error.find(missing), std::string::npos);
    EXPECT_NE(error.find("cannot be opened"), std::string::npos);
    EXPECT_FALSE(port->setPortOpen(true));
    EXPECT_EQ(port->lastError().number, port_error::DeviceNotAvailable);
    EXPECT_EQ(port->lastError().description, error);

    std::string broken = dir.file("broken.json", "{ nope");
    port = makeVirtualReaderPort(clock, broken, &error);
    EXPECT_NE(error.find(broken + ": not valid JSON"), std::string::npos);
    EXPECT_FALSE(port->setPortOpen(true));

    port = makeVirtualReaderPort(clock, "", &error);
    EXPECT_TRUE(port->setPortOpen(true));
}

TEST(CardFile, ChangesAreWrittenBackToTheFile)
{
    TempDir dir;
    std::string path = dir.file("card.json");
    ASSERT_TRUE(sim::saveCardFile(path, sim::demoCard(), nullptr));
    VirtualClock clock;
    std::string error;
    auto base = makeVirtualReaderPort(clock, path, &error);
    ASSERT_TRUE(error.empty()) << error;
    auto& port = static_cast<VirtualReaderPort&>(*base);
    port.setSettings("9600,E,8,1");
    ASSERT_TRUE(port.setPortOpen(true));
    T0Driver d(port, clock);
    ASSERT_EQ(d.verifyChv1("9999"), "9804");  // a counter change is kept too
    ASSERT_EQ(d.verifyChv1("1234"), "9000");
    ASSERT_EQ(d.select("7F10"), "9F16");
    ASSERT_EQ(d.select("6F3A"), "9F0F");
    std::string record;
    ASSERT_TRUE(sim::buildAdnRecord("Uusi", 0x81, "0501112222", 28, &record, nullptr));
    ASSERT_EQ(d.command("A0DC03041C", hex(record), 80).sw, "9000");
    EXPECT_TRUE(port.saveError().empty());

    sim::CardDescription saved;
    ASSERT_TRUE(sim::loadCardFile(path, &saved, &error)) << error;
    sim::SimCard reloaded(saved);
    EXPECT_EQ(reloaded.recordOf(0x6F3A, 3), record);
    EXPECT_EQ(reloaded.recordOf(0x6F3A, 1), port.card().recordOf(0x6F3A, 1));
    EXPECT_NE(readFile(path).find("\"name\": \"Uusi\""), std::string::npos);

    // Three wrong codes block PIN1 for good: the file remembers it.
    for (int i = 0; i < 3; ++i) d.verifyChv1("0000");
    ASSERT_TRUE(sim::loadCardFile(path, &saved, &error));
    EXPECT_EQ(saved.chv1.attemptsLeft, 0);
}

TEST(CardFile, RecordsThatAreNotPlainEntriesSurviveAsRawBytes)
{
    sim::CardDescription card = sim::demoCard();
    sim::SimCard sim(card);
    std::string odd = std::string(14, '\x01') + std::string(14, '\xFF');
    ASSERT_TRUE(sim.setRecord(0x6F3A, 60, odd));
    sim::CardDescription back;
    std::string error;
    ASSERT_TRUE(sim::cardFromJson(sim::cardToJson(sim.description()), "again", &back, &error)) << error;
    EXPECT_EQ(sim::SimCard(back).recordOf(0x6F3A, 60), odd);
    EXPECT_EQ(sim::cardToJson(back), sim::cardToJson(sim.description()));
}

}  // namespace
}  // namespace puolukka::test
