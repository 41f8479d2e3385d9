// The network port and the device server over loopback in one thread; waits pump both ends (2 s at most).

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>

#include "ports/rfc2217_port.h"
#include "ports/rfc2217_server.h"
#include "pumping_clock.h"
#include "scripted_port.h"

namespace puolukka {
namespace {

using test::PumpingClock;

bool contains(const std::vector<int>& v, int x) { return std::find(v.begin(), v.end(), x) != v.end(); }

// A scripted port behind the server, and the network port opened on it.
struct Link {
    explicit Link(bool cd = false)
    {
        port.cd = cd;
        port.setCommPort(1);
        port.setPortOpen(true);
        std::string error;
        EXPECT_TRUE(server.listen(0, &error)) << error;
        client = std::make_unique<Rfc2217Port>(clientClock, address());
        EXPECT_TRUE(client->setSettings("9600,E,8,1"));
        EXPECT_TRUE(client->setPortOpen(true)) << client->lastError().description;
    }
    std::string address() const { return "127.0.0.1:" + std::to_string(server.localPort()); }
    bool pumpUntil(const std::function<bool()>& condition)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        for (server.pump(); !condition(); server.pump(), clock.advanceUs(1000))
            if (std::chrono::steady_clock::now() > deadline)
                return false;
        return true;
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

    VirtualClock clock;
    test::ScriptedPort port{clock};
    Rfc2217Server server{port};
    PumpingClock clientClock{clock, [this] { server.pump(); }};
    std::unique_ptr<Rfc2217Port> client;
};

TEST(Rfc2217Link, OpeningNegotiatesAndCarriesTheSettingsAndLines)
{
    Link link;
    EXPECT_EQ(link.port.settings(), "9600,E,8,1");
    for (const char* text : {"4800,O,7,2", "1200,M,8,1", "1200,S,5,1", "9600,E,8,1"}) {
        ASSERT_TRUE(link.client->setSettings(text));
        EXPECT_TRUE(link.pumpUntil([&] { return link.port.settings() == text; })) << text;
    }
    EXPECT_FALSE(link.client->setSettings("9600,Q,8,1"));
    EXPECT_EQ(link.client->settings(), "9600,E,8,1");

    link.port.lineChanges.clear();
    link.client->setRTSEnable(true);
    link.client->setRTSEnable(false);
    link.client->setDTREnable(true);
    EXPECT_TRUE(link.pumpUntil([&] { return link.port.lineChanges.size() >= 3; }));
    EXPECT_EQ(link.port.lineChanges, (std::vector<std::string>{"RTS on", "RTS off", "DTR on"}));
}

TEST(Rfc2217Link, LineErrorsRingAndCarrierTravel)
{
    Link link;
    for (int event : {comm_event::Overrun, comm_event::Frame, comm_event::Break, comm_event::Ring}) {
        link.port.events.push_back(event);
        EXPECT_EQ(link.eventsUntil(event), std::vector<int>{event});
    }
    // A parity error arrives alone; the byte it spoiled gives its receive event with the next poll.
    link.client->setRThreshold(1);
    link.port.events.push_back(comm_event::RxParity);
    link.port.deliver("\x3F");
    EXPECT_EQ(link.eventsUntil(comm_event::RxParity), std::vector<int>{comm_event::RxParity});
    EXPECT_EQ(link.client->pollEvents(), std::vector<int>{comm_event::Receive});
    // Emptied by the handler of the error: no receive event afterwards.
    link.port.events.push_back(comm_event::RxParity);
    link.port.deliver("\x3F");
    ASSERT_TRUE(link.pumpUntil([&] { return link.client->inBufferCount() == 2; }));
    EXPECT_EQ(link.client->pollEvents(), std::vector<int>{comm_event::RxParity});
    EXPECT_TRUE(link.client->clearInBuffer());
    EXPECT_TRUE(link.client->pollEvents().empty());

    link.port.cd = true;
    EXPECT_TRUE(contains(link.eventsUntil(comm_event::Cd), comm_event::Cd));
    EXPECT_TRUE(link.client->cdHolding());
    link.port.cts = true;
    EXPECT_TRUE(contains(link.eventsUntil(comm_event::Cts), comm_event::Cts));
    EXPECT_TRUE(link.client->ctsHolding() && !link.client->dsrHolding());

    Link held(true);  // the line state at opening raises no event
    EXPECT_TRUE(held.client->cdHolding());
    EXPECT_FALSE(contains(held.client->pollEvents(), comm_event::Cd));
}

TEST(Rfc2217Link, RefusedConnectionIsAClearError)
{
    VirtualClock clock;
    Rfc2217Port port(clock, "rfc2217://127.0.0.1:1");  // nobody listens on port 1
    EXPECT_FALSE(port.setPortOpen(true));
    EXPECT_EQ(port.lastError().number, port_error::DeviceNotAvailable);
    EXPECT_EQ(port.lastError().description, "rfc2217://127.0.0.1:1: Connection refused");
    EXPECT_FALSE(Rfc2217Port(clock, "no-port-here").setPortOpen(true));
}

TEST(Rfc2217Link, DroppedConnectionFailsLaterOperations)
{
    Link link(true);  // carrier on
    ASSERT_TRUE(link.pumpUntil([&] { return link.client->cdHolding(); }));
    const std::string status("\x90\x00", 2);
    link.port.deliver(status);
    link.server.pump();
    link.server.disconnectClient();
    std::string got;  // what came before the drop is still delivered
    link.pumpUntil([&] { return (got += link.client->input()).size() >= 2; });
    EXPECT_EQ(got, status);
    EXPECT_FALSE(link.client->portOpen());
    // Told as the line would tell it: the carrier drops, with its event.
    EXPECT_EQ(link.client->pollEvents(), std::vector<int>{comm_event::Cd});
    EXPECT_FALSE(link.client->cdHolding());
    const std::string why = "rfc2217://" + link.address() + ": connection to the server lost (Connection closed by the server)";
    EXPECT_FALSE(link.client->output("\xA0"));
    EXPECT_EQ(link.client->lastError().description, why);
    // Opening again reaches the server, which takes the next client.
    link.client->clearError();
    EXPECT_TRUE(link.client->setPortOpen(true)) << link.client->lastError().description;
    EXPECT_TRUE(link.client->output("A"));
    EXPECT_TRUE(link.pumpUntil([&] { return !link.port.writes.empty() && link.port.writes.back() == "A"; }));
    EXPECT_EQ(link.server.clientsServed(), 2);
}

// A client that writes and closes at once: its last bytes still reach the line.
TEST(Rfc2217Link, DataSentJustBeforeTheClientClosesReachesTheLine)
{
    Link link;
    link.server.pump();
    const std::string select("\xA0\xA4\x00\x00\x02", 5);
    EXPECT_TRUE(link.client->output(select));
    EXPECT_TRUE(link.client->setPortOpen(false));
    EXPECT_TRUE(link.pumpUntil([&] { return !link.server.clientConnected(); }));
    ASSERT_FALSE(link.port.writes.empty());
    EXPECT_EQ(link.port.writes.back(), select);
}

}  // namespace
}  // namespace puolukka
