#include "private_pcscd.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ports/pcsc_port.h"

namespace puolukka::test {

namespace {

constexpr const char* kPcscd = "/usr/sbin/pcscd";
constexpr const char* kVpcdDriver = "/usr/lib/pcsc/drivers/serial/libifdvpcd.so";
// Shared by every worktree and test program on the machine.
constexpr const char* kLockPath = "/tmp/puolukka-pcscd.lock";
constexpr int kLockWaitMs = 240'000;
constexpr int kStartTimeoutMs = 15'000;

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// vpcd listens on its port and the next one (a second slot): two free ports in a row.
int freePortPair()
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        int ports[2] = {0, 0};
        for (int i = 0; i < 2; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(std::uint16_t(i == 0 ? 0 : ports[0] + 1));
            socklen_t length = sizeof address;
            if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
                ports[i] = ntohs(address.sin_port);
            if (fd >= 0)
                ::close(fd);
        }
        if (ports[0] > 0 && ports[1] == ports[0] + 1)
            return ports[0];
    }
    return 0;
}

// Why a pcscd of the system forbids ours; empty when none is there.
std::string systemPcscd()
{
    struct stat st{};
    std::ifstream pidFile("/run/pcscd/pcscd.pid");
    long pid = 0;
    if (::stat("/run/pcscd/pcscd.comm", &st) == 0 || (pidFile >> pid && pid > 0 && ::kill(pid_t(pid), 0) == 0))
        return "a pcscd of the system is set up here (/run/pcscd); a private one must not run beside it";
    return {};
}

// Our reader as pcscd lists it: 0 absent, 1 empty, 2 holding a card.
int readerState()
{
    std::vector<PcscReader> readers;
    if (listPcscReaders(readers))
        for (const PcscReader& r : readers)
            if (r.name == PrivatePcscd::kReaderName)
                return r.cardPresent ? 2 : 1;
    return 0;
}

}  // namespace

bool pcscdRequired()
{
    const char* value = std::getenv("PUOLUKKA_REQUIRE_PCSCD");
    return value != nullptr && std::string(value) == "1";
}

PrivatePcscd& PrivatePcscd::instance()
{
    static PrivatePcscd pcscd;
    return pcscd;
}

