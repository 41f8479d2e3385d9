#include "filesystem/get_response.h"

#include <gtest/gtest.h>

#include "filesystem/explorer.h"
#include "scripted_card.h"

namespace puolukka {
namespace {

using test::ScriptedCard;

// A directory description: bytes 14 (characteristics), 15-17 (counts), 19-22 (code states).
std::string directory(const std::string& b14, const std::string& counts, const std::string& codes)
{
    return "0000" "4000" "3F00" "01" "0000000000" "0D" + b14 + counts + "00" + codes;
}

// An EF description: size (bytes 3-4), access (9-11), structure (14), record length (15).
std::string elementary(const std::string& size, const std::string& access, const std::string& structure,
                       const std::string& recordLength, const std::string& id = "6F3A")
{
    return "0000" + size + id + "04" "00" + access + "01" "02" + structure + recordLength;
}

TEST(DirectoryDecoding, CodeStatusBytes)
{
    const DirectoryTexts t = decodeDirectory(directory("03", "020A03", "838A0300"));
    EXPECT_EQ(t.pin1Status, "YES");
    EXPECT_EQ(t.pin1Left, "3");
    EXPECT_EQ(t.puk1Status, "YES");
    EXPECT_EQ(t.puk1Left, " 10");
    EXPECT_EQ(t.pin2Status, "NO");
    EXPECT_EQ(t.pin2Left, "3");
    EXPECT_EQ(t.puk2Status, "NO");
    EXPECT_EQ(t.puk2Left, "0");
    EXPECT_EQ(t.subDfNum, " 2");
    EXPECT_EQ(t.subEfNum, " 10");
    EXPECT_EQ(t.keys, " 3");
}

TEST(DirectoryDecoding, FileCharacteristics)
{
    struct Row {
        const char* byte14;
        const char* active;
        const char* state;
        const char* clock;
    };
    for (const Row& row : {Row{"91", "DISABLED", "Disabled", "YES"}, Row{"02", "ENABLED", "Enabled", "N/A"},
                           Row{"80", "DISABLED", "Disabled", "N/A"}, Row{"7D", "ENABLED", "Enabled", "YES"}}) {
        const DirectoryTexts t = decodeDirectory(directory(row.byte14, "000000", "00000000"));
        EXPECT_EQ(t.pin1Active, row.active) << row.byte14;
        EXPECT_EQ(t.chv1State, row.state) << row.byte14;
        EXPECT_EQ(t.clkStatus, row.clock) << row.byte14;
    }
}

TEST(DirectoryDecoding, ShortOrEmptyDescriptionReadsMissingBytesAsEmpty)
{
    for (const std::string& d : std::vector<std::string>{"", "0", "00004000", directory("91", "02", "")}) {
        const DirectoryTexts t = decodeDirectory(d);
        EXPECT_EQ(t.pin1Status, "NO");
        EXPECT_EQ(t.puk2Left, "0");
        EXPECT_EQ(t.keys, " 0");
    }
    EXPECT_EQ(decodeDirectory("").pin1Active, "ENABLED");
    EXPECT_EQ(decodeDirectory(directory("91", "02", "")).subDfNum, " 2");
}

TEST(FileDecoding, LinearFixedPhonebook)
{
    const FileTexts t = decodeFile(elementary("0118", "14F4FF", "01", "1C"), "EF-6F3A-ADN");
    EXPECT_EQ(t.sizeUnit, "Records");
    EXPECT_EQ(t.size, " 10");
    EXPECT_EQ(t.structure, "LINEAR FIXED");
    EXPECT_EQ(t.recordLength, " 28");
    EXPECT_EQ(t.fileId, "EF-6F3A-ADN/6F3A");
    EXPECT_EQ(t.fileType, "EF");
    EXPECT_EQ(t.increase, "N/A");
    EXPECT_EQ(t.readSeek, "CHV1 - PIN1");
    EXPECT_EQ(t.update, "ADMIN.");
    EXPECT_EQ(t.increaseCondition, "NEVER");
    EXPECT_EQ(t.rehabilitate, "NEVER");
    EXPECT_EQ(t.invalidate, "NEVER");
    EXPECT_EQ(t.fileStatus, "VALIDATED");
    EXPECT_EQ(t.followingLength, "02");
    EXPECT_EQ(t.rfu, "0000");
}

TEST(FileDecoding, TransparentFileCountsBytes)
{
    const FileTexts t = decodeFile(elementary("000A", "0F4F00", "00", "00"), "EF-2FE2-ICCID");
    EXPECT_EQ(t.sizeUnit, "Bytes");
    EXPECT_EQ(t.size, " 10");
    EXPECT_EQ(t.recordLength, " 0");
    EXPECT_EQ(t.structure, "TRANSPARENT");
}

TEST(FileDecoding, SizesAreUnsignedAndQuotientsShowTheirFraction)
{
    EXPECT_EQ(decodeFile(elementary("8000", "000000", "00", "00"), "").size, " 32768");
    EXPECT_EQ(decodeFile(elementary("FFFF", "000000", "00", "00"), "").size, " 65535");
    EXPECT_EQ(decodeFile(elementary("0126", "000000", "01", "1C"), "").size, " 10.5");       // 294 / 28
    EXPECT_EQ(decodeFile(elementary("0122", "000000", "01", "1C"), "").size, " 10.35714");   // 290 / 28
    EXPECT_EQ(decodeFile(elementary("FFFF", "000000", "03", "01"), "").size, " 65535");
    EXPECT_EQ(decodeFile(elementary("0001", "000000", "01", "FF"), "").size, " 0.003921569");
}

TEST(FileDecoding, UnknownCodesLeaveTheirLabels)
{
    const FileTexts t = decodeFile(elementary("000A", "000000", "02", "00"), "");
    EXPECT_FALSE(t.structure.has_value());
    const std::string odd = "0000000A6F05" "07" "40" "000000" "00" "02" "00" "00";
    const FileTexts u = decodeFile(odd, "");
    EXPECT_EQ(u.fileType, "UNKNOWN");
    EXPECT_FALSE(u.increase.has_value());
    EXPECT_EQ(u.fileStatus, "INVALIDATED");
}

TEST(FileDecoding, TruncatedDescriptionNeverDividesByZero)
{
    // Ends inside byte 15: no record length, so the size is counted in bytes.
    const FileTexts t = decodeFile("00000118", "EF-6F3A-ADN");
    EXPECT_EQ(t.sizeUnit, "Bytes");
    EXPECT_EQ(t.size, " 280");
    EXPECT_EQ(t.readSeek, "");
    EXPECT_EQ(t.fileId, "EF-6F3A-ADN/");
}

TEST(NumberTexts, AttemptsAccessAndQuotients)
{
    const char* attempts[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", " 10", " 11", " 12", " 13", " 14", " 15"};
    const char* access[] = {"ALWAYS", "CHV1 - PIN1", "CHV1 - CHV2", "RFU", "ADMIN.", "ADMIN.", "ADMIN.", "ADMIN.",
                            "ADMIN.", "ADMIN.", "ADMIN.", "ADMIN.", "ADMIN.", "ADMIN.", "ADMIN.", "NEVER"};
    const std::string digits = "0123456789ABCDEF";
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(attemptsText(digits.substr(i, 1)), attempts[i]);
        EXPECT_EQ(accessConditionText(digits.substr(i, 1)), access[i]);
    }
    EXPECT_EQ(byteValueText("FF"), " 255");
    EXPECT_EQ(quotientText(0), " 0");
    EXPECT_EQ(quotientText(12.25), " 12.25");
}

// The button itself over a scripted reader.

TEST(GetResponseButton, DirectoryDescriptionFillsTheFrame)
{
    ScriptedCard c;
    c.app.card.CurrentFile = "DF-7F10-TELECOM";
    c.app.card.CurrentDirectory = "DF-7F10-TELECOM";
    c.app.card.ResponseLength = "16";
    const std::string d = directory("91", "000C04", "8300850A");
    c.descriptionReply(d);
    const auto start = c.clock.nowUs();
    GetResp3_Click(c.app);

    EXPECT_EQ(c.writtenHex(), std::vector<std::string>{"A0C0000016"});
    EXPECT_GE(c.clock.nowUs() - start, 460'000);
    EXPECT_EQ(c.screen.text("RespMFDF"), "Response on TELECOM");
    EXPECT_EQ(c.app.card.AnswerHex, d + "9000");
    EXPECT_EQ(c.app.card.Chv1State, "Disabled");
    EXPECT_EQ(c.screen.text("PIN1Active"), "DISABLED");
    EXPECT_EQ(c.screen.text("CLKStatus"), "YES");
    EXPECT_EQ(c.screen.text("SubEFNum"), " 12");
    EXPECT_EQ(c.screen.text("Keys"), " 4");
    EXPECT_EQ(c.screen.text("PIN1Status"), "YES");
    EXPECT_EQ(c.screen.text("PIN1Left"), "3");
    EXPECT_EQ(c.screen.text("PUK1Left"), "0");
    EXPECT_EQ(c.screen.text("PIN2Left"), "5");
    EXPECT_EQ(c.screen.text("PUK2Left"), " 10");
    EXPECT_NE(c.screen.term.find("A0C0000016      = GET RESPONSE \r\n"), std::string::npos);
    EXPECT_NE(c.screen.term.find(d + "9000 = GET RESPONSE \r\n"), std::string::npos);
}

TEST(GetResponseButton, ElementaryDescriptionOpensTheWindow)
{
    ScriptedCard c;
    c.app.card.CurrentFile = "EF-6F3A-ADN";
    c.app.card.ResponseLength = "0F";
    c.screen.setText("GRL12", "old");
    c.descriptionReply(elementary("0118", "14F4FF", "01", "1C"));
    GetResp3_Click(c.app);

    EXPECT_TRUE(c.screen.visible("Gresponse"));
    EXPECT_FALSE(c.screen.termEnabled);
    EXPECT_EQ(c.screen.text("GRRec"), "Records");
    EXPECT_EQ(c.screen.text("GRL2"), " 10");
    EXPECT_EQ(c.screen.text("GRL3"), "EF-6F3A-ADN/6F3A");
    EXPECT_EQ(c.screen.text("GRL12"), "LINEAR FIXED");
    EXPECT_EQ(c.screen.text("GRL13"), " 28");
    EXPECT_EQ(c.screen.text("AccessCond"), "Access to ADN");
    EXPECT_EQ(c.screen.text("GRL6"), "CHV1 - PIN1");
    EXPECT_EQ(c.screen.text("ACS61"), "CHV1 - PIN1");
    EXPECT_EQ(c.screen.text("ACS62"), "ADMIN.");
    EXPECT_EQ(c.screen.text("GRL8"), "NEVER");
    EXPECT_EQ(c.screen.text("ACS63"), "NEVER");
    EXPECT_TRUE(c.screen.messageTexts().empty());

    GROK_Click(c.app);
    EXPECT_FALSE(c.screen.visible("Gresponse"));
}

TEST(GetResponseButton, NoDescriptionIsAnUnknownFile)
{
    for (const std::string answer : {"", "00"}) {
        ScriptedCard c;
        c.app.card.CurrentFile = "EF-6F49-????";
        c.app.card.ResponseLength = "04";
        c.screen.setVisible("Gresponse", true);
        c.screen.termEnabled = false;
        if (answer.empty())
            c.port.echo = false;  // nothing at all comes back
        else
            c.reply("C000");      // echo, procedure byte, then a lone 00
        GetResp3_Click(c.app);
        EXPECT_FALSE(c.screen.visible("Gresponse"));
        EXPECT_TRUE(c.screen.termEnabled);
        EXPECT_EQ(c.screen.messageTexts(), std::vector<std::string>{"Unknown file identifier !"});
        // Only the command line is shown; the empty answer line is not.
        EXPECT_EQ(c.screen.term.find("= GET RESPONSE"), c.screen.term.rfind("= GET RESPONSE"));
    }
}

TEST(GetResponseButton, NothingSelectedDoesNothing)
{
    ScriptedCard c;
    GetResp3_Click(c.app);
    c.app.card.CurrentFile = "X";
    GetResp3_Click(c.app);
    EXPECT_TRUE(c.port.writes.empty());
    EXPECT_TRUE(c.screen.transcript.empty());
}

}  // namespace
}  // namespace puolukka
