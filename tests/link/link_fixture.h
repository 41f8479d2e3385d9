#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/app.h"
#include "scripted_port.h"
#include "scripted_screen.h"

namespace puolukka::test {

inline std::string fileBytes(const std::string& path)
{
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

// A scripted screen that also notes what the terminal pane held when each box appeared.
class RecordingScreen : public ScriptedScreen {
public:
    std::vector<std::string> termAtBox;
    Answer messageBox(const MessageBox& box) override { return termAtBox.push_back(term), ScriptedScreen::messageBox(box); }
};

// The link as start-up leaves it, over a scripted port that echoes like the reader.
class LinkFixture : public ::testing::Test {
protected:
    LinkFixture()
    {
        port.setSettings("9600,E,8,1");
        port.setCommPort(1);
        port.setPortOpen(true);
        port.echo = true;
        app.settings = PortSettings{"1", "4", "8", "E", "1", "9600", "0", "0"};
        app.card.ClassByte = "A0";
        app.card.ShowInTerminal = app.card.CardReady = 1;
    }
    // A fresh log file in the test's temporary folder, opened as the terminal opens it.
    std::string openLog()
    {
        const std::string path = ::testing::TempDir() + "link_" + std::to_string(::getpid()) + ".log";
        std::remove(path.c_str());
        std::string error;
        EXPECT_TRUE(app.log.open(path, &error)) << error;
        return path;
    }

    VirtualClock clock;
    RecordingScreen screen;
    ScriptedPort port{clock};
    App app{screen, clock, port};
};

}  // namespace puolukka::test
