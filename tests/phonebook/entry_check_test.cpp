#include "phonebook/entry_check.h"

#include <gtest/gtest.h>

namespace puolukka {
namespace {

using Strings = std::vector<std::string>;

TEST(EntryCheck, EntriesThatCannotBeWrittenExactlyAreNamed)
{
    const std::pair<std::string, std::string> rows[] = {
        {"Aino\xFF\xFF/81/0401234567", ""}, {"A/91/+358401234567", ""}, {"A/90/+1", ""}, {"A/81/*100#ABCDE", ""},
        {"A/5/12", ""}, {"Koti/Työ/81/040", ""}, {"Nimi/FF/", ""}, {"\xFF\xFF/FF/", ""}, {"/FF/9", ""},
        {"A/81/12345678901234567890", ""}, {"\x80\x04\x0A\x01\x0D/81/1", ""},  // UCS2: 0A and 0D are character bytes
        {"Just a name", "ei ole muotoa nimi/TON/numero"}, {"Pekka/81", "ei ole muotoa nimi/TON/numero"},
        {"A/8x/1", "TON \"8x\" ei ole heksadesimaaliluku"}, {"A//1", "TON \"\" ei ole heksadesimaaliluku"},
        {"A/81/040abc", "numerossa on merkki \"a\", jota kortti ei voi tallentaa"},
        {"A/81/040 123", "numerossa on merkki \" \", jota kortti ei voi tallentaa"},
        {"A/91/+358+1", "numerossa on merkki \"+\", jota kortti ei voi tallentaa"},
        {"A/81/+358401234567", "numero alkaa merkillä +, mutta TON ei ole 91"},
        {"A/81/123456789012345678901", "numerossa on yli 20 numeroa"},
        {"Eka\r\nToka/81/1", "nimessä on rivinvaihto"}, {"Eka\nToka/81/1", "nimessä on rivinvaihto"},
    };
    for (const auto& [entry, problem] : rows)
        EXPECT_EQ(entryProblem(entry), problem) << entry;
}

TEST(EntryCheck, TidyingDropsTypedSeparatorsOnly)
{
    const std::pair<std::string, std::string> rows[] = {
        {"A/81/040-123 4567", "A/81/0401234567"}, {"A/91/+358 (40) 123.45", "A/91/+3584012345"},
        {"Koti / Työ/a1/1 2", "Koti / Työ/A1/12"}, {"A/8x/1 2", "A/8x/12"}, {"Just a name", "Just a name"},
        {"A/81/040abc", "A/81/040abc"},
    };
    for (const auto& [entry, tidy] : rows)
        EXPECT_EQ(tidyEntry(entry), tidy) << entry;
}

TEST(EntryCheck, FaultsAreListedByPositionFirstFewOnly)
{
    Strings entries{""};
    for (int i = 1; i <= 9; ++i)
        entries.push_back(i % 2 ? "A/81/x" : "A/81/1");
    const auto faults = entryFaults(entries, {0, 10, 20, 30, 40, 50, 60, 70, 80, 90});
    ASSERT_EQ(faults.size(), 5u);
    EXPECT_EQ(faults[1].position, 30);
    const std::string x = ": numerossa on merkki \"x\", jota kortti ei voi tallentaa\n";
    EXPECT_EQ(faultList(faults, "rivi"), "rivi 10" + x + "rivi 30" + x + "rivi 50" + x + "rivi 70" + x + "rivi 90" + x);
    entries.push_back("B");
    EXPECT_EQ(faultList(entryFaults(entries), "muistipaikka").substr(0, 15), "muistipaikka 1:");
    EXPECT_TRUE(faultList(entryFaults(entries), "x").ends_with("x 9" + x + "... ja 1 muuta\n"));
    EXPECT_EQ(printableName("K\xE4ti\x01\x0A\x85\xFF\xFF"), "Käti  ?");
}

}  // namespace
}  // namespace puolukka
