#include "filesystem/explorer.h"

#include <algorithm>

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

// Every name, typed in lower case, selects its file on the card from the master file.
TEST(Catalogue, EveryNameOfEveryRowSelectsItsFile)
{
    for (const CatalogueRow& row : catalogueRows()) {
        EXPECT_EQ(row.file.substr(3, 4), row.identifier);
        for (std::string_view n : row.names) {
            if (n.empty())
                continue;
            SCOPED_TRACE(n);
            test::CardFixture f;
            Command1_Click(f.app);
            f.port.clearTrace();
            std::string typed(n);
            std::transform(typed.begin(), typed.end(), typed.begin(), [](unsigned char c) { return char(std::tolower(c)); });
            f.screen.inputAnswers.push_back(typed);
            EFDF_Click(f.app);
            Strings ids;       // the SELECTs' identifiers
            std::string last;  // and the status of the last
            for (const sim::TraceEntry& e : f.port.trace())
                if (e.kind == sim::TraceEntry::Kind::Command && sim::toHex(e.command).starts_with("A0A4000002"))
                    ids.push_back(sim::toHex(e.command).substr(10)), last = e.statusWord();
            // The file, and before it the directories it needs: the card found it, or does not have it.
            EXPECT_EQ(ids.back(), row.identifier);
            EXPECT_EQ(ids.front() == "3F00", row.path != SelectionPath::FileOnly);
            EXPECT_EQ(last.substr(0, 2) == "9F", f.card().fileIndex(std::stoi(ids.back(), nullptr, 16)) >= 0) << last;
            EXPECT_EQ(f.app.card.CurrentDirectory + " " + f.app.card.CurrentFile,
                      std::string(row.directory) + " " + std::string(row.file));
            EXPECT_EQ(f.screen.text("Label3"), " " + std::string(row.directory));
        }
    }
}

}  // namespace
}  // namespace puolukka