PrivatePcscd::~PrivatePcscd()
{
    stop();
    if (!m_folder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
}

bool PrivatePcscd::prepare(std::string* whyNot)
{
    if (m_lockFd >= 0)
        return true;
    int lockFd = -1;
    const auto refuse = [whyNot, &lockFd](const std::string& why) {
        if (lockFd >= 0)
            ::close(lockFd);
        if (whyNot)
            *whyNot = why;
        return false;
    };
    if (::access(kPcscd, X_OK) != 0)
        return refuse(std::string(kPcscd) + " is not installed (Debian package pcscd)");
    if (::access(kVpcdDriver, R_OK) != 0)
        return refuse(std::string(kVpcdDriver) + " is not installed (Debian package vsmartcard-vpcd)");
    if (::geteuid() != 0)
        return refuse("pcscd needs root (it writes /run/pcscd)");

    // Above fd 3 (pcscd's socket) and inherited by pcscd: held while either lives.
    const int opened = ::open(kLockPath, O_RDWR | O_CREAT, 0666);
    lockFd = opened >= 0 ? ::fcntl(opened, F_DUPFD, 10) : -1;
    if (opened >= 0)
        ::close(opened);
    if (lockFd < 0)
        return refuse(std::string(kLockPath) + ": " + std::strerror(errno));
    bool locked = false;
    for (int waited = 0; waited < kLockWaitMs && !(locked = ::flock(lockFd, LOCK_EX | LOCK_NB) == 0); waited += 100)
        sleepMs(100);
    if (!locked)
        return refuse("another private pcscd kept " + std::string(kLockPath) + " for too long");
    if (const std::string why = systemPcscd(); !why.empty())
        return refuse(why);

    char folder[] = "/tmp/puolukka-pcscd-XXXXXX";
    if (::mkdtemp(folder) == nullptr)
        return refuse(std::string("cannot make a folder: ") + std::strerror(errno));
    m_folder = folder;
    m_socketPath = m_folder + "/pcscd.comm";
    m_vpcdPort = freePortPair();
    std::filesystem::create_directory(m_folder + "/reader.conf.d");
    std::ofstream conf(m_folder + "/reader.conf.d/vpcd");
    char port[16];
    std::snprintf(port, sizeof port, "0x%04X", m_vpcdPort);
    // "/dev/null:PORT" makes vpcd listen on PORT (and PORT + 1 for a second slot).
    conf << "FRIENDLYNAME \"Puolukka vpcd\"\nDEVICENAME /dev/null:" << port << "\nLIBPATH " << kVpcdDriver
         << "\nCHANNELID " << port << "\n";
    conf.close();
    if (!conf || m_vpcdPort == 0)
        return refuse("cannot write the reader configuration in " + m_folder);
    // Read by pcsc-lite at this process's first context: set before any.
    ::setenv("PCSCLITE_CSOCK_NAME", m_socketPath.c_str(), 1);
    m_lockFd = lockFd;
    return true;
}

bool PrivatePcscd::start(std::string* whyNot)
{
    if (m_pid > 0)
        return true;
    if (!prepare(whyNot))
        return false;
    const std::string confFolder = m_folder + "/reader.conf.d";
    const std::string logPath = m_folder + "/pcscd.log";
    ::unlink(m_socketPath.c_str());
    // All the child needs is made before fork (another thread may hold the allocator's lock);
    // the shell puts its own pid, pcscd's after exec, in LISTEN_PID.
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, m_socketPath.c_str(), sizeof address.sun_path - 1);
    const char* const argv[] = {"sh", "-c", "LISTEN_PID=$$ LISTEN_FDS=1 exec \"$0\" --foreground --config \"$1\"",
                                kPcscd, confFolder.c_str(), nullptr};
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // pcscd ends with this process, however it ends.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(1);
        const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        ::dup2(log, 1), ::dup2(log, 2);
        const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (listener < 0 || ::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener, 64) != 0 || ::dup2(listener, 3) != 3)
            ::_exit(126);
        ::execv("/bin/sh", const_cast<char* const*>(argv));
        ::_exit(127);
    }
    std::string why = std::string("fork: ") + std::strerror(errno);
    m_pid = pid;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    while (pid > 0 && std::chrono::steady_clock::now() < deadline) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) {
            m_pid = -1;
            why = "pcscd ended at once: " + log();
            break;
        }
        if (readerState() > 0)
            return true;
        sleepMs(20);
    }
    if (m_pid > 0) {
        stop();
        why = "pcscd did not show its reader in time: " + log();
    }
    if (whyNot)
        *whyNot = why;
    return false;
}

void PrivatePcscd::stop()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    bool ended = false;
    for (int waited = 0; waited < 5000 && !(ended = ::waitpid(m_pid, nullptr, WNOHANG) == m_pid); waited += 10)
        sleepMs(10);
    if (!ended) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    m_pid = -1;
    ::unlink(m_socketPath.c_str());
}

bool PrivatePcscd::waitForCard(bool present, int timeoutMs) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (; readerState() != (present ? 2 : 1); sleepMs(10))
        if (std::chrono::steady_clock::now() > deadline)
            return false;
    return true;
}

std::string PrivatePcscd::log() const
{
    std::ifstream in(m_folder + "/pcscd.log");
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ServedCard::ServedCard(sim::CardDescription card, std::string cardFile) : m_vpcd(std::move(card), std::move(cardFile))
{
    m_vpcd.setAddress("127.0.0.1", PrivatePcscd::instance().vpcdPort());
    m_thread = std::thread([this] {
        while (!m_stop)
            m_vpcd.serveOnce(5);
    });
}

ServedCard::~ServedCard()
{
    m_stop = true;
    m_thread.join();
    // The card leaves the reader with this object: the next test finds it empty.
    m_vpcd.setInserted(false);
    m_vpcd.serveOnce(0);
    PrivatePcscd::instance().waitForCard(false);
}

bool ServedCard::setInserted(bool inserted)
{
    m_vpcd.setInserted(inserted);
    return PrivatePcscd::instance().waitForCard(inserted);
}

}  // namespace puolukka::test
