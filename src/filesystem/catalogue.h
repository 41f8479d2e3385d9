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

// ASCII letters to upper case; other characters (UTF-8 included) unchanged.
std::string upperCase(const std::string& text);

// Runs the row's selections; SelCmd gets the row's identifier and fileData for its command line.
void selectCatalogueRow(App& app, const CatalogueRow& row, const std::string& fileData);

}  // namespace puolukka
