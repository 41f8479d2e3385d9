#pragma once

namespace puolukka {

struct App;

// The port's event handler (OnComm) for one CommEvent code.
void OnComm(App& app, int commEvent);

// Called by the event loop every Interval ms: asks the port for its events and
// hands each to OnComm.
void pollPort(App& app);

}  // namespace puolukka
