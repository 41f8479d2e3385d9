#include <gtest/gtest.h>

#include "filesystem/explorer.h"
#include "scripted_card.h"

namespace puolukka {
namespace {

using test::ScriptedCard;

// An EF description with the size (bytes 3-4), structure (14) and record length (15).
std::string description(const std::string& size, const std::string& structure, const std::string& recordLength)
{
    return "0000" + size + "6F3A" "04" "00" "11F4FF" "01" "02" + structure + recordLength;
}

// The silent re-selection and the GET RESPONSE, answered with the description.
void describe(ScriptedCard& c, const std::string& d)
{
    c.app.card.CurrentFile = "EF-6F3A-ADN";
    c.selectReply("0F");
    c.descriptionReply(d);
}

std::vector<std::string> commandsAfterDescription(const ScriptedCard& c)
{
    auto all = c.writtenHex();
    return {all.begin() + std::min<std::size_t>(3, all.size()), all.end()};
}

TEST(ReadRecords, TenRecordsOfTwentyEightBytes)
{
    ScriptedCard c;
    describe(c, description("0118", "01", "1C"));
    c.screen.setEnabled("GetResp3", true);
    RRecord_Click(c.app);

    const auto all = c.writtenHex();
    ASSERT_GE(all.size(), 3u);
    EXPECT_EQ(all[0], "A0A4000002");
    EXPECT_EQ(all[1], "6F3A");
    EXPECT_EQ(all[2], "A0C000000F");
    const std::vector<std::string> expected = {"A0B201041C", "A0B202041C", "A0B203041C", "A0B204041C",
                                               "A0B205041C", "A0B206041C", "A0B207041C", "A0B208041C",
                                               "A0B209041C", "A0B20A041C"};
    EXPECT_EQ(commandsAfterDescription(c), expected);
    EXPECT_EQ(c.app.card.CardDelay, 75);
    EXPECT_FALSE(c.screen.enabled("GetResp3"));
    EXPECT_NE(c.screen.term.find("A0C000000F GET RESPONSE ON EF \r\n"), std::string::npos);
    EXPECT_TRUE(c.screen.messageTexts().empty());
}

TEST(ReadRecords, TransparentFileStillAsksForRecordOne)
{
    ScriptedCard c;
    describe(c, description("000A", "00", "00"));
    RRecord_Click(c.app);
    EXPECT_EQ(commandsAfterDescription(c), std::vector<std::string>{"A0B2010400"});
}

TEST(ReadRecords, NoDescriptionAtAll)
{
    ScriptedCard c;
    c.app.card.CurrentFile = "EF-6F3A-ADN";
    c.port.echo = false;  // an empty reader: nothing comes back
    RRecord_Click(c.app);
    EXPECT_EQ(commandsAfterDescription(c), std::vector<std::string>{"A0B20104"});
}

TEST(ReadRecords, AtMost255RecordsAreAskedFor)
{
    ScriptedCard c;
    describe(c, description("FFFF", "01", "01"));
    RRecord_Click(c.app);
    const auto commands = commandsAfterDescription(c);
    ASSERT_EQ(commands.size(), 255u);
    EXPECT_EQ(commands.back(), "A0B2FF0401");
    EXPECT_EQ(c.screen.messageTexts(),
              std::vector<std::string>{"The file holds 65535 records; only records 1 to 255 can be read."});
}

TEST(ReadBinary, ShortFileInOneCommand)
{
    ScriptedCard c;
    describe(c, description("000A", "00", "00"));
    Rbinary_Click(c.app);
    EXPECT_EQ(commandsAfterDescription(c), std::vector<std::string>{"A0B000000A"});
    EXPECT_NE(c.screen.term.find("A0B000000A EF CONTENT \r\n"), std::string::npos);
    // The GET RESPONSE line is logged, never shown.
    EXPECT_EQ(c.screen.term.find("GET RESPONSE ON EF"), std::string::npos);
    EXPECT_EQ(c.app.card.ShowInTerminal, 1);
}

TEST(ReadBinary, LongFileInPiecesByOffset)
{
    ScriptedCard c;
    describe(c, description("0200", "00", "00"));
    Rbinary_Click(c.app);
    EXPECT_EQ(commandsAfterDescription(c), (std::vector<std::string>{"A0B00000FF", "A0B000FFFF", "A0B001FE02"}));
}

TEST(ReadBinary, NoDescriptionSendsWhatThereIs)
{
    ScriptedCard c;
    c.app.card.CurrentFile = "EF-6F3A-ADN";
    c.port.echo = false;
    Rbinary_Click(c.app);
    EXPECT_EQ(commandsAfterDescription(c), std::vector<std::string>{"A0B000"});
}

}  // namespace
}  // namespace puolukka
