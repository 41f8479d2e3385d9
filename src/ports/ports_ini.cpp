#include "ports/ports_ini.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

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

// A line split into its port number and device; number 0 for a comment, a
// blank line or a line that names no port.
struct PortsLine {
    int number = 0;
    int meantFor = 0;  // the port an unusable line names, when it names one
    std::string text;  // the line, trimmed
    std::string key;
    std::string device;
    std::string problem;  // why a line that is not a comment cannot be used
};

PortsLine parsePortsLine(const std::string& rawLine)
{
    PortsLine result;
    const std::string line = trimmed(rawLine);
    result.text = line;
    if (line.empty() || line[0] == '#' || line[0] == ';')
        return result;
    const auto eq = line.find('=');
    if (eq == std::string::npos) {
        result.meantFor = portNumberOfKey(line.substr(0, line.find_first_of(" \t:")));
        result.problem = "no \"=\" in \"" + line + "\"";
        return result;
    }
    result.key = trimmed(line.substr(0, eq));
    result.device = trimmed(line.substr(eq + 1));
    if (result.device.size() >= 2 && result.device.front() == '"' && result.device.back() == '"')
        result.device = result.device.substr(1, result.device.size() - 2);
    const int n = portNumberOfKey(result.key);
    if (n < 1)
        result.problem = "\"" + result.key + "\" is not a port name such as COM1";
    else if (result.device.empty()) {
        result.meantFor = n;
        result.problem = "no device given for " + result.key;
    }
    else
        result.number = n;
    return result;
}

// The lines of a text without their line ends, and whether they ended in CR LF.
std::vector<std::string> splitLines(const std::string& text, bool* crlf)
{
    std::vector<std::string> lines;
    std::size_t pos = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;  // a byte-order mark left by an editor
    if (crlf)
        *crlf = text.find("\r\n") != std::string::npos;
    while (pos < text.size()) {
        auto end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        pos = end + 1;
    }
    return lines;
}

// The text of ports.ini in the folder; a missing file reads as empty (every port
// keeps its default device), an unreadable one is an error.
bool readPortsFile(const std::string& folder, std::string* text, std::string* error)
{
    const std::string path = folder + "/" + kPortsFileName;
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (errno == ENOENT || errno == 0)
            return true;
        if (error)
            *error = path + ": " + std::strerror(errno);
        return false;
    }
    text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

}  // namespace

bool PortsMap::load(const std::string& startDirectory, std::string* error)
{
    std::string text;
    if (!readPortsFile(startDirectory, &text, error))
        return false;
    parse(text);
    return true;
}

void PortsMap::parse(const std::string& text)
{
    m_read = true;
    int lineNumber = 0;
    for (const std::string& raw : splitLines(text, nullptr)) {
        ++lineNumber;
        const PortsLine line = parsePortsLine(raw);
        const std::string where = std::string(kPortsFileName) + " line " + std::to_string(lineNumber) + ": ";
        if (!line.problem.empty()) {
            m_warnings.push_back(where + line.problem);
            // A skipped line is told for the port it names, when it names one.
            if (line.meantFor < 1)
                m_unattributed.push_back(lineNumber);
            else if (!m_devices.count(line.meantFor))
                m_lineOf[line.meantFor] = where + line.problem;
        } else if (line.number > 0) {
            m_devices[line.number] = line.device;
            m_lineOf[line.number] = where + line.text;
        }
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

std::string PortsMap::assignedDevice(int n) const
{
    const auto it = m_devices.find(n);
    return it == m_devices.end() ? std::string() : it->second;
}

std::string PortsMap::deviceForPort(int n) const
{
    if (n < 1)
        return {};
    if (const auto it = m_devices.find(n); it != m_devices.end())
        return it->second;
    return "/dev/ttyS" + std::to_string(n - 1);
}

std::string updatedPortsText(const std::string& text, const std::map<int, std::string>& devices)
{
    bool crlf = false;
    const std::vector<std::string> lines = splitLines(text, &crlf);
    const std::string end = crlf ? "\r\n" : "\n";
    std::string result;
    std::set<int> written;
    for (const std::string& raw : lines) {
        const PortsLine line = parsePortsLine(raw);
        const auto it = line.number > 0 ? devices.find(line.number) : devices.end();
        if (it == devices.end()) {
            result += raw + end;
            continue;
        }
        // The first line of a port takes its new device; later ones for the same
        // port would override it when the file is read, so they go.
        if (!it->second.empty() && written.insert(line.number).second)
            result += line.key + " = " + it->second + end;
    }
    for (const auto& [number, device] : devices) {
        if (!device.empty() && written.count(number) == 0)
            result += "COM" + std::to_string(number) + " = " + device + end;
    }
    return result;
}

bool writePortsFile(const std::string& folder, const std::map<int, std::string>& devices, std::string* error)
{
    const std::string path = folder + "/" + kPortsFileName;
    std::string old;
    if (!readPortsFile(folder, &old, error))
        return false;
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << updatedPortsText(old, devices);
        out.flush();
        if (!out) {
            if (error)
                *error = path + ": cannot be written";
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        if (error)
            *error = path + ": " + std::strerror(errno);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace puolukka
