// The network port and the device server, talking over loopback in one thread:
// every wait pumps both ends until a condition holds or 2 s of real time pass.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <numeric>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "link/rfc2217_port.h"
#include "link/rfc2217_protocol.h"
#include "link/rfc2217_server.h"
#include "scripted_port.h"
#include "sim/virtual_reader.h"

namespace puolukka {
namespace {

using namespace rfc2217;

// Virtual time whose every sleep also runs the other end of the connection,
// so the port's wait for the server's answers while opening makes progress.
class PumpingClock final : public Clock {
public:
    PumpingClock(VirtualClock& base, std::function<void()> onSleep) : m_base(base), m_onSleep(std::move(onSleep)) {}
    void sleepMs(int ms) override { m_base.sleepMs(ms); m_onSleep(); }
    void sleepUs(std::int64_t us) override { m_base.sleepUs(us); m_onSleep(); }
    std::int64_t nowUs() const override { return m_base.nowUs(); }
    double timeOfDaySeconds() const override { return m_base.timeOfDaySeconds(); }

private:
    VirtualClock& m_base;
    std::function<void()> m_onSleep;
};

bool contains(const std::vector<int>& v, int x)
{
    return std::find(v.begin(), v.end(), x) != v.end();
}

// Calls step until it returns true, at most 2 s of real time; each round lets
// 1 ms of virtual time pass for the served port.
bool until(VirtualClock& clock, const std::function<bool()>& step)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!step()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        clock.advanceUs(1000);
    }
    return true;
}

template <typename Served>
struct Link {
    VirtualClock clock;
    std::unique_ptr<Served> served;
    std::unique_ptr<Rfc2217Server> server;
    PumpingClock clientClock{clock, [this] { server->pump(); }};
    std::unique_ptr<Rfc2217Port> client;

    void start(std::unique_ptr<Served> port, const std::string& settings = "9600,E,8,1")
    {
        served = std::move(port);
        served->setCommPort(1);
        ASSERT_TRUE(served->setPortOpen(true));
        server = std::make_unique<Rfc2217Server>(*served);
        std::string error;
        ASSERT_TRUE(server->listen(0, &error)) << error;
        client = std::make_unique<Rfc2217Port>(clientClock, address());
        ASSERT_TRUE(client->setSettings(settings));
        ASSERT_TRUE(client->setPortOpen(true)) << client->lastError().description;
    }
    std::string address() const { return "127.0.0.1:" + std::to_string(server->localPort()); }
    bool pumpUntil(const std::function<bool()>& condition)
    {
        return until(clock, [&] {
            server->pump();
            return condition();
        });
    }
    // Reads at the client until `count` bytes have come.
    std::string read(std::size_t count)
    {
        std::string got;
        pumpUntil([&] {
            got += client->input();
            return got.size() >= count;
        });
        return got;
    }
    // The first non-empty poll's events.
    std::vector<int> nextEvents()
    {
        std::vector<int> got;
        pumpUntil([&] { return !(got = client->pollEvents()).empty(); });
        return got;
    }
    std::vector<int> eventsUntil(int wanted)
    {
        std::vector<int> all;
        pumpUntil([&] {
            for (int e : client->pollEvents())
                all.push_back(e);
            return contains(all, wanted);
        });
        return all;
    }
};

struct ScriptedLink : Link<test::ScriptedPort> {
    ScriptedLink() { start(std::make_unique<test::ScriptedPort>(clock)); }
    test::ScriptedPort& port() { return *served; }
};

