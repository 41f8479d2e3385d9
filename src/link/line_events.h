#pragma once

namespace puolukka {

struct App;

// The port's event handler (OnComm) for one CommEvent code.
void OnComm(App& app, int commEvent);

// Sets parity and convention together, as the line's convention switch does:
// even parity with the direct convention, odd with the inverse one (ParStat2,
// SimConv1, the port parameter text); the port is closed and opened again.
void setConvention(App& app, bool inverse);

// Called by the event loop every Interval ms: asks the port for its events and
// hands each to OnComm.
void pollPort(App& app);

}  // namespace puolukka
