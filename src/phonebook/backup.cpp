#include "phonebook/backup.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace puolukka {

namespace {

constexpr mode_t kPrivateFolder = 0700;
constexpr mode_t kPrivateFile = 0600;

// Creates the folder and its missing parents: the parents as the user's other
// folders (0700 too, as XDG asks for a data home it creates), the folder itself
// made private even when it was there.
bool makePrivateFolder(const std::string& folder, std::string& reason)
{
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (!part.empty() && ::mkdir(part.c_str(), kPrivateFolder) != 0 && errno != EEXIST) {
            reason = part + ": " + std::strerror(errno);
            return false;
        }
        if (slash == std::string::npos)
            break;
    }
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        reason = folder + ": ei ole kansio";
        return false;
    }
    if ((info.st_mode & 07777) != kPrivateFolder && ::chmod(folder.c_str(), kPrivateFolder) != 0) {
        reason = folder + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool writeAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

}  // namespace

std::string backupFolder()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string base;
    if (data && data[0] == '/') {
        base = data;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || home[0] != '/')
            return {};
        base = std::string(home) + "/.local/share";
    }
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/puolukka/backups";
}

std::string iccidDigits(const std::string& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char byte : bytes) {
        for (int nibble : {byte & 0x0F, byte >> 4}) {
            if (nibble == 0x0F)
                return text;
            text += digits[nibble];
        }
    }
    return text;
}

std::string backupFileName(const std::string& iccid, std::time_t when)
{
    std::tm local {};
    ::localtime_r(&when, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    return (iccid.empty() ? std::string("SIM") : iccid) + "-" + stamp + ".phb";
}

bool writeBackup(const std::string& folder, const std::string& fileName, const std::string& content,
                 std::string& path, std::string& reason)
{
    if (folder.empty()) {
        reason = "kotikansio ei ole tiedossa (HOME puuttuu)";
        return false;
    }
    if (!makePrivateFolder(folder, reason))
        return false;
    const std::string stem = fileName.substr(0, fileName.rfind('.'));
    const std::string extension = fileName.substr(stem.size());
    for (int n = 1; n < 100; ++n) {
        path = folder + "/" + (n == 1 ? fileName : stem + "-" + std::to_string(n) + extension);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kPrivateFile);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0) {
            reason = path + ": " + std::strerror(errno);
            return false;
        }
        // The umask may only take bits away; make sure of exactly 0600.
        const bool written = ::fchmod(fd, kPrivateFile) == 0 && writeAll(fd, content) && ::fsync(fd) == 0;
        const int error = errno;
        if (::close(fd) != 0 || !written) {
            reason = path + ": " + std::strerror(written ? errno : error);
            ::unlink(path.c_str());
            return false;
        }
        return true;
    }
    reason = folder + ": liian monta samannimistä varmuuskopiota";
    return false;
}

}  // namespace puolukka
