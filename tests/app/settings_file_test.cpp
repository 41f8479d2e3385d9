#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/settings_file.h"

namespace puolukka {
namespace {

namespace fs = std::filesystem;

const char kDialogFile[] =
    "[ComSettings]\r\n"
    "Comport =  1\r\n"
    "IRQ = 4\r\n"
    "Word_Length = 8\r\n"
    "Parity = E\r\n"
    "StopBits = 1\r\n"
    "Baud_Rate = 9600\r\n"
    "HandShake = 0\r\n"
    "Echo = 0\r\n";

PortSettings dialogValues()
{
    PortSettings s;
    s.Comport = " 1";
    s.IRQ = "4";
    s.Word_Length = "8";
    s.Parity = "E";
    s.StopBits = "1";
    s.Baud_Rate = "9600";
    s.HandShake = "0";
    s.Echo = "0";
    return s;
}

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() /
                ("puolukka_settings_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    std::string path() const { return (m_dir / kSettingsFileName).string(); }
    std::string contents() const
    {
        std::ifstream in(path(), std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    fs::path m_dir;
};

TEST(SettingsText, WriterGivesTheNineLinesByteForByte)
{
    EXPECT_EQ(settingsFileText("whatever header", dialogValues()), kDialogFile);
}

TEST(SettingsText, DialogFileReadsBackToTheSameValues)
{
    const SettingsRead read = parseSettingsText(kDialogFile);
    EXPECT_EQ(read.errorNumber, 0);
    EXPECT_EQ(read.SettingsHeader, "[ComSettings]");
    EXPECT_EQ(read.values.Comport, "1");  // its leading blank is trimmed away
    EXPECT_EQ(read.values.IRQ, "4");
    EXPECT_EQ(read.values.Word_Length, "8");
    EXPECT_EQ(read.values.Parity, "E");
    EXPECT_EQ(read.values.StopBits, "1");
    EXPECT_EQ(read.values.Baud_Rate, "9600");
    EXPECT_EQ(read.values.HandShake, "0");
    EXPECT_EQ(read.values.Echo, "0");
    EXPECT_TRUE(read.parityHadEquals);
    EXPECT_EQ(portParameterText(read.values), "9600,E,8,1");
}

TEST(SettingsText, ValueWindowIsFiveCharactersAfterTheEquals)
{
    struct Row {
        const char* line;
        const char* value;
    } rows[] = {
        {"Baud_Rate = 9600", "9600"},  {"Baud_Rate=9600", "9600"},    {"Baud_Rate =  9600", "960"},
        {"Baud_Rate = 19200", "1920"}, {"Baud_Rate =19200", "19200"}, {"Baud_Rate = 9600  ", "9600"},
        {"Baud_Rate = ", ""},          {"Baud_Rate = a=b", "a=b"},
    };
    for (const auto& row : rows) {
        const std::string text = std::string("[ComSettings]\r\nComport = 1\r\nIRQ = 4\r\nWord_Length = 8\r\n"
                                             "Parity = E\r\nStopBits = 1\r\n") +
                                 row.line + "\r\nHandShake = 0\r\nEcho = 0\r\n";
        const SettingsRead read = parseSettingsText(text);
        EXPECT_EQ(read.values.Baud_Rate, row.value) << row.line;
        EXPECT_EQ(read.values.Echo, "0") << row.line;
    }
}

TEST(SettingsText, QuotedItemRunsToItsClosingQuote)
{
    const SettingsRead read = parseSettingsText(
        "\"[Com,Settings]\"\r\n\"Comport = 2, or so\"\r\nIRQ = 4\r\nWord_Length = 7\r\nParity = O\r\n"
        "StopBits = 2\r\nBaud_Rate = 2400\r\nHandShake = 1\r\nEcho = 1\r\n");
    EXPECT_EQ(read.errorNumber, 0);
    EXPECT_EQ(read.SettingsHeader, "[Com,Settings]");
    EXPECT_EQ(read.values.Comport, "2, o");
    EXPECT_EQ(read.values.IRQ, "4");
    EXPECT_EQ(read.values.Echo, "1");
}

TEST(SettingsText, ReadsByPositionOnly)
{
    const SettingsRead read = parseSettingsText(
        "[ComSettings]\r\nBaud_Rate = 4800\r\nComport = 2\r\nIRQ = 4\r\nWord_Length = 8\r\nParity = E\r\n"
        "StopBits = 1\r\nHandShake = 0\r\nEcho = 0\r\n");
    EXPECT_EQ(read.values.Comport, "4800");
    EXPECT_EQ(read.values.IRQ, "2");
    EXPECT_EQ(read.values.Baud_Rate, "1");
}

TEST(SettingsText, CommaInAValueShiftsTheLaterValues)
{
    const SettingsRead read = parseSettingsText(
        "[ComSettings]\r\nComport = 1\r\nIRQ = 4\r\nWord_Length = 8\r\nParity = E,x\r\nStopBits = 1\r\n"
        "Baud_Rate = 9600\r\nHandShake = 0\r\nEcho = 0\r\n");
    EXPECT_EQ(read.errorNumber, 0);
    EXPECT_EQ(read.values.Parity, "E");
    EXPECT_EQ(read.values.StopBits, "x");
    EXPECT_EQ(read.values.Baud_Rate, "1");
    EXPECT_EQ(read.values.HandShake, "9600");
    EXPECT_EQ(read.values.Echo, "0");
}

TEST(SettingsText, LineWithoutEqualsIsKeptWhole)
{
    const SettingsRead read = parseSettingsText(
        "[ComSettings]\r\nComport 2\r\nIRQ = 4\r\nWord_Length = 8\r\nParity E\r\nStopBits = 1\r\n"
        "Baud_Rate = 9600\r\nHandShake = 0\r\nEcho = 0\r\n");
    EXPECT_EQ(read.values.Comport, "Comport 2");
    EXPECT_EQ(decimalValue(read.values.Comport), 0);
    EXPECT_EQ(read.values.Parity, "Parity E");
    EXPECT_FALSE(read.parityHadEquals);
}

TEST(SettingsText, LowerCaseParityIsKeptAsItIs)
{
    const SettingsRead read = parseSettingsText(
        "[ComSettings]\nComport = 1\nIRQ = 4\nWord_Length = 8\nParity = e\nStopBits = 1\nBaud_Rate = 9600\n"
        "HandShake = 0\nEcho = 0");  // LF line ends and no last line end are read the same
    EXPECT_EQ(read.errorNumber, 0);
    EXPECT_EQ(read.values.Parity, "e");
    EXPECT_TRUE(read.parityHadEquals);
    EXPECT_EQ(read.values.Echo, "0");
}

TEST(SettingsText, EmptyAndShortFilesReportInputPastEnd)
{
    const SettingsRead empty = parseSettingsText("");
    EXPECT_EQ(empty.errorNumber, 62);
    EXPECT_FALSE(empty.errorDescription.empty());
    EXPECT_EQ(portParameterText(empty.values), ",,,");
    EXPECT_EQ(decimalValue(empty.values.Comport), 0);

    const SettingsRead shortFile = parseSettingsText("[ComSettings]\r\nComport = 3\r\nIRQ = 4\r\n");
    EXPECT_EQ(shortFile.errorNumber, 62);
    EXPECT_EQ(shortFile.values.Comport, "3");  // what could be read is kept
    EXPECT_EQ(shortFile.values.Word_Length, "");
}

TEST_F(SettingsFileTest, MissingFileIsError53AndEveryValueEmpty)
{
    const SettingsRead read = readSettingsFile(path());
    EXPECT_EQ(read.errorNumber, 53);
    EXPECT_NE(read.errorDescription.find(kSettingsFileName), std::string::npos);
    EXPECT_EQ(portParameterText(read.values), ",,,");
}

TEST_F(SettingsFileTest, WriteThenReadRoundTrip)
{
    PortSettings values = dialogValues();
    values.Comport = " 2";
    values.IRQ = "odd";  // never offered by the dialog: written back as read
    std::string error;
    ASSERT_TRUE(writeSettingsFile(path(), values, &error)) << error;
    EXPECT_EQ(contents().substr(0, 29), "[ComSettings]\r\nComport =  2\r\n");
    const SettingsRead read = readSettingsFile(path());
    EXPECT_EQ(read.errorNumber, 0);
    EXPECT_EQ(read.values.Comport, "2");
    EXPECT_EQ(read.values.IRQ, "odd");
    EXPECT_EQ(decimalValue(read.values.Comport), 2);

    // Rewriting replaces the old content instead of appending to it.
    ASSERT_TRUE(writeSettingsFile(path(), dialogValues(), &error));
    EXPECT_EQ(contents(), kDialogFile);
}

TEST_F(SettingsFileTest, WriteFailureIsReported)
{
    std::string error;
    EXPECT_FALSE(writeSettingsFile((m_dir / "no_such_dir" / kSettingsFileName).string(), dialogValues(), &error));
    EXPECT_NE(error.find("no_such_dir"), std::string::npos);
}

TEST(DecimalValue, ReadsLeadingBlanksSignAndDigits)
{
    EXPECT_EQ(decimalValue(" 1"), 1);
    EXPECT_EQ(decimalValue("  12abc"), 12);
    EXPECT_EQ(decimalValue("-3"), -3);
    EXPECT_EQ(decimalValue("x1"), 0);
    EXPECT_EQ(decimalValue(""), 0);
    EXPECT_EQ(numberWithSign(1), " 1");
    EXPECT_EQ(numberWithSign(0), " 0");
    EXPECT_EQ(numberWithSign(-5), "-5");
}

}  // namespace
}  // namespace puolukka
