#pragma once

namespace puolukka {

struct App;

// Reads every record of EF ADN into the phonebook in memory.
void PhnBook_Click(App& app);
// Writes the phonebook in memory to EF ADN, record 1 on.
void WritePB_Click(App& app);

}  // namespace puolukka
