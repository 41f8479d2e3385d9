#pragma once

namespace puolukka {

struct App;

// "SELECT File": asks for a GSM file name or identifier and selects it.
void EFDF_Click(App& app);
// "GET Resp.": fetches and shows the description of the current file or directory.
void GetResp3_Click(App& app);
// OK of the Gresponse window.
void GROK_Click(App& app);
// "READ Bin" and "READ Rec": read the current elementary file.
void Rbinary_Click(App& app);
void RRecord_Click(App& app);

}  // namespace puolukka
