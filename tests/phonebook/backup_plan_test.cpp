#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "conversions/conversions.h"
#include "phonebook/backup.h"
#include "phonebook/write_plan.h"

namespace puolukka {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

mode_t modeOf(const fs::path& p)
{
    struct stat info {};
    ::stat(p.c_str(), &info);
    return info.st_mode & 07777;
}

TEST(Backup, PrivateFilesUnderTheUsersDataFolder)
{
    const char* oldData = std::getenv("XDG_DATA_HOME");
    const std::string saved = oldData ? oldData : "";
    ::setenv("HOME", "/home/x", 1);
    ::setenv("XDG_DATA_HOME", "/data/", 1);
    EXPECT_EQ(backupFolder(), "/data/puolukka/backups");
    ::setenv("XDG_DATA_HOME", "relative", 1);  // not absolute: ignored, as XDG says
    EXPECT_EQ(backupFolder(), "/home/x/.local/share/puolukka/backups");
    ::unsetenv("XDG_DATA_HOME");
    if (oldData)
        ::setenv("XDG_DATA_HOME", saved.c_str(), 1);

    EXPECT_EQ(iccidDigits(HexToBytes("98530821436587092143")), "89358012345678901234");
    EXPECT_EQ(iccidDigits(HexToBytes("985308214365870921F3")), "8935801234567890123");
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    EXPECT_EQ(backupFileName("8935", 1704164645), "8935-20240102-030405.phb");
    EXPECT_EQ(backupFileName("", 1704164645), "SIM-20240102-030405.phb");

    const fs::path dir = fs::temp_directory_path() / ("puolukka_backup_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    const fs::path folder = dir / "data" / "puolukka" / "backups";
    const mode_t mask = ::umask(0);  // a permissive umask still gives private files
    std::string path, reason;
    ASSERT_TRUE(writeBackup(folder.string(), "8935-x.phb", "A/81/1\r\n", path, reason)) << reason;
    ASSERT_TRUE(writeBackup(folder.string(), "8935-x.phb", "B/81/2\r\n", path, reason)) << reason;
    ::umask(mask);
    EXPECT_EQ(path, (folder / "8935-x-2.phb").string()) << "an earlier backup is never replaced";
    std::ifstream in(folder / "8935-x.phb", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "A/81/1\r\n");
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(modeOf(folder / "8935-x-2.phb"), 0600u);
    fs::permissions(folder, fs::perms::all);
    ASSERT_TRUE(writeBackup(folder.string(), "y.phb", "", path, reason));
    EXPECT_EQ(modeOf(folder), 0700u) << "an existing folder is made private";
    std::ofstream(dir / "file") << "x";
    EXPECT_FALSE(writeBackup((dir / "file" / "b").string(), "y.phb", "", path, reason));
    EXPECT_TRUE(reason.starts_with((dir / "file").string())) << reason;
    EXPECT_FALSE(writeBackup("", "y.phb", "", path, reason));
    fs::remove_all(dir);
}

std::string rec(const std::string& hex) { return HexToBytes(hex); }
std::string ff(std::size_t n) { return std::string(n, '\xFF'); }

// Cards with 18-byte records (4-byte names).
const Strings kCard{"",
                    rec("41FFFFFF" "03" "81" "2143F5FFFFFFFFFFFFFF" "FFFF"),  // A 12345
                    rec("4E696D69" "FFFFFFFFFFFFFFFFFFFFFFFFFFFF"),              // Nimi, name only
                    rec("45787431" "0B" "91" "21436587092143658709" "FF02"),  // 20 digits going on in EXT1 record 2
                    rec("43617031" "02" "81" "21FFFFFFFFFFFFFFFFFF" "07FF"),  // capability record 7
                    ff(18), ff(18)};

Phonebook bookOf(const Strings& entries)
{
    Phonebook book;
    book.PBEntry.insert(book.PBEntry.end(), entries.begin(), entries.end());
    book.PBCount = int(entries.size());
    return book;
}

Strings entriesOf(const Strings& card)
{
    Strings entries;
    for (std::size_t i = 1; i < card.size(); ++i)
        entries.push_back(RecordToEntry(card[i] + HexToBytes("9000")));
    return entries;
}

TEST(WritePlan, OnlyRecordsThatDifferAreWrittenAndUnchangedOnesKeepTheirBytes)
{
    Strings entries = entriesOf(kCard);
    WritePlan plan = planWrite(bookOf(entries), kCard, 18);
    EXPECT_EQ(plan.records, kCard);
    EXPECT_TRUE(plan.changed.empty() && plan.skipped.empty());

    entries[0] = "A/81/12345\r";          // cannot be written exactly: the card keeps record 1
    entries[1] = "Nimi/FF/";              // no padding: still the same entry
    entries[3] = "Cap1/81/13";            // an edit
    entries[4] = "Uusi/91/+358";          // a new contact in an unused record
    entries[5] = "";                      // not an entry either: record 6 is left alone too
    entries.push_back("Ei mahdu/81/1");   // beyond the card's six records
    plan = planWrite(bookOf(entries), kCard, 18);
    EXPECT_EQ(plan.covered, 6);
    EXPECT_EQ(plan.changed, (std::vector<int>{4, 5}));
    ASSERT_EQ(plan.skipped.size(), 2u);
    EXPECT_EQ(plan.skipped[0].position + 10 * plan.skipped[1].position, 61);
    EXPECT_EQ(plan.records[1], kCard[1]);
    EXPECT_EQ(plan.records[3], kCard[3]);
    EXPECT_EQ(bytesToHex(plan.records[4]), "43617031" "02" "81" "31FFFFFFFFFFFFFFFFFF" "FFFF");
    EXPECT_EQ(bytesToHex(plan.records[5]), "55757369" "03" "91" "53F8FFFFFFFFFFFFFFFF" "FFFF");
    EXPECT_EQ(plan.records[6], kCard[6]);

    plan = planWrite(bookOf({"Pitkä nimi/81/1"}), Strings{"", ff(20)}, 20);
    EXPECT_EQ(plan.notice, RecLenNotice::Shorter);
    EXPECT_TRUE(sameEntry("A\xFF/81/1", "A/81/1") && !sameEntry("A/81/1", "A/91/1") && !sameEntry("A/81", "A/81/"));
}

}  // namespace
}  // namespace puolukka
