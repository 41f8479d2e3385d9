#include "filesystem/explorer.h"

#include <algorithm>
#include <sstream>

#include "filesystem/catalogue.h"
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

// The identifier a typed text selects is the one the reads select again (Test_Response),
// whatever its characters; upper case covers the Latin-1 letters.
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

// The catalogue as the user knows it, written out apart from the program's table:
// accepted names; the identifiers selected in order; CurrentDirectory; CurrentFile.
struct Expected {
    std::string names, path, directory, file;
};

std::vector<Expected> expectedCatalogue()
{
    const std::string root = "MF-3F00-ROOT", gsm = "DF-7F20-GSM", telecom = "DF-7F10-TELECOM";
    std::vector<Expected> rows = {
        {"MF 3F00 ROOT", "3F00", root, root},
        {"CHV1 0000 PIN1", "3F00 0000", root, "EF-0000-CHV1"},
        {"ICC 0002", "3F00 0002", root, "EF-0002-ICC"},
        {"0011 KeyExt Key|Ext", "3F00 0011", root, "EF-0011-CHV1"},
        {"CHV2 0100 PIN2", "0100", root, "EF-0100-CHV2"},
        {"1001", "3F00 1001", root, "EF-1001-????"},
        {"ICCID 2FE2", "3F00 2FE2", root, "EF-2FE2-ICCID"},
        {"ELP 2F05", "3F00 2F05", root, "EF-2F05-ELP"},
        {"2FE4", "2FE4", root, "EF-2FE4-????"},
        {"2FE5", "2FE5", root, "EF-2FE5-????"},
        {"GSM 7F20", "3F00 7F20", gsm, gsm},
        {"GSM2 7F21", "3F00 7F21", "DF-7F21-GSM2", "DF-7F21-GSM2"},
        {"TELECOM 7F10", "3F00 7F10", telecom, telecom},
        {"IS-41 7F22", "7F22", "DF-7F22-IS41", "DF-7F22-IS41"},
        {"IS41", "3F00 7F22", "DF-7F22-IS41", "DF-7F22-IS41"},
        {"IRIDIUM 5F30", "3F00 7F20 5F30", "DF-5F30-IRIDIUM", "DF-5F30-IRIDIUM"},
        {"GLOBST 5F31", "3F00 7F20 5F31", "DF-5F31-GOBST", "DF-5F31-GOBST"},
        {"ICO 5F32", "3F00 7F20 5F32", "DF-5F32-ICO", "DF-5F32-ICO"},
        {"ACES 5F33", "3F00 7F20 5F33", "DF-5F33-ACES", "DF-5F33-ACES"},
        {"PCS1900 5F40", "3F00 7F20 5F40", "DF-5F40-PCS1900", "DF-5F40-PCS1900"},
        // SDN is EF 6F49 (GSM 11.11 10.3.2); its identifier is not one of its names.
        {"SDN", "3F00 7F10 6F49", telecom, "EF-6F49-SDN"},
    };
    // Name, identifier and, where it differs from the name, the file's own name.
    const char* gsmFiles[][3] = {
        {"LP", "6F05"}, {"IMSI", "6F07"}, {"KC", "6F20", "Kc"}, {"PLMNSEL", "6F30"}, {"HPLMN", "6F31"},
        {"ACMMAX", "6F37"}, {"SST", "6F38"}, {"ACM", "6F39"}, {"GID1", "6F3E"}, {"GID2", "6F3F"}, {"PUCT", "6F41"},
        {"CBMI", "6F45"}, {"SPN", "6F46"}, {"CBMID", "6F48"}, {"BCCH", "6F74"}, {"ACC", "6F78"}, {"FPLMN", "6F7B"},
        {"LOCI", "6F7E"}, {"AD", "6FAD"}, {"PHASE", "6FAE"}, {"VGCS", "6FB1"}, {"VGCSS", "6FB2"}, {"VBS", "6FB3"},
        {"VBSS", "6FB4"}, {"EMLPP", "6FB5", "eMLPP"}, {"AAEM", "6FB6", "AAeM"}, {"ECC", "6FB7"}, {"CBMIR", "6F50"},
        {"NIA", "6F51"}, {"KCGPRS", "6F52", "KcPRS"}, {"LOCIGPRS", "6F53"},
    };
    for (const auto& f : gsmFiles)
        rows.push_back({std::string(f[0]) + " " + f[1], "3F00 7F20 " + std::string(f[1]), gsm,
                        "EF-" + std::string(f[1]) + "-" + (f[2] ? f[2] : f[0])});
    const char* telecomFiles[][2] = {
        {"ADN", "6F3A"}, {"FDN", "6F3B"}, {"SMS", "6F3C"}, {"CCP", "6F3D"}, {"MSISDN", "6F40"},
        {"SMSP", "6F42"}, {"SMSS", "6F43"}, {"LND", "6F44"}, {"SMSR", "6F47"}, {"EXT1", "6F4A"},
        {"EXT2", "6F4B"}, {"EXT3", "6F4C"}, {"BDN", "6F4D"}, {"EXT4", "6F4E"},
    };
    for (const auto& f : telecomFiles)
        rows.push_back({std::string(f[0]) + " " + f[1], "3F00 7F10 " + std::string(f[1]), telecom,
                        "EF-" + std::string(f[1]) + "-" + f[0]});
    return rows;
}

// The accepted names of a row: blank-separated, "|" standing for a blank inside a name.
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

// Every accepted name, typed in lower case, selects its file on the card from the master file.
TEST(Catalogue, EveryNameSelectsItsFile)
{
    std::size_t accepted = 0;
    for (const Expected& row : expectedCatalogue()) {
        for (const std::string& name : namesOf(row)) {
            SCOPED_TRACE(name);
            ++accepted;
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
            // The card found the file, or does not have it.
            const std::string file = row.path.substr(row.path.size() - 4);
            EXPECT_EQ(last.substr(0, 2) == "9F", f.card().fileIndex(std::stoi(file, nullptr, 16)) >= 0) << last;
            EXPECT_EQ(f.app.card.CurrentDirectory + " " + f.app.card.CurrentFile, row.directory + " " + row.file);
            EXPECT_EQ(f.screen.text("Label3"), " " + row.directory);
        }
    }
    // No name the program takes is missing from the list above.
    std::size_t names = 0;
    for (const CatalogueRow& row : catalogueRows())
        names += std::count_if(row.names.begin(), row.names.end(), [](std::string_view n) { return !n.empty(); });
    EXPECT_EQ(names, accepted);
}

}  // namespace
}  // namespace puolukka
