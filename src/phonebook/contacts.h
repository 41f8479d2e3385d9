#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "phonebook/phonebook_state.h"

namespace puolukka {

// Contacts as address books and phones export them (vCard, CSV), and how they
// become phonebook entries and back. Texts are UTF-8.

// What kind of number an address book says it is.
enum class NumberKind { None, Home, Work, Mobile, Fax, Pager };

struct ContactNumber {
    std::string text;  // as the file gives it ("040 123 4567", "+358 40 ...")
    NumberKind kind = NumberKind::None;
    bool operator==(const ContactNumber&) const = default;
};

struct Contact {
    std::string name;
    std::vector<ContactNumber> numbers;
    bool operator==(const Contact&) const = default;
};

// The kind a type word or column label names ("CELL", "Mobile", "Työ", "koti"...).
NumberKind kindFromLabel(std::string_view label);
// The word an imported name is marked with when its contact has several
// numbers: "Matti (työ)". Empty for NumberKind::None.
const char* kindMarker(NumberKind kind);

// A name or number from a file as one line: control characters become blanks,
// blanks at either end go.
std::string cleanContactText(std::string_view text);

// True for an entry that holds no contact: TON "FF" (written as an empty record).
bool isFreeEntry(const std::string& entry);

// Every used entry of the phonebook in position order: its name decoded as
// phones do, its number as dialled ("+" and the digits for TON 91).
std::vector<Contact> phonebookContacts(const Phonebook& book);

struct ImportOptions {
    std::string region = "FI";  // for numbers given without a country code
    int nameLength = 14;        // bytes of the card's name field
    bool shortenNames = false;  // the user agreed to shorten names that do not fit
};

enum class ImportStatus {
    Taken,      // as it came
    Shortened,  // its name cut to fit, with the user's consent
    TooLong,    // its name does not fit and may not be shortened
    Refused,    // cannot be stored (unreadable number, unstorable character, no number)
    NoRoom,     // no free position left for it
};

// One number of one contact on its way to an entry.
struct ImportItem {
    std::string sourceName;    // the contact's name
    std::string sourceNumber;  // the number as the file gave it
    std::string name;          // the name as stored (marked, shortened when allowed)
    std::string number;        // as a record holds it: "+358401234567", "0401234567", "*100#"
    std::string ton;           // "91" or "81"
    ImportStatus status = ImportStatus::Refused;
    std::string reason;        // why it was refused (Finnish)
    std::string entry;         // the entry text to store (Taken and Shortened)
    int position = 0;          // where it was stored
};

// One item per number of each contact (one for a contact without numbers),
// in file order. A contact with several numbers marks each name with the kind
// of its number where the file gives one ("Matti (työ)").
std::vector<ImportItem> planImport(const std::vector<Contact>& contacts, const ImportOptions& options);

enum class ImportMode {
    Replace,   // the imported entries from position 1; the rest of the positions left unused
    FillFree,  // the imported entries into the free positions, in order
};

struct ImportSummary {
    int taken = 0;      // stored (shortened ones included)
    int shortened = 0;
    int refused = 0;    // too long, unreadable, or no room
};

// Stores the Taken and Shortened items (their `position` set; items with no
// free position left become NoRoom). Replace keeps the phonebook's number of
// positions (or grows it to the items); an empty phonebook gets one position
// an item.
ImportSummary applyImport(Phonebook& book, std::vector<ImportItem>& items, ImportMode mode,
                          const ImportOptions& options);

// The summary for the user: how many were taken, shortened and refused, and
// which (the first few of each).
std::string importSummaryText(const ImportSummary& summary, const std::vector<ImportItem>& items);

// One line of the preview and the summary: name, number and what happens to it.
std::string importItemText(const ImportItem& item);

}  // namespace puolukka
