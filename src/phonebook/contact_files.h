#pragma once

#include <string>
#include <vector>

#include "phonebook/contacts.h"

namespace puolukka {

struct App;

// "Tuo yhteystiedot..." and "Vie yhteystiedot...": contacts in and out of the
// phonebook in memory as vCard or CSV files. The choices of the import are
// made in a window (ui/contacts_import.h) between chooseContactsFile and
// finishImport.

inline constexpr const char* kImportTitle = "Tuo yhteystiedot";
inline constexpr const char* kExportTitle = "Vie yhteystiedot";
inline constexpr const char* kContactsOpenFilter =
    "vCard (*.vcf)|*.vcf|CSV (*.csv)|*.csv|Kaikki tiedostot (*.*)|*.*";
inline constexpr const char* kContactsSaveFilter = "vCard (*.vcf)|*.vcf|CSV (*.csv)|*.csv";

enum class ContactFormat { VCard, Csv };

// By the name's extension (.csv, .vcf, .vcard); otherwise by the content
// (BEGIN:VCARD); otherwise CSV.
ContactFormat contactFormatOf(const std::string& path, const std::string& content);

struct ContactsFile {
    std::string path;
    std::vector<Contact> contacts;
};

// Asks for a contacts file and reads it. False (after saying why, when it was
// not a cancel) when there is nothing to import; the phonebook is not touched.
bool chooseContactsFile(App& app, ContactsFile& file);

// Stores the planned items into the phonebook in memory (the user agreed to
// the mode and the shortened names) and shows the summary.
void finishImport(App& app, std::vector<ImportItem>& items, ImportMode mode, const ImportOptions& options);

// "Vie yhteystiedot...": every used entry into a vCard 3.0 or CSV file (by the
// chosen name's extension; a name without one gets ".vcf").
void VieYhteystiedot_Click(App& app);

}  // namespace puolukka
