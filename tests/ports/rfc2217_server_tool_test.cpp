// The rfc2217_server program: its help, and a card file it serves as a copy unless told to save.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/clock.h"
#include "ports/rfc2217_port.h"
#include "sim/card_description.h"

namespace puolukka {
namespace {

namespace fs = std::filesystem;

const std::string kTool = std::string(PUOLUKKA_BINARY_DIR) + "/rfc2217_server";

std::string fileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string exchange(Rfc2217Port& port, Clock& clock, const std::string& bytes, int waitMs)
{
    port.output(bytes);
    clock.sleepMs(waitMs);
    std::string got;
    while (port.inBufferCount() > 0)
        got += port.input();
    return got;
}

// The rest of the tool's output, and its exit status.
std::pair<std::string, int> finish(FILE* out)
{
    std::string text;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, out))
        text += buffer;
    return {text, ::pclose(out)};
}

TEST(Rfc2217ServerTool, HelpSaysThatThePortHasNoAuthentication)
{
    const auto [text, status] = finish(::popen((kTool + " --help").c_str(), "r"));
    EXPECT_EQ(status, 0);
    for (const char* part : {"--bind ADDRESS", "default 127.0.0.1", "no authentication", "--save"})
        EXPECT_NE(text.find(part), std::string::npos) << part;
}

// A wrong PIN costs the served card an attempt; only --save writes that to the file.
TEST(Rfc2217ServerTool, ServesACopyOfTheCardFileUnlessToldToSave)
{
    const fs::path dir = fs::temp_directory_path() / ("puolukka_tool_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path card = dir / "card.json";
    std::ofstream(card, std::ios::binary) << sim::demoCardJson();
    const std::string before = fileBytes(card);
    RealClock clock;
    for (bool save : {false, true}) {
        SCOPED_TRACE(save ? "--save" : "a copy");
        // Every address, reached here through the loopback one.
        const std::string command = kTool + " --port 0 --bind 0.0.0.0 --once --card " + card.string() +
                                    (save ? " --save" : "") + " 2>&1";
        FILE* out = ::popen(command.c_str(), "r");
        ASSERT_NE(out, nullptr);
        char line[256] = {};
        ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);
        int tcpPort = 0;
        ASSERT_EQ(std::sscanf(line, "listening on 0.0.0.0:%d", &tcpPort), 1) << line;
        {
            Rfc2217Port port(clock, "127.0.0.1:" + std::to_string(tcpPort));
            ASSERT_TRUE(port.setSettings("9600,E,8,1") && port.setPortOpen(true)) << port.lastError().description;
            port.setRTSEnable(true);  // the demo reader holds the card in reset while RTS is on
            clock.sleepMs(50);
            port.setRTSEnable(false);
            clock.sleepMs(300);
            while (port.inBufferCount() > 0)
                port.input();
            EXPECT_EQ(exchange(port, clock, std::string("\xA0\x20\x00\x01\x08", 5), 100).substr(5), "\x20");
            const std::string answer = exchange(port, clock, "0000\xFF\xFF\xFF\xFF", 150);
            EXPECT_EQ(answer.substr(8), "\x98\x04");  // after the echo: wrong code
            port.setPortOpen(false);
        }
        const auto [rest, status] = finish(out);
        EXPECT_EQ(status, 0) << rest;
        EXPECT_EQ(fileBytes(card) == before, !save);
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace puolukka
