#include "filesystem/explorer.h"

#include <algorithm>
#include <sstream>

#include "link/exchange.h"
#include "link/reset.h"
#include "scripted_card.h"

namespace puolukka {
namespace {

using test::Strings;

TEST(SelectFile, TypedTexts)
{
    struct Row {
        const char* typed;
        Strings selected;  // the identifiers; none: nothing is sent, and the file stays
        const char* directory = "DF-7F20-GSM";
        const char* file = "EF-6F07-IMSI";
    };
    const char *root = "MF-3F00-ROOT", *gsm = "DF-7F20-GSM";
    for (const Row& r : {Row{"adn", {"3F00", "7F10", "6F3A"}, "DF-7F10-TELECOM", "EF-6F3A-ADN"},
                         Row{"Pin1", {"3F00", "0000"}, root, "EF-0000-CHV1"},
                         Row{"Key Ext", {"3F00", "0011"}, root, "EF-0011-CHV1"},
                         // Not in the catalogue: four characters are an identifier in the current directory,
                         // sent as they convert (even when not hex).
                         Row{"6f49", {"6F49"}, gsm, "EF-6F49-????"}, Row{" ADN", {"0AD0"}, gsm, "EF- ADN-????"},
                         Row{"ääää", {"0000"}, gsm, "EF-ÄÄÄÄ-????"},
                         // Longer ones are refused; a cancel asks nothing more.
                         Row{"12345", {}}, Row{"ääääa", {}}, Row{"KEY EXT1", {}}, Row{"", {}}}) {
        SCOPED_TRACE(r.typed);
        test::ScriptedCard c;
        c.app.card.CurrentDirectory = gsm, c.app.card.CurrentFile = "EF-6F07-IMSI", c.app.card.ShowInTerminal = 0;
        c.screen.setEnabled("GetResp3", false);
        c.screen.inputAnswers.push_back(r.typed);
        for (int i = 0; i < 3; ++i)
            c.selectReply("0F");
        EFDF_Click(c.app);
        const auto input = c.screen.boxes("input").at(0);
        EXPECT_EQ(input.title + "|" + input.text, "SELECT EF or DF|Please enter EF/DF Standard NAME :");
        Strings ids;  // every write after a SELECT header is its identifier
        for (std::size_t i = 1; i < c.port.writes.size(); i += 2)
            ids.push_back(c.written()[i]);
        EXPECT_EQ(ids, r.selected);
        const bool sent = !r.selected.empty();
        EXPECT_EQ(c.port.writes.size(), 2 * ids.size());
        EXPECT_EQ(c.app.card.CurrentDirectory + " " + c.app.card.CurrentFile, std::string(r.directory) + " " + r.file);
        EXPECT_EQ(c.screen.text("Label3"), sent ? " " + std::string(r.directory) : "");
        EXPECT_EQ(c.screen.enabled("GetResp3"), sent);
        EXPECT_EQ(c.app.card.ShowInTerminal, 1);
        EXPECT_EQ(c.screen.messageTexts(), sent || !*r.typed ? Strings{} : Strings{" Wrong File identifier '"});
        EXPECT_TRUE(c.screen.boxes("message").empty() || c.screen.boxes("message")[0].title == "Puolukka");
    }
}

// Test_Response selects again the identifier a typed text selected; upper case covers Latin-1.
TEST(SelectFile, ReadsSelectAgainWhatWasTypedOutsideAscii)
{
    const std::tuple<const char*, const char*, const char*> rows[] = {
        {"äbcd", "EF-ÄBCD-????", "0BCD"}, {"äbc", "EF-ÄBC-????", "0BC0"}, {"6fé", "EF-6FÉ-????", "6F00"},
        // One or two characters still send the two bytes the header announces.
        {"6f", "EF-6F-????", "6F00"}, {"a", "EF-A-????", "A000"},
        {"ÿ÷ßx", "EF-ÿ÷ßX-????", "0000"},  // no Latin-1 capital, not a letter: unchanged
    };
    for (const auto& [typed, file, identifier] : rows) {
        SCOPED_TRACE(typed);
        test::ScriptedCard c;
        c.screen.inputAnswers.push_back(typed);
        c.selectReply("0F"), c.selectReply("0F");
        EFDF_Click(c.app);
        Test_Response(c.app);
        EXPECT_EQ(c.app.card.CurrentFile, file);
        EXPECT_EQ(c.written(), (Strings{"A0A4000002", identifier, "A0A4000002", identifier}));
    }
}

// Names with quirks of their own: accepted names ("|" a blank inside a name), the identifiers
// selected in order, CurrentDirectory, CurrentFile.
struct Expected {
    std::string names, path, directory, file;
};

std::vector<Expected> expectedCatalogue()
{
    const std::string root = "MF-3F00-ROOT", gsm = "DF-7F20-GSM", telecom = "DF-7F10-TELECOM";
    return {
        {"MF 3F00 ROOT", "3F00", root, root},
        {"CHV1 0000 PIN1", "3F00 0000", root, "EF-0000-CHV1"},
        {"0011 KeyExt Key|Ext", "3F00 0011", root, "EF-0011-CHV1"},
        {"CHV2 0100 PIN2", "0100", root, "EF-0100-CHV2"},
        {"2FE4", "2FE4", root, "EF-2FE4-????"},
        {"IS-41 7F22", "7F22", "DF-7F22-IS41", "DF-7F22-IS41"},
        {"IS41", "3F00 7F22", "DF-7F22-IS41", "DF-7F22-IS41"},
        {"GLOBST 5F31", "3F00 7F20 5F31", "DF-5F31-GOBST", "DF-5F31-GOBST"},
        {"SDN", "3F00 7F10 6F49", telecom, "EF-6F49-SDN"},  // GSM 11.11 10.3.2
        {"KC 6F20", "3F00 7F20 6F20", gsm, "EF-6F20-Kc"},
        {"KCGPRS 6F52", "3F00 7F20 6F52", gsm, "EF-6F52-KcPRS"},
        {"ADN 6F3A", "3F00 7F10 6F3A", telecom, "EF-6F3A-ADN"},
    };
}

Strings namesOf(const Expected& row)
{
    Strings names;
    std::istringstream in(row.names);
    for (std::string name; in >> name;) {
        std::replace(name.begin(), name.end(), '|', ' ');
        names.push_back(name);
    }
    return names;
}

// Each name, typed in lower case, selects its file on the card from the master file.
TEST(Catalogue, NamesSelectTheirFiles)
{
    for (const Expected& row : expectedCatalogue()) {
        for (const std::string& name : namesOf(row)) {
            SCOPED_TRACE(name);
            test::CardFixture f;
            Command1_Click(f.app);
            f.port.clearTrace();
            std::string typed = name;
            std::transform(typed.begin(), typed.end(), typed.begin(), [](unsigned char c) { return char(std::tolower(c)); });
            f.screen.inputAnswers.push_back(typed);
            EFDF_Click(f.app);
            std::string path;  // the SELECTs' identifiers, and the status of the last
            std::string last;
            for (const sim::TraceEntry& e : f.port.trace())
                if (e.kind == sim::TraceEntry::Kind::Command && sim::toHex(e.command).starts_with("A0A4000002"))
                    path += (path.empty() ? "" : " ") + sim::toHex(e.command).substr(10), last = e.statusWord();
            EXPECT_EQ(path, row.path);
            const std::string file = row.path.substr(row.path.size() - 4);
            EXPECT_EQ(last.substr(0, 2) == "9F", f.card().fileIndex(std::stoi(file, nullptr, 16)) >= 0) << last;
            EXPECT_EQ(f.app.card.CurrentDirectory + " " + f.app.card.CurrentFile, row.directory + " " + row.file);
            EXPECT_EQ(f.screen.text("Label3"), " " + row.directory);
        }
    }
}

}  // namespace
}  // namespace puolukka
