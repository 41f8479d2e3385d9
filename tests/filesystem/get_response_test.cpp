#include "filesystem/get_response.h"

#include "filesystem/explorer.h"
#include "scripted_card.h"

namespace puolukka {
namespace {

using test::ScriptedCard;
using test::Strings;

// The texts of these controls, joined with "|".
std::string shown(test::ScriptedScreen& screen, const Strings& controls)
{
    std::string out;
    for (const std::string& control : controls)
        out += (out.empty() ? "" : "|") + screen.text(control);
    return out;
}

TEST(GetResponse, DirectoryDescriptionFillsTheFrame)
{
    // Bytes 14 (characteristics), 15-17 (counts), 19-22 (code states).
    auto directory = [](const std::string& b14, const std::string& counts, const std::string& codes) {
        return "0000" "4000" "3F00" "01" "0000000000" "0D" + b14 + counts + "00" + codes;
    };
    // CHV1 state, then the frame: PIN1Active CLKStatus | SubDFNum SubEFNum Keys | PIN1 PIN2 PUK1 PUK2 (status, attempts)
    for (const auto& [description, texts] : std::vector<std::pair<std::string, std::string>>{
             {directory("91", "000C04", "8300850A"), "Disabled|DISABLED|YES| 0| 12| 4|YES|3|YES|5|NO|0|NO| 10"},
             {directory("02", "020A03", "838A0300"), "Enabled|ENABLED|N/A| 2| 10| 3|YES|3|NO|3|YES| 10|NO|0"},
             {directory("7D", "000000", "00000000"), "Enabled|ENABLED|YES| 0| 0| 0|NO|0|NO|0|NO|0|NO|0"}}) {
        SCOPED_TRACE(description);
        ScriptedCard c;
        c.app.card.CurrentFile = c.app.card.CurrentDirectory = "DF-7F10-TELECOM", c.app.card.ResponseLength = "16";
        c.descriptionReply(description);
        GetResp3_Click(c.app);
        EXPECT_EQ(c.written(), Strings{"A0C0000016"});
        EXPECT_EQ(c.app.card.AnswerHex, description + "9000");
        EXPECT_EQ(c.screen.text("RespMFDF"), "Response on TELECOM");
        EXPECT_EQ(c.app.card.Chv1State + "|" + shown(c.screen, {"PIN1Active", "CLKStatus", "SubDFNum", "SubEFNum", "Keys",
                      "PIN1Status", "PIN1Left", "PIN2Status", "PIN2Left", "PUK1Status", "PUK1Left", "PUK2Status", "PUK2Left"}),
                  texts);
        test::expectInOrder(c.screen.term, {"A0C0000016      = GET RESPONSE \r\n", description + "9000 = GET RESPONSE \r\n"});
    }
}

// An EF description: size (bytes 3-4), INCREASE flag (8), structure (14), record length (15).
std::string elementary(const std::string& size, const std::string& structure, const std::string& length,
                       const std::string& increase = "00")
{
    return "0000" + size + "6F3A" "04" + increase + "14F4FF" "01" "02" + structure + length;
}

TEST(GetResponse, ElementaryDescriptionOpensTheWindow)
{
    ScriptedCard c;
    c.app.card.CurrentFile = "EF-6F3A-ADN", c.app.card.ResponseLength = "0F";
    c.descriptionReply(elementary("0118", "01", "1C"));
    GetResp3_Click(c.app);
    EXPECT_EQ(c.written(), Strings{"A0C000000F"});
    EXPECT_TRUE(c.screen.visible("Gresponse") && !c.screen.termEnabled && c.screen.messageTexts().empty());
    EXPECT_EQ(shown(c.screen, {"GRL1", "GRRec", "GRL2", "GRL3", "GRL4", "GRL5", "GRL6", "GRL7", "GRL8", "GRL9", "GRL10",
                               "GRL11", "GRL81", "GRL12", "GRL13", "AccessCond"}),
              "0000|Records| 10|EF-6F3A-ADN/6F3A|EF||CHV1 - PIN1|ADMIN.|NEVER|NEVER|NEVER|VALIDATED|02|LINEAR FIXED| 28|"
              "Access to ADN");
    EXPECT_EQ(shown(c.screen, {"ACS61", "ACS62", "ACS63", "ACS64", "ACS65"}), "CHV1 - PIN1|ADMIN.|NEVER|NEVER|NEVER");
    GROK_Click(c.app);
    EXPECT_FALSE(c.screen.visible("Gresponse"));
}

TEST(GetResponse, FileDecoding)
{
    // unit|size|record length|structure|type|increase|status|file ("-": the label keeps its text)
    for (const auto& [description, texts] : std::vector<std::pair<std::string, std::string>>{
             {elementary("000A", "00", "00"), "Bytes| 10| 0|TRANSPARENT|EF||VALIDATED|EF-6F3A-ADN/6F3A"},
             {elementary("FFFF", "00", "00"), "Bytes| 65535| 0|TRANSPARENT|EF||VALIDATED|EF-6F3A-ADN/6F3A"},
             {elementary("0126", "01", "1C"), "Records| 10.5| 28|LINEAR FIXED|EF||VALIDATED|EF-6F3A-ADN/6F3A"},
             {elementary("FFFF", "03", "01"), "Records| 65535| 1|CYCLIC|EF|N/A|VALIDATED|EF-6F3A-ADN/6F3A"},
             {elementary("0001", "01", "FF"), "Records| 0.003921569| 255|LINEAR FIXED|EF||VALIDATED|EF-6F3A-ADN/6F3A"},
             {elementary("000A", "02", "00"), "Bytes| 10| 0|-|EF||VALIDATED|EF-6F3A-ADN/6F3A"},
             // INCREASE allowed is b7 (40) of byte 8, for a cyclic file only; b8 is RFU.
             {elementary("0030", "03", "03", "40"), "Records| 16| 3|CYCLIC|EF|Y|VALIDATED|EF-6F3A-ADN/6F3A"},
             {elementary("0030", "03", "03", "80"), "Records| 16| 3|CYCLIC|EF|N/A|VALIDATED|EF-6F3A-ADN/6F3A"},
             {elementary("0030", "01", "03", "40"), "Records| 16| 3|LINEAR FIXED|EF||VALIDATED|EF-6F3A-ADN/6F3A"},
             {"0000000A6F05" "07" "40" "000000" "00" "02" "00" "00",
              "Bytes| 10| 0|TRANSPARENT|UNKNOWN||INVALIDATED|EF-6F3A-ADN/6F05"},
             // Ends inside byte 15: no record length, so never a division by zero.
             {"00000118", "Bytes| 280| 0|-|UNKNOWN||INVALIDATED|EF-6F3A-ADN/"}}) {
        const FileTexts t = decodeFile(description, "EF-6F3A-ADN");
        EXPECT_EQ(t.sizeUnit + "|" + t.size + "|" + t.recordLength + "|" + t.structure.value_or("-") + "|" + t.fileType +
                      "|" + t.increase + "|" + t.fileStatus + "|" + t.fileId,
                  texts) << description;
    }
    // The window: a cyclic file's flag is replaced, not kept, by the next file's description.
    ScriptedCard c;
    c.app.card.CurrentFile = "EF-6F3A-ADN", c.app.card.ResponseLength = "0F";
    c.descriptionReply(elementary("0030", "03", "03", "40"));
    c.descriptionReply(elementary("000A", "00", "00"));
    GetResp3_Click(c.app);
    EXPECT_EQ(c.screen.text("GRL5"), "Y");
    GetResp3_Click(c.app);
    EXPECT_EQ(c.screen.text("GRL5"), "");
}

TEST(GetResponse, AttemptsAndAccessConditions)
{
    std::string texts;
    for (char digit : std::string("0123456789ABCDEF"))
        texts += attemptsText({digit}) + "=" + accessConditionText({digit}) + ",";
    EXPECT_EQ(texts, "0=ALWAYS,1=CHV1 - PIN1,2=CHV1 - CHV2,3=RFU,4=ADMIN.,5=ADMIN.,6=ADMIN.,7=ADMIN.,8=ADMIN.,9=ADMIN.,"
                     " 10=ADMIN., 11=ADMIN., 12=ADMIN., 13=ADMIN., 14=ADMIN., 15=NEVER,");
    EXPECT_EQ(byteValueText("FF") + quotientText(0) + quotientText(12.25), " 255 0 12.25");
}

TEST(GetResponse, AShortDescriptionIsToldNotDecoded)
{
    const std::string full = "0000" "4000" "3F00" "01" "0000000000" "0D" "91" "000C04" "00" "8300850A";
    for (const auto& [file, description, message] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {"DF-7F10-TELECOM", full.substr(0, 42), "Incomplete description: 21 of 22 bytes !"},
             {"EF-6F3A-ADN", elementary("0118", "01", ""), "Incomplete description: 14 of 15 bytes !"},
             {"EF-6F3A-ADN", elementary("0118", "", ""), "Incomplete description: 13 of 14 bytes !"},
             {"EF-6F07-IMSI", elementary("0009", "00", ""), ""}}) {  // a transparent EF needs no record length
        SCOPED_TRACE(description);
        ScriptedCard c;
        c.app.card.CurrentFile = c.app.card.CurrentDirectory = file;
        c.app.card.ResponseLength = bytesToHex(std::string(1, char(description.size() / 2)));
        c.screen.setText("PIN1Active", "ENABLED"), c.screen.setVisible("Gresponse", true);
        c.descriptionReply(description);
        GetResp3_Click(c.app);
        EXPECT_EQ(c.screen.messageTexts(), message.empty() ? Strings{} : Strings{message});
        EXPECT_EQ(c.screen.text("PIN1Active") + c.app.card.Chv1State, "ENABLED");
        EXPECT_EQ(c.screen.visible("Gresponse"), message.empty() || file[0] == 'D');
        EXPECT_EQ(c.screen.text("GRL2").empty(), !message.empty());
    }
}

TEST(GetResponse, NoDescriptionIsAnUnknownFile)
{
    for (const std::string answer : {"", "00"}) {
        ScriptedCard c;
        GetResp3_Click(c.app);  // nothing selected: nothing sent, nothing shown
        EXPECT_TRUE(c.port.writes.empty() && c.screen.transcript.empty());
        c.app.card.CurrentFile = "EF-6F49-????", c.app.card.ResponseLength = "04";
        c.screen.setVisible("Gresponse", true), c.screen.termEnabled = false;
        c.port.echo = !answer.empty();  // nothing at all comes back, or echo, procedure byte and a lone 00
        c.reply("C000");
        GetResp3_Click(c.app);
        EXPECT_TRUE(!c.screen.visible("Gresponse") && c.screen.termEnabled);
        EXPECT_EQ(c.screen.messageTexts(), Strings{"Unknown file identifier !"});
        // Only the command line is shown; the empty answer line is not.
        EXPECT_EQ(c.screen.term.find("= GET RESPONSE"), c.screen.term.rfind("= GET RESPONSE"));
    }
}

}  // namespace
}  // namespace puolukka
