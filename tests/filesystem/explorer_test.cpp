#include "filesystem/explorer.h"

#include <set>

#include <gtest/gtest.h>

#include "filesystem/catalogue.h"
#include "scripted_card.h"

namespace puolukka {
namespace {

using test::ScriptedCard;

// The identifiers selected, in order (every two-byte write is a SELECT's identifier).
std::vector<std::string> selected(const ScriptedCard& c)
{
    std::vector<std::string> ids;
    for (const std::string& w : c.writtenHex())
        if (w.size() == 4)
            ids.push_back(w);
    return ids;
}

std::string lower(std::string s)
{
    for (char& ch : s)
        if (ch >= 'A' && ch <= 'Z')
            ch = char(ch - 'A' + 'a');
    return s;
}

struct Typed {
    ScriptedCard c;
    explicit Typed(const std::string& text)
    {
        c.app.card.CurrentDirectory = "DF-7F20-GSM";
        c.app.card.CurrentFile = "EF-6F07-IMSI";
        c.app.card.ShowInTerminal = 0;
        c.screen.setEnabled("GetResp3", false);
        c.screen.inputAnswers.push_back(text);
        EFDF_Click(c.app);
    }
};

TEST(SelectFile, PromptAndLowerCaseName)
{
    Typed t("adn");
    const auto inputs = t.c.screen.boxes("input");
    ASSERT_EQ(inputs.size(), 1u);
    EXPECT_EQ(inputs[0].text, "Please enter EF/DF Standard NAME :");
    EXPECT_EQ(inputs[0].title, "SELECT EF or DF");
    EXPECT_EQ(selected(t.c), (std::vector<std::string>{"3F00", "7F10", "6F3A"}));
    EXPECT_EQ(t.c.app.card.CurrentDirectory, "DF-7F10-TELECOM");
    EXPECT_EQ(t.c.app.card.CurrentFile, "EF-6F3A-ADN");
    EXPECT_EQ(t.c.screen.text("Label3"), " DF-7F10-TELECOM");
    EXPECT_TRUE(t.c.screen.enabled("GetResp3"));
    EXPECT_EQ(t.c.app.card.ShowInTerminal, 1);
    EXPECT_NE(t.c.screen.term.find("6F3A            = ADN\r\n"), std::string::npos);
}

TEST(SelectFile, AliasesReachTheSameFile)
{
    for (const char* name : {"pin1", "CHV1", "0000", "Pin1"}) {
        Typed t(name);
        EXPECT_EQ(selected(t.c), (std::vector<std::string>{"3F00", "0000"})) << name;
        EXPECT_EQ(t.c.app.card.CurrentFile, "EF-0000-CHV1") << name;
        EXPECT_EQ(t.c.app.card.CurrentDirectory, "MF-3F00-ROOT") << name;
    }
    for (const char* name : {"keyext", "Key Ext", "KEYEXT", "0011"}) {
        Typed t(name);
        EXPECT_EQ(selected(t.c), (std::vector<std::string>{"3F00", "0011"})) << name;
        EXPECT_EQ(t.c.app.card.CurrentFile, "EF-0011-CHV1") << name;
    }
}

TEST(SelectFile, UnknownShortTextIsAnIdentifierInTheCurrentDirectory)
{
    Typed t("6f49");
    EXPECT_EQ(selected(t.c), std::vector<std::string>{"6F49"});
    EXPECT_EQ(t.c.app.card.CurrentFile, "EF-6F49-????");
    EXPECT_EQ(t.c.app.card.CurrentDirectory, "DF-7F20-GSM");
    EXPECT_EQ(t.c.screen.text("Label3"), " DF-7F20-GSM");

    // A leading blank makes " ADN" four characters: sent as they convert (0A D0).
    Typed blank(" ADN");
    EXPECT_EQ(selected(blank.c), std::vector<std::string>{"0AD0"});
    EXPECT_EQ(blank.c.app.card.CurrentFile, "EF- ADN-????");
}

TEST(SelectFile, LongUnknownTextAndCancelSendNothing)
{
    for (const char* text : {"12345", "ääääa", "", "KEY EXT1"}) {
        Typed t(text);
        EXPECT_TRUE(t.c.port.writes.empty()) << text;
        EXPECT_EQ(t.c.app.card.CurrentFile, "EF-6F07-IMSI");
        EXPECT_EQ(t.c.screen.text("Label3"), "");
        EXPECT_FALSE(t.c.screen.enabled("GetResp3"));
        EXPECT_EQ(t.c.app.card.ShowInTerminal, 1);
        const auto messages = t.c.screen.boxes("message");
        if (std::string(text).empty()) {
            EXPECT_TRUE(messages.empty());
        } else {
            ASSERT_EQ(messages.size(), 1u) << text;
            EXPECT_EQ(messages[0].text, " Wrong File identifier '");
            EXPECT_EQ(messages[0].title, "Puolukka");
        }
    }
    // Four characters, even when not ASCII, are still tried as an identifier.
    Typed four("ääää");
    EXPECT_EQ(four.c.port.writes.size(), 2u);
}

TEST(SelectFile, ServiceDiallingNumbers)
{
    Typed t("sdn");
    EXPECT_EQ(selected(t.c), (std::vector<std::string>{"3F00", "7F10", "6F49"}));
    EXPECT_EQ(t.c.app.card.CurrentFile, "EF-6F49-SDN");
    EXPECT_EQ(t.c.app.card.CurrentDirectory, "DF-7F10-TELECOM");
}

TEST(SelectFile, SpecialDisplayNames)
{
    struct Row {
        const char* typed;
        const char* directory;
        const char* file;
    };
    for (const Row& r : {Row{"kc", "DF-7F20-GSM", "EF-6F20-Kc"}, Row{"6fb5", "DF-7F20-GSM", "EF-6FB5-eMLPP"},
                         Row{"aaem", "DF-7F20-GSM", "EF-6FB6-AAeM"}, Row{"KcGPRS", "DF-7F20-GSM", "EF-6F52-KcPRS"},
                         Row{"icc", "MF-3F00-ROOT", "EF-0002-ICC"}, Row{"globst", "DF-5F31-GOBST", "DF-5F31-GOBST"},
                         Row{"root", "MF-3F00-ROOT", "MF-3F00-ROOT"}, Row{"2fe4", "MF-3F00-ROOT", "EF-2FE4-????"}}) {
        Typed t(r.typed);
        EXPECT_EQ(t.c.app.card.CurrentDirectory, r.directory) << r.typed;
        EXPECT_EQ(t.c.app.card.CurrentFile, r.file) << r.typed;
    }
}

// The path a file needs, worked out from where it lives.
std::vector<std::string> expectedPath(const CatalogueRow& row, const std::string& name)
{
    const std::string id(row.identifier);
    const std::string dir(row.directory);
    const std::string file(row.file);
    if (id == "0100" || id == "2FE4" || id == "2FE5" || (id == "7F22" && name != "IS41"))
        return {id};
    if (id == "3F00")
        return {"3F00"};
    if (dir == "MF-3F00-ROOT" || id == "7F22")
        return {"3F00", id};
    if (file == dir && dir.substr(3, 2) == "7F")
        return {"3F00", id};
    if (dir.substr(3, 2) == "5F")
        return {"3F00", "7F20", id};
    return {"3F00", dir.substr(3, 4), id};
}

TEST(Catalogue, EveryNameOfEveryRowSelectsItsFile)
{
    int names = 0;
    for (const CatalogueRow& row : catalogueRows()) {
        for (std::string_view n : row.names) {
            if (n.empty())
                continue;
            ++names;
            const std::string name(n);
            Typed t(lower(name));
            EXPECT_EQ(selected(t.c), expectedPath(row, name)) << name;
            EXPECT_EQ(t.c.app.card.CurrentDirectory, row.directory) << name;
            EXPECT_EQ(t.c.app.card.CurrentFile, row.file) << name;
            EXPECT_EQ(t.c.screen.text("Label3"), " " + std::string(row.directory)) << name;
        }
    }
    EXPECT_EQ(names, 40 + 2 * 31 + 2 * 14 + 1);
}

TEST(Catalogue, RowsAreWellFormed)
{
    std::set<std::string> names;
    int rows = 0;
    for (const CatalogueRow& row : catalogueRows()) {
        ++rows;
        const std::string file(row.file);
        const std::string dir(row.directory);
        EXPECT_EQ(file.substr(3, 4), row.identifier) << file;
        EXPECT_EQ(file[7], '-') << file;
        EXPECT_EQ(dir[7], '-') << dir;
        for (std::string_view n : row.names) {
            if (n.empty())
                continue;
            EXPECT_TRUE(names.insert(std::string(n)).second) << "name used twice: " << n;
            EXPECT_EQ(upperCase(std::string(n)), n);
        }
    }
    EXPECT_EQ(rows, 20 + 31 + 14 + 1);
    EXPECT_EQ(findCatalogueRow("6F49"), nullptr);
    EXPECT_EQ(findCatalogueRow(""), nullptr);
    EXPECT_EQ(findCatalogueRow(" ADN"), nullptr);
}

}  // namespace
}  // namespace puolukka
