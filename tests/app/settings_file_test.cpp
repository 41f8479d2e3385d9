#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/settings_file.h"

namespace puolukka {
namespace {

namespace fs = std::filesystem;

const std::string kDialogFile =
    "[ComSettings]\r\nComport =  1\r\nIRQ = 4\r\nWord_Length = 8\r\nParity = E\r\nStopBits = 1\r\n"
    "Baud_Rate = 9600\r\nHandShake = 0\r\nEcho = 0\r\n";
const PortSettings kDialogValues{" 1", "4", "8", "E", "1", "9600", "0", "0"};

// The dialog's file with every `from` replaced by `to`.
std::string with(const std::string& from, const std::string& to)
{
    std::string text = kDialogFile;
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The eight values joined with "|", then "#" and the error number, then "=" when the parity line had one.
std::string joined(const SettingsRead& r)
{
    const PortSettings& s = r.values;
    return s.Comport + "|" + s.IRQ + "|" + s.Word_Length + "|" + s.Parity + "|" + s.StopBits + "|" + s.Baud_Rate +
           "|" + s.HandShake + "|" + s.Echo + "#" + std::to_string(r.errorNumber) + (r.parityHadEquals ? "=" : "");
}

// Items are read by position; a value is at most 5 characters after the first "=", trimmed.
TEST(SettingsText, TableOfFiles)
{
    EXPECT_EQ(settingsFileText("whatever header", kDialogValues), kDialogFile);
    EXPECT_EQ(parseSettingsText(kDialogFile).SettingsHeader, "[ComSettings]");
    const std::pair<std::string, std::string> rows[] = {
        {kDialogFile, "1|4|8|E|1|9600|0|0#0="},
        {with("Baud_Rate = 9600", "Baud_Rate =  9600"), "1|4|8|E|1|960|0|0#0="},
        {with("Baud_Rate = 9600", "Baud_Rate =19200"), "1|4|8|E|1|19200|0|0#0="},
        {with("Baud_Rate = 9600", "Baud_Rate = a=b"), "1|4|8|E|1|a=b|0|0#0="},
        {with("Comport =  1", "\"Comport = 2, or so\""), "2, o|4|8|E|1|9600|0|0#0="},  // quoted item
        {with("Comport =  1", "Baud_Rate = 4800\r\nComport = 2"), "4800|2|4|8|E|1|9600|0#0="},
        {with("Parity = E", "Parity = E,x"), "1|4|8|E|x|1|9600|0#0="},  // a comma shifts the later values
        {with("Comport =  1", "Comport 2"), "Comport 2|4|8|E|1|9600|0|0#0="},  // no "=": kept whole
        {with("Parity = E", "Parity E"), "1|4|8|Parity E|1|9600|0|0#0"},
        {with("Parity = E", "Parity = e"), "1|4|8|e|1|9600|0|0#0="},
        {with("\r\n", "\n").substr(0, kDialogFile.size() - 10), "1|4|8|E|1|9600|0|0#0="},
        {"", "|||||||#62"},  // input past end of file
        {"[ComSettings]\r\nComport = 3\r\nIRQ = 4\r\n", "3|4||||||#62"},
    };
    for (const auto& [text, read] : rows)
        EXPECT_EQ(joined(parseSettingsText(text)), read) << text;
    const std::pair<const char*, long> numbers[] = {{" 1", 1}, {"  12abc", 12}, {"-3", -3}, {"x1", 0}, {"", 0}};
    for (const auto& [text, value] : numbers)
        EXPECT_EQ(decimalValue(text), value) << text;
    EXPECT_EQ(numberWithSign(1) + numberWithSign(0) + numberWithSign(-5), " 1 0-5");
}

TEST(SettingsFile, MissingWriteReadRewriteAndFailure)
{
    const fs::path dir = fs::path(::testing::TempDir()) / ("puolukka_settings_file_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string path = (dir / kSettingsFileName).string();
    EXPECT_EQ(joined(readSettingsFile(path)), "|||||||#53");

    PortSettings values = kDialogValues;
    values.Comport = " 2";
    values.IRQ = "odd";  // never offered by the dialog: written back as read
    std::string error;
    ASSERT_TRUE(writeSettingsFile(path, values, &error)) << error;
    EXPECT_EQ(joined(readSettingsFile(path)), "2|odd|8|E|1|9600|0|0#0=");
    // Rewriting replaces the old content instead of appending to it.
    ASSERT_TRUE(writeSettingsFile(path, kDialogValues, &error));
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), kDialogFile);

    EXPECT_FALSE(writeSettingsFile((dir / "no_such_dir" / kSettingsFileName).string(), kDialogValues, &error));
    EXPECT_NE(error.find("no_such_dir"), std::string::npos);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace puolukka