TEST(Rfc2217Protocol, ReaderSurvivesAnySplitOfTheStream)
{
    const std::string stream = std::string("A\xFF\xFF", 3) + optionCommand(kDo, kOptComPort) + "B" +
                               comPortCommand(kSetBaudrate + kServerOffset, uint32Value(0x0000FFFF)) +
                               std::string("\xFF\xF1", 2) /* NOP */ + "C\xFF\xFF";
    auto read = [](const std::string& s, std::size_t chunk) {
        TelnetReader reader;
        std::vector<TelnetItem> items;
        for (std::size_t i = 0; i < s.size(); i += chunk)
            reader.feed(s.data() + i, std::min(chunk, s.size() - i), items);
        // Merge data items cut by the chunking.
        std::vector<std::string> flat;
        for (const TelnetItem& it : items) {
            if (it.kind == TelnetItem::Kind::Data && !flat.empty() && flat.back()[0] == 'D')
                flat.back() += it.bytes;
            else if (it.kind == TelnetItem::Kind::Data)
                flat.push_back("D" + it.bytes);
            else if (it.kind == TelnetItem::Kind::Option)
                flat.push_back("O" + std::to_string(it.verb) + "/" + std::to_string(it.option));
            else
                flat.push_back("S" + std::to_string(it.option) + ":" + it.bytes);
        }
        return flat;
    };
    const auto whole = read(stream, stream.size());
    const std::vector<std::string> expected = {
        std::string("DA\xFF", 3), "O253/44", "DB",
        "S44:" + std::string("\x65\x00\x00\xFF\xFF", 5), std::string("DC\xFF", 3)};
    EXPECT_EQ(whole, expected);
    for (std::size_t chunk = 1; chunk < 5; ++chunk)
        EXPECT_EQ(read(stream, chunk), expected) << "chunk " << chunk;
}

TEST(Rfc2217Protocol, ParameterTexts)
{
    // text, parity code, stop code (0 0: refused)
    const std::tuple<const char*, unsigned, unsigned> rows[] = {
        {"9600,E,8,1", 3, 1}, {"2400,o,7,2", 2, 2}, {"300,N,8,1.5", 1, 3}, {"1200,M,8,1", 4, 1}, {"1200,S,5,1", 5, 1},
        {",,,", 0, 0}, {"9600,X,8,1", 0, 0}, {"9600,E,9,1", 0, 0}, {"9600,E,8,3", 0, 0}, {"0,E,8,1", 0, 0},
        {"9600,E,8", 0, 0}, {"96a0,E,8,1", 0, 0}};
    for (const auto& [text, parity, stop] : rows) {
        const auto s = parseLineSettings(text);
        ASSERT_EQ(s.has_value(), parity != 0) << text;
        if (s) {
            EXPECT_EQ(s->parityCode() * 10 + s->stopCode(), parity * 10 + stop) << text;
            EXPECT_EQ(parityFromCode(s->parityCode()), s->parity);
            EXPECT_EQ(stopBitsFromCode(s->stopCode()), s->stopBits);
        }
    }
}

TEST(Rfc2217Link, OpeningNegotiatesAndCarriesTheSettings)
{
    ScriptedLink link;
    EXPECT_TRUE(link.client->portOpen());
    EXPECT_FALSE(link.client->errorPending());
    EXPECT_EQ(link.port().settings(), "9600,E,8,1");
    for (const char* text : {"4800,O,7,2", "19200,N,8,1", "1200,M,8,1", "1200,S,5,1", "9600,E,8,1"}) {
        ASSERT_TRUE(link.client->setSettings(text));
        EXPECT_TRUE(link.pumpUntil([&] { return link.port().settings() == text; })) << text;
    }
    EXPECT_FALSE(link.client->setSettings("9600,Q,8,1"));
    EXPECT_EQ(link.client->lastError().number, port_error::InvalidSettings);
    EXPECT_EQ(link.client->settings(), "9600,E,8,1");

    ASSERT_TRUE(link.client->setHandshaking(2));
    EXPECT_TRUE(link.pumpUntil([&] { return link.port().handshaking() == 2; }));
    EXPECT_FALSE(link.client->setHandshaking(4));

    link.port().lineChanges.clear();
    link.client->setRTSEnable(true);
    link.client->setRTSEnable(false);
    link.client->setDTREnable(true);
    EXPECT_TRUE(link.pumpUntil([&] { return link.port().lineChanges.size() >= 3; }));
    EXPECT_EQ(link.port().lineChanges, (std::vector<std::string>{"RTS on", "RTS off", "DTR on"}));
}

