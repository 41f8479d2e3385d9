// Debian's ser2net serving a pseudo-terminal with a GSM card behind it, killed and started again.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "ports/device_port.h"
#include "ports/port_factory.h"
#include "sim/card_description.h"
#include "sim/sim_card.h"

namespace puolukka {
namespace {

constexpr const char* kSer2net = "/usr/sbin/ser2net";

// The reader on a pty's master side: every byte echoes, then the card answers.
class CardOnPty {
public:
    CardOnPty()
    {
        if (::openpty(&m_master, &m_slave, m_name, nullptr, nullptr) != 0)
            return;
        m_thread = std::thread([this] { run(); });
    }
    ~CardOnPty()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_master);
        ::close(m_slave);
    }
    bool ready() const { return m_thread.joinable(); }
    std::string device() const { return m_name; }

private:
    void run()
    {
        while (!m_stop) {
            pollfd pfd{m_master, POLLIN, 0};
            if (::poll(&pfd, 1, 10) <= 0 || !(pfd.revents & POLLIN))
                continue;
            unsigned char bytes[256];
            const ssize_t n = ::read(m_master, bytes, sizeof bytes);
            for (ssize_t i = 0; i < n; ++i) {
                std::string out(1, char(bytes[i]));
                out += m_card.receive(bytes[i]).bytes;
                if (::write(m_master, out.data(), out.size()) < 0)
                    break;
            }
        }
    }

    int m_master = -1;
    int m_slave = -1;  // held open: the master never hangs up between servers
    char m_name[128] = {};
    sim::SimCard m_card{sim::demoCard()};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

int freeTcpPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    socklen_t len = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

pid_t startSer2net(int tcpPort, const std::string& device, const std::string& pidFile)
{
    const std::string accepter = "  accepter: telnet(rfc2217),tcp,127.0.0.1," + std::to_string(tcpPort);
    const std::string connector = "  connector: serialdev," + device + ",9600n81,local";
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int quiet = ::open("/dev/null", O_WRONLY);  // its notes (mDNS unavailable...) are not ours
        ::dup2(quiet, 1), ::dup2(quiet, 2);
        ::execl(kSer2net, kSer2net, "-n", "-u", "-P", pidFile.c_str(), "-Y", "connection: &con0", "-Y",
                accepter.c_str(), "-Y", connector.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return pid;
}

// What the reader sends back (up to `expected` bytes, 1 s at most).
std::string exchange(SerialPort& port, Clock& clock, const std::string& bytes, std::size_t expected)
{
    port.output(bytes);
    std::string got;
    for (int i = 0; i < 100 && got.size() < expected; ++i, clock.sleepMs(10))
        while (port.inBufferCount() > 0)
            got += port.input();
    return got;
}

// SELECT MF: the echo of header and identifier, the procedure byte and 9F xx.
std::string selectMasterFile(SerialPort& port, Clock& clock)
{
    const std::string answer = exchange(port, clock, std::string("\xA0\xA4\x00\x00\x02", 5), 6);
    return sim::toHex(answer + exchange(port, clock, std::string("\x3F\x00", 2), 4)).substr(0, 18);
}

TEST(Ser2net, ReadsThroughItAndConnectsAgainAfterItRestarts)
{
    if (::access(kSer2net, X_OK) != 0)
        GTEST_SKIP() << kSer2net << " is not installed (scripts/setup.sh installs it)";
    CardOnPty card;
    ASSERT_TRUE(card.ready());
    const int tcpPort = freeTcpPort();
    const std::string pidFile = ::testing::TempDir() + "puolukka_ser2net_" + std::to_string(::getpid()) + ".pid";
    pid_t server = startSer2net(tcpPort, card.device(), pidFile);

    RealClock clock;
    PortsMap ports;
    ports.set(1, "rfc2217://127.0.0.1:" + std::to_string(tcpPort));
    DevicePort port(makeBackendFactory(clock, "/"), std::move(ports));
    ASSERT_TRUE(port.setSettings("9600,E,8,1") && port.setCommPort(1));
    bool open = false;
    for (int i = 0; i < 50 && !open; ++i)  // until ser2net listens
        open = port.setPortOpen(true) || (clock.sleepMs(100), false);
    ASSERT_TRUE(open) << port.lastError().description;
    EXPECT_EQ(selectMasterFile(port, clock), "A0A4000002A43F009F");

    // Killed: the port notices, and cannot reach it while it is away.
    ::kill(server, SIGKILL);
    ::waitpid(server, nullptr, 0);
    for (int i = 0; i < 50 && port.portOpen(); ++i) {
        port.pollEvents();
        clock.sleepMs(20);
    }
    EXPECT_FALSE(port.portOpen());
    EXPECT_FALSE(port.reopenIfDropped());
    EXPECT_NE(port.lastError().description.find("Connection refused"), std::string::npos) << port.lastError().description;

    // Started again: the next operation connects, and the card answers as before.
    server = startSer2net(tcpPort, card.device(), pidFile);
    bool back = false;
    for (int i = 0; i < 50 && !back; ++i)
        back = port.reopenIfDropped() || (clock.sleepMs(100), false);
    EXPECT_TRUE(back) << port.lastError().description;
    EXPECT_EQ(selectMasterFile(port, clock), "A0A4000002A43F009F");

    port.setPortOpen(false);
    ::kill(server, SIGTERM);
    ::waitpid(server, nullptr, 0);
    ::unlink(pidFile.c_str());
}

}  // namespace
}  // namespace puolukka
