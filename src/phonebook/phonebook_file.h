#pragma once

namespace puolukka {

struct App;

// Opens a phonebook file into memory ("Avaa luettelo").
void avaa(App& app);
// Saves the phonebook in memory to a file ("Tallenna luettelo").
void SavePB_Click(App& app);

}  // namespace puolukka