TEST(Rfc2217Link, DataTravelsBothWaysWithByteFF)
{
    ScriptedLink link;
    const std::string out("\xA0\xFF\x00\xFF\xFF\x3B", 6);
    ASSERT_TRUE(link.client->output(out));
    const auto& writes = link.port().writes;
    std::string written;
    link.pumpUntil(
        [&] { return (written = std::accumulate(writes.begin(), writes.end(), std::string())).size() >= out.size(); });
    EXPECT_EQ(written, out);

    const std::string in("\xFF\x90\x00\xFF\xFF", 5);
    link.port().deliver(in);
    EXPECT_EQ(link.read(in.size()), in);

}

TEST(Rfc2217Link, ParityErrorArrivesAlone)
{
    ScriptedLink link;
    link.client->setRThreshold(1);
    link.port().events.push_back(comm_event::RxParity);
    link.port().deliver("\x3F");
    EXPECT_EQ(link.nextEvents(), std::vector<int>{comm_event::RxParity});
    // The byte it spoiled is waiting; its receive event comes with the next poll.
    EXPECT_EQ(link.client->pollEvents(), std::vector<int>{comm_event::Receive});
    EXPECT_TRUE(link.client->pollEvents().empty());
    // Emptied by the handler of the error: no receive event afterwards.
    link.port().events.push_back(comm_event::RxParity);
    link.port().deliver("\x3F");
    ASSERT_TRUE(link.pumpUntil([&] { return link.client->inBufferCount() == 2; }));
    EXPECT_EQ(link.client->pollEvents(), std::vector<int>{comm_event::RxParity});
    EXPECT_TRUE(link.client->clearInBuffer());
    EXPECT_TRUE(link.client->pollEvents().empty());
}

TEST(Rfc2217Link, EveryLineErrorAndRingTravels)
{
    ScriptedLink link;
    for (int event : {comm_event::Overrun, comm_event::RxParity, comm_event::Frame, comm_event::Break,
                      comm_event::Ring}) {
        link.port().events.push_back(event);
        EXPECT_EQ(link.nextEvents(), std::vector<int>{event});
    }
}

TEST(Rfc2217Link, CarrierDetectChangesAreEventsAndStates)
{
    ScriptedLink link;
    EXPECT_FALSE(link.client->cdHolding());
    link.port().cd = true;
    EXPECT_TRUE(contains(link.eventsUntil(comm_event::Cd), comm_event::Cd));
    EXPECT_TRUE(link.client->cdHolding());
    link.port().cd = false;
    link.port().cts = true;
    EXPECT_TRUE(contains(link.eventsUntil(comm_event::Cd), comm_event::Cts));
    EXPECT_FALSE(link.client->cdHolding() || link.client->dsrHolding());
    EXPECT_TRUE(link.client->ctsHolding());
}

TEST(Rfc2217Link, LineStateAtOpeningRaisesNoEvent)
{
    Link<test::ScriptedPort> link;
    auto port = std::make_unique<test::ScriptedPort>(link.clock);
    port->cd = true;
    link.start(std::move(port));
    EXPECT_TRUE(link.client->cdHolding());
    EXPECT_FALSE(contains(link.client->pollEvents(), comm_event::Cd));
}

