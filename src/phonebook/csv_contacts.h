#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "phonebook/contacts.h"

namespace puolukka {

// Contacts as spreadsheets and address books save them in CSV (RFC 4180):
// fields separated by commas or semicolons (what the header row holds more of),
// quoted fields with "" for a quote and line breaks inside quotes, CR LF or LF.
// UTF-8 with or without a byte order mark, UTF-16 with one; content that is
// not UTF-8 is read as Windows-1252 (what spreadsheets on Windows save).

// The records of CSV text, each a list of fields.
std::vector<std::vector<std::string>> parseCsvRecords(std::string_view text, char delimiter);
// The delimiter of CSV text: "," or ";" (or a tab), whichever the first
// record holds most of outside quotes; "," when none.
char csvDelimiter(std::string_view text);

struct CsvContacts {
    bool ok = false;
    std::string error;  // when not ok (Finnish)
    std::vector<Contact> contacts;
};

// The header row names the columns: a name ("Nimi", "Name", "Full Name"...) or
// its parts ("Etunimi"/"First Name", "Sukunimi"/"Last Name"...), and one or
// more number columns ("Numero", "Puhelin", "Phone", "Mobile Phone",
// "Phone 1 - Value" with its "Phone 1 - Type"...); a column's label gives the
// kind of its numbers. A field may hold several numbers separated by ":::".
// Rows with neither name nor number are skipped.
CsvContacts parseCsvContacts(std::string_view fileBytes);

// UTF-8 with a byte order mark (so that spreadsheets read the letters right),
// commas, CR LF, the header "Nimi,Numero" and a row for each number; fields
// are quoted where RFC 4180 asks.
std::string writeCsvContacts(const std::vector<Contact>& contacts);

}  // namespace puolukka
