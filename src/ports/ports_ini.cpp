#include "ports/ports_ini.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace puolukka {

namespace {

std::string trimmed(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

// "COM12" (any case) gives 12; anything else 0.
int portNumberOfKey(const std::string& key)
{
    if (key.size() < 4 || key.size() > 6)
        return 0;
    for (int i = 0; i < 3; ++i)
        if ((key[std::size_t(i)] | 0x20) != "com"[i])
            return 0;
    int n = 0;
    for (std::size_t i = 3; i < key.size(); ++i) {
        if (key[i] < '0' || key[i] > '9')
            return 0;
        n = n * 10 + (key[i] - '0');
    }
    return n;
}

}  // namespace

bool PortsMap::load(const std::string& startDirectory, std::string* error)
{
    const std::string path = startDirectory + "/" + kPortsFileName;
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (errno == ENOENT || errno == 0)
            return true;  // no file: every port keeps its default device
        if (error)
            *error = path + ": " + std::strerror(errno);
        return false;
    }
    parse(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
    return true;
}

void PortsMap::parse(const std::string& text)
{
    m_read = true;
    std::size_t pos = 0;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        pos = 3;  // a byte-order mark left by an editor
    int lineNumber = 0;
    while (pos < text.size()) {
        auto end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = trimmed(text.substr(pos, end - pos));
        pos = end + 1;
        ++lineNumber;
        if (line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        const std::string where = std::string(kPortsFileName) + " line " + std::to_string(lineNumber) + ": ";
        // A skipped line is told for the port it names, when it names one.
        const auto warn = [&](int port, const std::string& why) {
            m_warnings.push_back(where + why);
            if (port < 1)
                m_unattributed.push_back(lineNumber);
            else if (!m_devices.count(port))
                m_lineOf[port] = where + why;
        };
        const auto eq = line.find('=');
        if (eq == std::string::npos) {
            warn(portNumberOfKey(line.substr(0, line.find_first_of(" \t:"))), "no \"=\" in \"" + line + "\"");
            continue;
        }
        const std::string key = trimmed(line.substr(0, eq));
        std::string device = trimmed(line.substr(eq + 1));
        if (device.size() >= 2 && device.front() == '"' && device.back() == '"')
            device = device.substr(1, device.size() - 2);
        const int n = portNumberOfKey(key);
        if (n < 1) {
            warn(0, "\"" + key + "\" is not a port name such as COM1");
            continue;
        }
        if (device.empty()) {
            warn(n, "no device given for " + key);
            continue;
        }
        m_devices[n] = device;
        m_lineOf[n] = where + line;
    }
}

std::string PortsMap::describePort(int n) const
{
    if (!m_read)
        return {};
    if (const auto it = m_lineOf.find(n); it != m_lineOf.end())
        return it->second;
    std::string text = std::string(kPortsFileName) + " has no line for COM" + std::to_string(n);
    for (std::size_t i = 0; i < m_unattributed.size(); ++i)
        text += (i == 0 ? "; lines it could not use: " : ", ") + std::to_string(m_unattributed[i]);
    return text;
}

std::string PortsMap::deviceForPort(int n) const
{
    if (n < 1)
        return {};
    if (const auto it = m_devices.find(n); it != m_devices.end())
        return it->second;
    return "/dev/ttyS" + std::to_string(n - 1);
}

}  // namespace puolukka
