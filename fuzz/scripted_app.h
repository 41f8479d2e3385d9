// The program's state over a scripted port and screen in virtual time, for
// targets that run whole operations: the port is open on COM1, nothing else set.
#pragma once

#include "app/app.h"
#include "app/clock.h"
#include "scripted_port.h"
#include "scripted_screen.h"

namespace puolukka::fuzz {

struct ScriptedApp {
    ScriptedApp()
    {
        port.setCommPort(1);
        port.setPortOpen(true);
    }
    VirtualClock clock;
    test::ScriptedScreen screen;
    test::ScriptedPort port{clock};
    App app{screen, clock, port};
};

}  // namespace puolukka::fuzz
