#pragma once

#include <string>
#include <vector>

namespace puolukka {

// The start folder of an installed program started from its desktop entry,
// which has no start folder of its own: $XDG_CONFIG_HOME/puolukka, or
// ~/.config/puolukka when XDG_CONFIG_HOME is unset or not an absolute path
// (the XDG Base Directory standard). Empty when neither variable helps.
std::string userFolderPath(const char* xdgConfigHome, const char* home);

// Makes the folder ready to start in: creates it (and its parents) and each of
// puolukka.ini, ports.ini and card.json that is missing, so that a first start
// runs on a working copy of the demo card (COM1 = virtual:card.json) until the
// user chooses a device. Files that exist are never touched. Returns false with
// a description when the folder or a file cannot be made; *created lists the
// files made.
bool prepareUserFolder(const std::string& folder, std::vector<std::string>* created, std::string* error);

}  // namespace puolukka
