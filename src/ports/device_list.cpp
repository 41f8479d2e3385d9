#include "ports/device_list.h"

#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>

#include "ports/device_port.h"
#include "ports/ports_ini.h"

namespace puolukka {

namespace {

std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(dir);
    }
    return names;
}

// "ttyUSB12" with prefix "ttyUSB" gives 12; anything else -1.
long numberAfter(const std::string& name, const std::string& prefix)
{
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
        return -1;
    long n = 0;
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9' || n > 100000)
            return -1;
        n = n * 10 + (name[i] - '0');
    }
    return n;
}

// The numbered nodes prefix<n> of the folder, in number order.
std::vector<std::string> numbered(const std::vector<std::string>& names, const std::string& prefix)
{
    std::vector<std::pair<long, std::string>> found;
    for (const std::string& name : names)
        if (const long n = numberAfter(name, prefix); n >= 0)
            found.emplace_back(n, name);
    std::sort(found.begin(), found.end());
    std::vector<std::string> result;
    for (const auto& item : found)
        result.push_back(item.second);
    return result;
}

// A built-in UART that is really there: the 8250 driver reports its type in sysfs, 0 for none.
bool uartPresent(const DeviceRoots& roots, const std::string& name)
{
    std::ifstream type(roots.sysTty + "/" + name + "/type");
    int value = 0;
    return type >> value && value != 0;
}

std::string linkTarget(const std::string& path)
{
    char buffer[4096];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    const std::string target(buffer, std::size_t(n));
    const auto slash = target.rfind('/');
    return slash == std::string::npos ? target : target.substr(slash + 1);
}

}  // namespace

std::vector<DeviceChoice> serialDevices(const DeviceRoots& roots)
{
    std::vector<DeviceChoice> devices;
    const std::vector<std::string> names = namesIn(roots.dev);
    for (const std::string& name : numbered(names, "ttyS"))
        if (uartPresent(roots, name))
            devices.push_back({roots.dev + "/" + name, "Sarjaportti", {}});
    for (const std::string& name : numbered(names, "ttyUSB"))
        devices.push_back({roots.dev + "/" + name, "USB-sarjasovitin", {}});
    for (const std::string& name : numbered(names, "ttyACM"))
        devices.push_back({roots.dev + "/" + name, "USB-sarjalaite (ACM)", {}});
    std::vector<std::string> byId = namesIn(roots.dev + "/serial/by-id");
    std::sort(byId.begin(), byId.end());
    for (const std::string& name : byId) {
        const std::string path = roots.dev + "/serial/by-id/" + name;
        const std::string target = linkTarget(path);
        devices.push_back({path, target.empty() ? "USB-sarjasovitin" : "USB-sarjasovitin (" + target + ")", {}});
    }
    for (DeviceChoice& d : devices)
        d.problem = accessProblem(d.device);
    return devices;
}

std::vector<DeviceChoice> pcscChoices(bool serviceAnswers, const std::vector<PcscReader>& readers)
{
    if (!serviceAnswers)
        return {{"pcsc", "PC/SC-lukija (palvelu pcscd ei vastaa: asenna pcscd)", {}}};
    if (readers.empty())
        return {{"pcsc", "PC/SC-lukija (yhtään lukijaa ei ole kytketty)", {}}};
    std::vector<DeviceChoice> choices = {{"pcsc", "Ensimmäinen PC/SC-lukija, jossa on kortti", {}}};
    for (const PcscReader& reader : readers)
        choices.push_back({"pcsc:" + reader.name,
                           reader.cardPresent ? "PC/SC-lukija, kortti paikalla" : "PC/SC-lukija, ei korttia", {}});
    return choices;
}

std::vector<DeviceChoice> deviceChoices(const DeviceRoots& roots)
{
    std::vector<DeviceChoice> choices = serialDevices(roots);
    std::vector<PcscReader> readers;
    const bool answers = roots.pcscReaders && roots.pcscReaders(readers);
    for (DeviceChoice& choice : pcscChoices(answers, readers))
        choices.push_back(std::move(choice));
    choices.push_back({"virtual", "Esittelykortti (muutokset vain muistissa)", {}});
    choices.push_back({"virtual:card.json", "Esittelykortti tiedostossa card.json (muutokset tallentuvat)", {}});
    choices.push_back({"rfc2217://", "Verkkolukija (RFC 2217): lisää palvelin:portti", {}});
    return choices;
}

std::string permissionHint(const std::string& device, const std::string& group, const std::string& user)
{
    const std::string who = user.empty() ? "KÄYTTÄJÄ" : user;
    if (group.empty() || group == "root")
        return "Ei käyttöoikeutta laitteeseen " + device + ": pyydä ylläpitäjää antamaan käyttäjälle " + who +
               " luku- ja kirjoitusoikeus siihen.";
    return "Ei käyttöoikeutta laitteeseen " + device + ": se kuuluu ryhmään " + group +
           ". Lisää käyttäjä ryhmään (sudo adduser " + who + " " + group +
           ") ja kirjaudu ulos ja uudelleen sisään.";
}

std::string accessProblem(const std::string& device)
{
    if (device.empty() || device[0] != '/')
        return {};
    if (::access(device.c_str(), R_OK | W_OK) == 0 || errno != EACCES)
        return {};
    struct stat st {};
    std::string owner;
    if (::stat(device.c_str(), &st) == 0)
        if (const struct group* g = ::getgrgid(st.st_gid))
            owner = g->gr_name;
    std::string user;
    if (const passwd* p = ::getpwuid(::geteuid()))
        user = p->pw_name;
    return permissionHint(device, owner, user);
}

bool applyPortChoices(DevicePort& port, const std::string& folder, const std::map<int, std::string>& devices,
                      std::string* error)
{
    if (!writePortsFile(folder, devices, error))
        return false;
    PortsMap ports;
    if (!ports.load(folder, error))
        return false;
    if (error)
        error->clear();
    if (!port.setPorts(std::move(ports)) && error)
        *error = port.lastError().description;
    return true;
}

}  // namespace puolukka
