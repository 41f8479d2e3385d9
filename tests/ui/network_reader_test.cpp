// A reader behind an RFC 2217 server that goes away and comes back: the program
// notices, and the next operation connects again.

#include "ui_fixture.h"

#include "link/line_events.h"
#include "ports/device_port.h"
#include "ports/port_factory.h"
#include "ports/rfc2217_server.h"
#include "pumping_clock.h"
#include "sim/virtual_reader.h"

namespace puolukka {
namespace {

struct NetworkReaderTest : ::testing::Test {
    NetworkReaderTest()
    {
        reader.setCommPort(1);
        reader.setPortOpen(true);
        startServer(0);
        PortsMap ports;
        ports.set(1, "rfc2217://127.0.0.1:" + std::to_string(tcpPort));
        port = std::make_unique<DevicePort>(makeBackendFactory(clock, "/"), std::move(ports));
        app = std::make_unique<App>(screen, clock, *port);
        context = std::make_unique<DispatchContext>(*app);
        port->setSettings("9600,E,8,1");
        port->setCommPort(1);
        EXPECT_TRUE(port->setPortOpen(true)) << port->lastError().description;
        app->card.ClassByte = "A0";
        app->card.ShowInTerminal = 1;
    }
    void startServer(int wanted)
    {
        server = std::make_unique<Rfc2217Server>(reader);
        std::string error;
        ASSERT_TRUE(server->listen(wanted, &error)) << error;
        tcpPort = server->localPort();
    }
    // The phonebook read from the toolbar, the PIN typed.
    std::vector<std::string> readPhonebook()
    {
        screen.clearTranscript();
        screen.inputAnswers = {"1234"};
        dispatchElement(*context, "Toolbar1_4");
        return screen.messageTexts();
    }

    VirtualClock base;
    std::unique_ptr<Rfc2217Server> server;
    test::PumpingClock clock{base,
                             [this] {
                                 if (server)
                                     server->pump();
                             },
                             1000};
    VirtualReaderPort reader{base, sim::demoCard()};
    int tcpPort = 0;
    test::ScriptedScreen screen;
    std::unique_ptr<DevicePort> port;
    std::unique_ptr<App> app;
    std::unique_ptr<DispatchContext> context;
};

TEST_F(NetworkReaderTest, AServerThatRestartsIsReachedAgainByTheNextOperation)
{
    const std::vector<std::string> none;
    ASSERT_EQ(readPhonebook(), none);
    ASSERT_EQ(app->phonebook.PBCount, 100);
    // The server goes away: the next poll sees the connection close as the carrier dropping.
    server.reset();
    pollTick(*context);
    EXPECT_FALSE(port->portOpen());
    EXPECT_EQ(screen.text("Label1"), "CD change detected");
    // While it is away, an operation says so and sends nothing.
    EXPECT_EQ(readPhonebook(), std::vector<std::string>{"Yhteys kortinlukijaan katkesi.\rrfc2217://127.0.0.1:" +
                                                        std::to_string(tcpPort) + ": Connection refused"});
    // Back again (a new server: its card was powered anew): the next read connects, resets and reads.
    startServer(tcpPort);
    reader.removeCard(), reader.insertCard();
    app->phonebook.PBCount = 0;
    EXPECT_EQ(readPhonebook(), none);
    EXPECT_TRUE(port->portOpen());
    EXPECT_EQ(app->phonebook.PBCount, 100);
    EXPECT_EQ(server->clientsServed(), 1);
    // The terminal connects again too.
    server.reset();
    pollTick(*context);
    startServer(tcpPort);
    for (char key : std::string("A0F2000016\r"))
        dispatchTermKey(*context, key);
    EXPECT_TRUE(port->portOpen());
    clock.sleepMs(100);  // the server passes the command on
    ASSERT_FALSE(reader.trace().empty());
    EXPECT_EQ(sim::toHex(reader.trace().back().command), "A0F2000016");
}

}  // namespace
}  // namespace puolukka
