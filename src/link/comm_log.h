#pragma once

#include <cstdio>
#include <string>

namespace puolukka {

// The communication log file (LogFileNumber): once opened it receives every
// command line and answer record until the program ends. Each write goes to the
// file at once, so a crash loses nothing that was shown.
class CommLog {
public:
    CommLog() = default;
    CommLog(const CommLog&) = delete;
    CommLog& operator=(const CommLog&) = delete;
    ~CommLog() { close(); }

    // Opens path for appending; on failure returns false with a description.
    bool open(const std::string& path, std::string* error);
    void close();
    bool isOpen() const { return m_file != nullptr; }
    // Handle number as the program shows it: 0 while no log is open.
    int number() const { return m_number; }
    // Appends the bytes as they are; on failure returns false with a description.
    bool write(const std::string& bytes, std::string* error);

private:
    std::FILE* m_file = nullptr;
    int m_number = 0;
    static int s_nextNumber;
};

}  // namespace puolukka
