#pragma once

#include <map>
#include <string>
#include <vector>

namespace puolukka {

inline constexpr const char* kPortsFileName = "ports.ini";

// Which device each port number "COM n" stands for, from the optional file
// ports.ini in the start directory:
//
//   # comment            ; comment
//   COM1 = /dev/ttyUSB0
//   COM2 = virtual
//   COM3 = virtual:card.json
//   COM4 = rfc2217://host:port
//
// The key is read without regard to case, blanks around "=" are allowed and
// lines may end with CR LF or LF. A port without a line is /dev/ttyS<n-1>.
class PortsMap {
public:
    // Reads ports.ini from the directory. A missing file is no error (every port
    // keeps its default); an unreadable one returns false with *error set.
    bool load(const std::string& startDirectory, std::string* error = nullptr);
    // Takes the lines of a ports.ini text; lines it cannot use are listed in warnings().
    void parse(const std::string& text);
    void set(int port, const std::string& device) { m_devices[port] = device; }
    // The device a ports.ini line gives port n, empty when none does (the port
    // then stands for its default device).
    std::string assignedDevice(int n) const;

    // The device of port n; empty for a number below 1.
    std::string deviceForPort(int n) const;
    // "ports.ini line 3: ..." for each line that was skipped.
    const std::vector<std::string>& warnings() const { return m_warnings; }
    // What ports.ini says about port n, for a port that fails to open: the line
    // that gave its device ("ports.ini line 2: COM1 = /dev/ttyUSB0"), or the
    // skipped line that was meant for it, or that the file has no line for it.
    // Empty when no ports.ini was read.
    std::string describePort(int n) const;

private:
    std::map<int, std::string> m_devices;
    std::vector<std::string> m_warnings;
    std::map<int, std::string> m_lineOf;     // port number: its line, as describePort tells it
    std::vector<int> m_unattributed;         // skipped lines that name no port
    bool m_read = false;
};

// The text of ports.ini with the ports in devices set: the line of each such
// port is replaced in place (or added at the end), an empty device removes it,
// so that the port stands for its default device again. Comments, blank lines
// and the lines of other ports stay as they were; CR LF or LF follows the text.
std::string updatedPortsText(const std::string& text, const std::map<int, std::string>& devices);

// Rewrites ports.ini in the folder with updatedPortsText (a missing file is
// created). The new text is written beside the file and renamed over it, so
// the file is either replaced whole or left as it was.
bool writePortsFile(const std::string& folder, const std::map<int, std::string>& devices, std::string* error);

}  // namespace puolukka
