// Card description files: the demo card, reading faults, writing changes back.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "t0_driver.h"

namespace puolukka::test {
namespace {

namespace fs = std::filesystem;

std::string readFile(const std::string& path)
{
    std::ostringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

// A fresh folder for one test, removed afterwards.
struct TempDir {
    TempDir() { fs::create_directories(dir); }
    ~TempDir() { fs::remove_all(dir); }
    std::string file(const std::string& name, const std::string& content = {}) const
    {
        std::ofstream((dir / name).string(), std::ios::binary) << content;
        return (dir / name).string();
    }
    const fs::path dir = fs::temp_directory_path() / ("sim_test_" + std::to_string(::getpid()) + "_" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
};

TEST(DemoCard, FileShippedIsTheBuiltInCard)
{
    sim::CardDescription fromFile;
    std::string error;
    ASSERT_TRUE(sim::loadCardFile(PUOLUKKA_SOURCE_DIR "/demo/card.json", &fromFile, &error)) << error;
    EXPECT_EQ(sim::cardToJson(fromFile), sim::cardToJson(sim::demoCard()));
    EXPECT_EQ(readFile(PUOLUKKA_SOURCE_DIR "/demo/card.json"), sim::cardToJson(sim::demoCard()));
}

TEST(CardFile, FaultsNameTheFileAndThePlace)
{
    TempDir dir;
    int n = 0;
    for (const auto& [content, expected] : std::vector<std::pair<const char*, const char*>>{
             {"{ \"atr\": \"3B 16\", ", "not valid JSON"},
             {"{ \"atr\": 1e999 }", "not valid JSON: number overflow"},  // the library throws a range error here
             {"{ \"adn\": { \"entries\": [ { \"record\": 1, \"name\": 5 } ] } }", "adn.entries[0].name: expected a text"},
             {"{ \"atr\": \"3B 1\" }", "atr: invalid hex digits"},
             {"{ \"convention\": \"sideways\" }", "convention: expected \"direct\" or \"inverse\""},
             {"{ \"codes\": { \"CHV1\": { \"attemptsLeft\": 7 } } }", "codes.CHV1.attemptsLeft"},
             {"{ \"adn\": { \"entries\": [ { \"record\": 101, \"name\": \"A\" } ] } }", "adn.entries[0].record"},
             {"{ \"adn\": { \"entries\": [ { \"record\": 1, \"name\": \"Aivan liian pitka\" } ] } }", "adn.entries[0]: name"},
             {"{ \"files\": { \"7F20/6F3A\": \"00\" } }", "files.7F20/6F3A: no such elementary file"},
             {"{ \"files\": { \"7F10/6F3C\": \"00 11\" } }", "not a whole number of 176-byte records"},
             {"{ \"timing\": { \"nullBytes\": -1 } }", "timing.nullBytes: expected a whole number from 0 to 255"},
             {"{ \"byteAtATime\": \"yes\" }", "byteAtATime: expected true or false"}}) {
        const std::string path = dir.file("card" + std::to_string(n++) + ".json", content);
        sim::CardDescription card;
        std::string error;
        EXPECT_FALSE(sim::loadCardFile(path, &card, &error)) << content;
        EXPECT_TRUE(error.starts_with("Card file " + path + ": ")) << error;
        EXPECT_NE(error.find(expected), std::string::npos) << error;
    }
}

// Habits of real cards and codes of any bytes (CHANGE and UNBLOCK take any 8) survive a round trip.
TEST(CardFile, HabitsAndCodesReadAndWriteBack)
{
    const char* text = "{ \"timing\": { \"nullBytes\": 2, \"writeNullBytes\": 5, \"nullIntervalMs\": 12.5 },"
                       " \"byteAtATime\": true, \"line\": { \"parity\": false } }";
    sim::CardDescription card, again;
    std::string error;
    ASSERT_TRUE(sim::cardFromJson(text, "card.json", &card, &error)) << error;
    EXPECT_EQ(card.nullBytes * 1000 + card.writeNullBytes, 2005);
    EXPECT_EQ(card.nullIntervalUs, 12'500);
    EXPECT_TRUE(card.byteAtATime && !card.lineParity);
    ASSERT_TRUE(sim::cardFromJson(sim::cardToJson(card), "card.json", &again, &error)) << error;
    EXPECT_EQ(sim::cardToJson(again), sim::cardToJson(card));
    EXPECT_EQ(sim::cardToJson(sim::demoCard()).find("byteAtATime"), std::string::npos);
    for (const std::string& code : {std::string("12345678"), std::string("\xC3\x28\x80\x01"), std::string(),
                                   std::string("\x00\x31", 2)}) {
        card.chv2.code = code;
        ASSERT_TRUE(sim::cardFromJson(sim::cardToJson(card), "card.json", &again, &error)) << error;
        EXPECT_EQ(again.chv2.code, code);
    }
}

TEST(CardFile, ChangesAreWrittenBackToTheFile)
{
    TempDir dir;
    const std::string path = dir.file("card.json");
    ASSERT_TRUE(sim::saveCardFile(path, sim::demoCard(), nullptr));
    VirtualClock clock;
    std::string error, record;
    auto base = makeVirtualReaderPort(clock, path, &error);
    ASSERT_TRUE(error.empty()) << error;
    auto& port = static_cast<VirtualReaderPort&>(*base);
    ASSERT_TRUE(port.setSettings("9600,E,8,1") && port.setPortOpen(true));
    T0Driver d(port, clock);
    ASSERT_TRUE(sim::buildAdnRecord("Uusi", 0x81, "0501112222", 28, &record, nullptr));
    for (const Step& s : {verify("01", "9999", "9804"), verify("01", "1234", "9000"), select("7F10", "9F16"),
                          select("6F3A", "9F0F"), Step{"A0DC03041C", hex(record), "9000"}})
        ASSERT_EQ(d.command(s.header, s.data, 80).sw, s.sw);  // a counter change is kept too
    EXPECT_TRUE(port.saveError().empty());

    sim::CardDescription saved;
    ASSERT_TRUE(sim::loadCardFile(path, &saved, &error)) << error;
    EXPECT_EQ(sim::SimCard(saved).recordOf(0x6F3A, 3), record);
    EXPECT_EQ(sim::SimCard(saved).recordOf(0x6F3A, 1), port.card().recordOf(0x6F3A, 1));
    for (int i = 0; i < 3; ++i)
        d.command("A020000108", T0Driver::codeHex("0000"));  // three wrong codes block PIN1 for good: the file remembers it
    ASSERT_TRUE(sim::loadCardFile(path, &saved, &error));
    EXPECT_EQ(saved.chv1.attemptsLeft, 0);
}

}  // namespace
}  // namespace puolukka::test
