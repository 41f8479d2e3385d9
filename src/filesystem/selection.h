#pragma once

#include <string>

namespace puolukka {

struct App;

// SELECT of the master file, the three dedicated files under it, and any file
// of the card's current directory by its identifier. Each leaves the last two
// digits of the answer in ResponseLength.
void SelRoot(App& app);
void SelDF_GSM(App& app);
void SelDF_TELECOM(App& app);
void SelDF_GSM2(App& app);
void SelCmd(App& app, const std::string& CmdData, const std::string& FileData);

}  // namespace puolukka
