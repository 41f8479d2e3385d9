#pragma once

namespace puolukka {

struct App;

// PIN1 verification, used by the phonebook transfers.
void luepin(App& app);
// " PIN2   #", "PUK1 #", "PUK 2 #".
void PinCHV2_Click(App& app);
void PUK1_Click(App& app);
void PUK2_Click(App& app);

}  // namespace puolukka
