#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/settings_file.h"
#include "app/user_folder.h"
#include "ports/ports_ini.h"
#include "sim/card_description.h"

namespace puolukka {
namespace {

namespace fs = std::filesystem;

std::string contentOf(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(UserFolder, FollowsXdgConfigHomeThenHome)
{
    EXPECT_EQ(userFolderPath("/x/conf", "/home/u"), "/x/conf/puolukka");
    EXPECT_EQ(userFolderPath(nullptr, "/home/u"), "/home/u/.config/puolukka");
    // A relative XDG_CONFIG_HOME is invalid and ignored (the XDG Base Directory standard).
    EXPECT_EQ(userFolderPath("conf", "/home/u"), "/home/u/.config/puolukka");
    EXPECT_EQ(userFolderPath("", ""), "");
}

TEST(UserFolder, FirstStartMakesADemoSetupAndLaterStartsKeepTheUsersFiles)
{
    const fs::path home = fs::path(::testing::TempDir()) / ("puolukka_user_folder_" + std::to_string(::getpid()));
    fs::remove_all(home);
    const fs::path folder = home / "config" / "puolukka";

    std::vector<std::string> created;
    std::string error;
    ASSERT_TRUE(prepareUserFolder(folder.string(), &created, &error)) << error;
    EXPECT_EQ(created.size(), 3u);
    // The settings read back as the dialog would have written them for COM1, which is the demo card.
    const SettingsRead settings = readSettingsFile((folder / "puolukka.ini").string());
    EXPECT_EQ(settings.errorNumber, 0);
    EXPECT_EQ(portParameterText(settings.values) + " COM" + settings.values.Comport, "9600,E,8,1 COM1");
    PortsMap ports;
    ASSERT_TRUE(ports.load(folder.string()));
    EXPECT_EQ(ports.deviceForPort(1), "virtual:card.json");
    sim::CardDescription card;
    ASSERT_TRUE(sim::loadCardFile((folder / "card.json").string(), &card, &error)) << error;
    EXPECT_EQ(sim::cardToJson(card), sim::cardToJson(sim::demoCard()));

    // Files the user changed stay; only a missing one is made again.
    std::ofstream(folder / "ports.ini", std::ios::binary) << "COM1 = /dev/ttyUSB0\n";
    std::ofstream(folder / "card.json", std::ios::binary) << "changed";
    fs::remove(folder / "puolukka.ini");
    created.clear();
    ASSERT_TRUE(prepareUserFolder(folder.string(), &created, &error)) << error;
    EXPECT_EQ(created, std::vector<std::string>{(folder / "puolukka.ini").string()});
    EXPECT_EQ(contentOf(folder / "ports.ini"), "COM1 = /dev/ttyUSB0\n");
    EXPECT_EQ(contentOf(folder / "card.json"), "changed");

    // A file where the folder should be is reported, not used.
    std::ofstream(home / "blocker") << "x";
    EXPECT_FALSE(prepareUserFolder((home / "blocker").string(), nullptr, &error));
    EXPECT_NE(error.find("blocker"), std::string::npos) << error;
    fs::remove_all(home);
}

}  // namespace
}  // namespace puolukka
