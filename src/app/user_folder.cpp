#include "app/user_folder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "app/settings_file.h"
#include "ports/ports_ini.h"
#include "sim/card_description.h"

namespace puolukka {

namespace {

constexpr const char* kFolderName = "puolukka";
constexpr const char* kCardFileName = "card.json";

// What the settings dialog would write for COM1 at 9600 baud, even parity, 8 data bits, 1 stop bit.
PortSettings firstSettings()
{
    PortSettings s;
    s.Comport = "1";
    s.IRQ = "4";
    s.Word_Length = "8";
    s.Parity = "E";
    s.StopBits = "1";
    s.Baud_Rate = "9600";
    s.HandShake = "0";
    s.Echo = "0";
    return s;
}

constexpr const char* kFirstPortsText =
    "# Which device each port of the settings dialog stands for (COMn = device).\n"
    "# The settings dialog's \"Laitteet...\" button writes this file.\n"
    "COM1 = virtual:card.json\n";

// mkdir -p; new folders are private (they hold the user's card copy).
bool makeFolders(const std::string& folder, std::string* error)
{
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            if (error)
                *error = part + ": " + std::strerror(errno);
            return false;
        }
        if (slash == std::string::npos)
            break;
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        if (error)
            *error = folder + ": not a folder";
        return false;
    }
    return true;
}

bool exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool writeNewFile(const std::string& path, const std::string& content, std::string* error)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    out.flush();
    if (!out) {
        if (error)
            *error = path + ": cannot be written";
        return false;
    }
    return true;
}

}  // namespace

std::string userFolderPath(const char* xdgConfigHome, const char* home)
{
    if (xdgConfigHome && xdgConfigHome[0] == '/')
        return std::string(xdgConfigHome) + "/" + kFolderName;
    if (home && home[0] == '/')
        return std::string(home) + "/.config/" + kFolderName;
    return {};
}

bool prepareUserFolder(const std::string& folder, std::vector<std::string>* created, std::string* error)
{
    if (folder.empty() || folder[0] != '/') {
        if (error)
            *error = "No folder for the settings: neither XDG_CONFIG_HOME nor HOME is set";
        return false;
    }
    if (!makeFolders(folder, error))
        return false;

    const std::string settings = folder + "/" + kSettingsFileName;
    if (!exists(settings)) {
        if (!writeSettingsFile(settings, firstSettings(), error))
            return false;
        if (created)
            created->push_back(settings);
    }
    const std::string ports = folder + "/" + kPortsFileName;
    if (!exists(ports)) {
        if (!writeNewFile(ports, kFirstPortsText, error))
            return false;
        if (created)
            created->push_back(ports);
    }
    const std::string card = folder + "/" + kCardFileName;
    if (!exists(card)) {
        if (!sim::saveCardFile(card, sim::demoCard(), error))
            return false;
        if (created)
            created->push_back(card);
    }
    return true;
}

}  // namespace puolukka
