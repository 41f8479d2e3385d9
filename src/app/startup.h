#pragma once

#include <string>

namespace puolukka {

struct App;

// Start-up: class byte, settings file from startDirectory, port parameters and
// number, open, the single "Error Nr ..." box, thresholds and buffers, CLOG3
// disabled, ShowInTerminal 1, InverseConvention 0 and SimConv1 "NORMAL".
// The caller shows Form1 afterwards.
void startUp(App& app, const std::string& startDirectory);

}  // namespace puolukka