TEST(Rfc2217Link, RefusedConnectionIsAClearError)
{
    // A port nobody listens on: bound, then closed.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    const std::string address = "127.0.0.1:" + std::to_string(ntohs(addr.sin_port));

    VirtualClock clock;
    Rfc2217Port port(clock, "rfc2217://" + address);
    EXPECT_FALSE(port.setPortOpen(true));
    EXPECT_EQ(port.lastError().number, port_error::DeviceNotAvailable);
    EXPECT_EQ(port.lastError().source, "MSComm1");
    EXPECT_EQ(port.lastError().description, "rfc2217://" + address + ": Connection refused");
    EXPECT_FALSE(port.output("x"));
    EXPECT_EQ(port.lastError().number, port_error::PortNotOpen);

    Rfc2217Port bad(clock, "no-port-here");
    EXPECT_FALSE(bad.setPortOpen(true));
    EXPECT_EQ(bad.lastError().number, port_error::DeviceNotAvailable);
}

TEST(Rfc2217Link, DroppedConnectionFailsLaterOperations)
{
    ScriptedLink link;
    const std::string status("\x90\x00", 2);
    link.port().deliver(status);
    link.server->pump();  // sent before the server goes away
    link.server->disconnectClient();
    // What came before the drop is still delivered.
    EXPECT_EQ(link.read(2), status);
    EXPECT_FALSE(link.client->portOpen());
    const std::string why = "rfc2217://" + link.address() + ": Connection closed by the server";

    EXPECT_FALSE(link.client->output("\xA0"));
    EXPECT_EQ(link.client->lastError().number, port_error::WriteFailed);
    EXPECT_EQ(link.client->lastError().description, why);
    EXPECT_EQ(link.client->input(), "");
    EXPECT_EQ(link.client->lastError().number, port_error::ReadFailed);
    EXPECT_EQ(link.client->lastError().description, why);
    EXPECT_TRUE(link.client->pollEvents().empty());

    // Opening again reaches the server, which takes the next client.
    link.client->clearError();
    EXPECT_TRUE(link.client->setPortOpen(true)) << link.client->lastError().description;
    EXPECT_TRUE(link.client->output("A"));
    EXPECT_TRUE(link.pumpUntil([&] { return !link.port().writes.empty() && link.port().writes.back() == "A"; }));
    EXPECT_EQ(link.server->clientsServed(), 2);
}

// The virtual card behind the network: a reset pulse travels on RTS, the card
// answers with its ATR; an inverse card read with even parity raises 1009.
TEST(Rfc2217VirtualCard, ResetPulseGivesTheAnswerToReset)
{
    Link<SerialPort> link;
    std::string error;
    auto reader = makeVirtualReaderPort(link.clock, "", &error);
    ASSERT_TRUE(reader) << error;
    link.start(std::move(reader));
    link.client->clearInBuffer();
    link.client->setRTSEnable(true);
    link.pumpUntil([&] { return link.served->rtsEnable(); });
    link.client->setRTSEnable(false);
    const std::string atr("\x3B\x16\x11\x80\x01\x47\x53\x4D\x31", 9);
    EXPECT_EQ(link.read(atr.size()), atr);
    EXPECT_TRUE(link.client->cdHolding());  // a card sits in the reader

    // A command and its echo: SELECT 3F00 header.
    const std::string header("\xA0\xA4\x00\x00\x02", 5);
    link.client->output(header);
    EXPECT_EQ(link.read(6), header + "\xA4");
}

TEST(Rfc2217VirtualCard, InverseCardReadWithEvenParityRaisesParityEvent)
{
    Link<SerialPort> link;
    sim::CardDescription card = sim::demoCard();
    card.inverse = true;
    link.start(std::make_unique<VirtualReaderPort>(link.clock, card));
    link.client->setRThreshold(1);
    link.client->setDTREnable(true);
    link.pumpUntil([&] { return link.served->dtrEnable(); });
    link.client->setDTREnable(false);
    const auto events = link.eventsUntil(comm_event::RxParity);
    EXPECT_TRUE(contains(events, comm_event::RxParity));
    EXPECT_FALSE(contains(events, comm_event::Receive));
}

}  // namespace
}  // namespace puolukka
