#include "link/comm_log.h"

#include <cerrno>
#include <cstring>

namespace puolukka {

int CommLog::s_nextNumber = 1;

bool CommLog::open(const std::string& path, std::string* error)
{
    close();
    m_file = std::fopen(path.c_str(), "ab");
    if (!m_file) {
        if (error)
            *error = path + ": " + std::strerror(errno);
        return false;
    }
    // Unbuffered: each write reaches the file at once, and a write that failed
    // leaves nothing behind in a buffer to be written twice when it is retried.
    std::setvbuf(m_file, nullptr, _IONBF, 0);
    m_number = s_nextNumber++;
    return true;
}

void CommLog::close()
{
    if (m_file)
        std::fclose(m_file);
    m_file = nullptr;
    m_number = 0;
}

bool CommLog::write(const std::string& bytes, std::string* error)
{
    if (!m_file) {
        if (error)
            *error = "Bad file name or number";
        return false;
    }
    errno = 0;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), m_file) == bytes.size() &&
                    std::fflush(m_file) == 0;
    if (!ok) {
        if (error)
            *error = std::string("Device I/O error: ") + std::strerror(errno ? errno : EIO);
        std::clearerr(m_file);
    }
    return ok;
}

}  // namespace puolukka
