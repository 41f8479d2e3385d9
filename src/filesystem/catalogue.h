#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

namespace puolukka {

struct App;

// How a file of the catalogue is reached from wherever the card stands.
enum class SelectionPath {
    Root,            // SelRoot
    RootThenFile,    // SelRoot, SelCmd
    FileOnly,        // SelCmd in the card's current directory
    Gsm,             // SelDF_GSM
    Gsm2,            // SelDF_GSM2
    Telecom,         // SelDF_TELECOM
    GsmThenFile,     // SelDF_GSM, SelCmd
    TelecomThenFile  // SelDF_TELECOM, SelCmd
};

// One file of the catalogue of standard GSM names (GSM 11.11 clause 10).
struct CatalogueRow {
    std::array<std::string_view, 3> names;  // accepted names in upper case; unused ones empty
    std::string_view identifier;            // four hex digits, sent to SelCmd
    SelectionPath path;
    std::string_view directory;             // CurrentDirectory after the selection
    std::string_view file;                  // CurrentFile after the selection
};

// Every row, in the order they are compared.
std::span<const CatalogueRow> catalogueRows();

// The row whose accepted name equals the upper-case text exactly (no trimming); nullptr if none.
const CatalogueRow* findCatalogueRow(const std::string& upperText);

// Letters to upper case, the Latin-1 ones of the UTF-8 text too ("äbc" gives
// "ÄBC"); letters without a Latin-1 capital (ß, ÿ) and other characters unchanged.
std::string upperCase(const std::string& text);

// A file identifier as SELECT sends it, from the text typed or shown for it:
// one digit for each character, so four characters make the two bytes the
// SELECT header announces. A character that is no hex digit counts as 0, as
// HexToBytes takes it; one outside ASCII stands as a single such digit.
std::string identifierDigits(const std::string& text);
// The identifier of a display name ("EF-6F3A-ADN"): its characters 4 to 7, as identifierDigits gives them.
std::string displayNameIdentifier(const std::string& displayName);

// Runs the row's selections; SelCmd gets the row's identifier and fileData for its command line.
void selectCatalogueRow(App& app, const CatalogueRow& row, const std::string& fileData);

}  // namespace puolukka
