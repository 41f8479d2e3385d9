#pragma once

#include <ctime>
#include <string>

namespace puolukka {

// Backups of a card's phonebook, taken before a write changes the card. They
// are phonebook files ("Avaa luettelo" restores one) and personal data: the
// folder is private (0700) and each file 0600.

// $XDG_DATA_HOME/puolukka/backups, or ~/.local/share/puolukka/backups when
// XDG_DATA_HOME is unset or not an absolute path (XDG Base Directory); empty
// when neither it nor HOME is known.
std::string backupFolder();

// The ICCID of EF ICCID (2FE2) as digits: BCD, low nibble first, F as filler
// (GSM 11.11 10.1.1). Nibbles A-E stay as letters; the first F ends it.
std::string iccidDigits(const std::string& bytes);

// "ICCID-YYYYMMDD-HHMMSS.phb" in local time ("SIM-..." without an ICCID).
std::string backupFileName(const std::string& iccid, std::time_t when);

// Writes content as a new file of that name in folder, never over an existing
// file (a name taken gets "-2", "-3", ... before ".phb"). The folder and its
// missing parents are created 0700, and the folder itself is made 0700 when it
// exists. On success path is the file written; otherwise reason says why.
bool writeBackup(const std::string& folder, const std::string& fileName, const std::string& content,
                 std::string& path, std::string& reason);

}  // namespace puolukka
