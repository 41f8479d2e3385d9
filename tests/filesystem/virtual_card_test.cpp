// The explorer against the virtual reader and its demo card.

#include <gtest/gtest.h>

#include "card_fixture.h"
#include "filesystem/catalogue.h"
#include "filesystem/explorer.h"
#include "filesystem/get_response.h"
#include "link/reset.h"
#include "sim/card_description.h"

namespace puolukka {
namespace {

using test::CardFixture;
using test::CardOptions;

// The identifiers of the SELECT commands the card received, in order.
std::vector<std::string> cardSelections(CardFixture& f)
{
    std::vector<std::string> ids;
    for (const sim::TraceEntry& e : f.port.trace()) {
        const std::string hex = sim::toHex(e.command);
        if (e.kind == sim::TraceEntry::Kind::Command && hex.substr(0, 4) == "A0A4")
            ids.push_back(hex.substr(10));
    }
    return ids;
}

// The commands of one instruction the card received, as hex.
std::vector<std::string> cardCommands(CardFixture& f, const std::string& instruction)
{
    std::vector<std::string> out;
    for (const sim::TraceEntry& e : f.port.trace()) {
        const std::string hex = sim::toHex(e.command);
        if (e.kind == sim::TraceEntry::Kind::Command && hex.substr(2, 2) == instruction)
            out.push_back(hex);
    }
    return out;
}

void selectFile(CardFixture& f, const std::string& name)
{
    f.screen.inputAnswers.push_back(name);
    EFDF_Click(f.app);
}

TEST(VirtualCard, EveryCatalogueRowSelectsItsPathOnTheCard)
{
    for (const CatalogueRow& row : catalogueRows()) {
        CardFixture f;
        Command1_Click(f.app);  // the card stands in the master file
        f.port.clearTrace();
        const std::string name(row.names[0]);
        selectFile(f, name);
        const auto ids = cardSelections(f);
        ASSERT_FALSE(ids.empty()) << name;
        EXPECT_EQ(ids.back(), row.identifier) << name;
        if (row.path != SelectionPath::FileOnly)
            EXPECT_EQ(ids.front(), "3F00") << name;
        EXPECT_EQ(f.app.card.CurrentFile, row.file) << name;
        EXPECT_EQ(f.app.card.CurrentDirectory, row.directory) << name;
    }
}

TEST(VirtualCard, PhonebookDescriptionShownAsTheCardGivesIt)
{
    CardFixture f(CardOptions{.adnRecordCount = 10});
    selectFile(f, "adn");
    EXPECT_EQ(cardSelections(f), (std::vector<std::string>{"3F00", "7F10", "6F3A"}));
    EXPECT_EQ(f.app.card.ResponseLength, "0F");
    GetResp3_Click(f.app);

    EXPECT_TRUE(f.screen.visible("Gresponse"));
    EXPECT_EQ(f.screen.text("GRRec"), "Records");
    EXPECT_EQ(f.screen.text("GRL2"), " 10");
    EXPECT_EQ(f.screen.text("GRL13"), " 28");
    EXPECT_EQ(f.screen.text("GRL12"), "LINEAR FIXED");
    EXPECT_EQ(f.screen.text("GRL3"), "EF-6F3A-ADN/6F3A");
    EXPECT_EQ(f.screen.text("AccessCond"), "Access to ADN");
    const int adn = f.card().fileIndex(0x6F3A);
    EXPECT_EQ(f.app.card.AnswerHex, sim::toHex(f.card().fileDescription(adn)) + "9000");
}

TEST(VirtualCard, DirectoryDescriptionOfTheMasterFile)
{
    CardFixture f;
    selectFile(f, "mf");
    GetResp3_Click(f.app);
    const DirectoryTexts t = decodeDirectory(sim::toHex(f.card().directoryDescription(0)));
    EXPECT_EQ(f.app.card.Chv1State, "Enabled");
    EXPECT_EQ(f.screen.text("PIN1Active"), "ENABLED");
    EXPECT_EQ(f.screen.text("PIN1Status"), "YES");
    EXPECT_EQ(f.screen.text("PIN1Left"), "3");
    EXPECT_EQ(f.screen.text("PUK1Left"), " 10");
    EXPECT_EQ(f.screen.text("SubDFNum"), t.subDfNum);
    EXPECT_EQ(f.screen.text("Keys"), t.keys);
    EXPECT_EQ(f.screen.text("RespMFDF"), "Response on ROOT");

    CardFixture open(CardOptions{.pin1Enabled = false});
    selectFile(open, "telecom");
    GetResp3_Click(open.app);
    EXPECT_EQ(open.app.card.Chv1State, "Disabled");
}

TEST(VirtualCard, UnknownFileOnTheCard)
{
    CardFixture f;
    selectFile(f, "6f49");
    EXPECT_EQ(cardSelections(f), std::vector<std::string>{"6F49"});
    GetResp3_Click(f.app);
    EXPECT_EQ(f.screen.messageTexts(), std::vector<std::string>{"Unknown file identifier !"});
    EXPECT_FALSE(f.screen.visible("Gresponse"));
}

TEST(VirtualCard, ReadTenPhonebookRecords)
{
    CardFixture f(CardOptions{.pin1Enabled = false, .adnRecordCount = 10});
    selectFile(f, "adn");
    f.port.clearTrace();
    RRecord_Click(f.app);
    const auto reads = cardCommands(f, "B2");
    const std::vector<std::string> expected = {"A0B201041C", "A0B202041C", "A0B203041C", "A0B204041C",
                                               "A0B205041C", "A0B206041C", "A0B207041C", "A0B208041C",
                                               "A0B209041C", "A0B20A041C"};
    EXPECT_EQ(reads, expected);
    for (const sim::TraceEntry& e : f.port.trace())
        if (sim::toHex(e.command).substr(2, 2) == "B2")
            EXPECT_EQ(e.statusWord(), "9000");
    // The first record's bytes were shown as the card's answer.
    EXPECT_NE(f.screen.term.find(sim::toHex(f.adnRecord(1), true)), std::string::npos);
}

TEST(VirtualCard, ReadTransparentFile)
{
    CardFixture f;
    selectFile(f, "iccid");
    f.port.clearTrace();
    Rbinary_Click(f.app);
    EXPECT_EQ(cardCommands(f, "B0"), std::vector<std::string>{"A0B000000A"});
    EXPECT_NE(f.screen.term.find("A0B000000A EF CONTENT \r\n"), std::string::npos);
    EXPECT_NE(f.screen.term.find("98 53 08 21 43 65 87 09 21 F3 90 00"), std::string::npos);
}

TEST(VirtualCard, ReadLongTransparentFileInPieces)
{
    sim::CardDescription card = test::makeCard(CardOptions{});
    sim::CardFile big;
    big.id = 0x2F99;
    big.name = "BIG";
    big.parent = 0;
    for (int i = 0; i < 600; ++i)
        big.data += char(i % 251);
    big.access.read = 0;
    card.files.push_back(big);
    CardFixture f(card);
    selectFile(f, "2f99");
    f.port.clearTrace();
    Rbinary_Click(f.app);

    EXPECT_EQ(cardCommands(f, "B0"), (std::vector<std::string>{"A0B00000FF", "A0B000FFFF", "A0B001FE5A"}));
    std::string content;
    for (const sim::TraceEntry& e : f.port.trace()) {
        EXPECT_NE(e.kind, sim::TraceEntry::Kind::Ignored) << e.note;
        if (sim::toHex(e.command).substr(2, 2) == "B0") {
            EXPECT_EQ(e.statusWord(), "9000");
            content += e.answer.substr(1, e.answer.size() - 3);  // without procedure byte and status
        }
    }
    EXPECT_EQ(content, big.data);
    // Every piece was read in its own exchange, so the last answer is the last piece.
    EXPECT_EQ(f.app.card.AnswerHex, "A0B001FE5A" "B0" + sim::toHex(big.data.substr(510)) + "9000");
}

}  // namespace
}  // namespace puolukka
