#include "filesystem/catalogue.h"

#include <algorithm>

#include "filesystem/selection.h"

namespace puolukka {

namespace {

using P = SelectionPath;

constexpr const char* kRoot = "MF-3F00-ROOT";
constexpr const char* kGsm = "DF-7F20-GSM";
constexpr const char* kTelecom = "DF-7F10-TELECOM";

// The master file, the dedicated files and the elementary files of the GSM and
// TELECOM directories. "KeyExt" 0011 is shown as a CHV1 file, and GLOBST keeps
// its short display name: both are how the explorer has always named them.
// SDN is EF 6F49 of DF TELECOM (GSM 11.11 10.3.2); its identifier is not an
// accepted name, so typing 6F49 selects in the current directory like any
// identifier the catalogue does not list.
constexpr CatalogueRow kRows[] = {
    // Master file and the files directly under it.
    {{"MF", "3F00", "ROOT"}, "3F00", P::Root, kRoot, "MF-3F00-ROOT"},
    {{"CHV1", "0000", "PIN1"}, "0000", P::RootThenFile, kRoot, "EF-0000-CHV1"},
    {{"ICC", "0002"}, "0002", P::RootThenFile, kRoot, "EF-0002-ICC"},
    {{"0011", "KEYEXT", "KEY EXT"}, "0011", P::RootThenFile, kRoot, "EF-0011-CHV1"},
    {{"CHV2", "0100", "PIN2"}, "0100", P::FileOnly, kRoot, "EF-0100-CHV2"},
    {{"1001"}, "1001", P::RootThenFile, kRoot, "EF-1001-????"},
    {{"ICCID", "2FE2"}, "2FE2", P::RootThenFile, kRoot, "EF-2FE2-ICCID"},
    {{"ELP", "2F05"}, "2F05", P::RootThenFile, kRoot, "EF-2F05-ELP"},
    {{"2FE4"}, "2FE4", P::FileOnly, kRoot, "EF-2FE4-????"},
    {{"2FE5"}, "2FE5", P::FileOnly, kRoot, "EF-2FE5-????"},
    // Dedicated files.
    {{"GSM", "7F20"}, "7F20", P::Gsm, kGsm, kGsm},
    {{"GSM2", "7F21"}, "7F21", P::Gsm2, "DF-7F21-GSM2", "DF-7F21-GSM2"},
    {{"TELECOM", "7F10"}, "7F10", P::Telecom, kTelecom, kTelecom},
    {{"IS-41", "7F22"}, "7F22", P::FileOnly, "DF-7F22-IS41", "DF-7F22-IS41"},
    {{"IS41"}, "7F22", P::RootThenFile, "DF-7F22-IS41", "DF-7F22-IS41"},
    {{"IRIDIUM", "5F30"}, "5F30", P::GsmThenFile, "DF-5F30-IRIDIUM", "DF-5F30-IRIDIUM"},
    {{"GLOBST", "5F31"}, "5F31", P::GsmThenFile, "DF-5F31-GOBST", "DF-5F31-GOBST"},
    {{"ICO", "5F32"}, "5F32", P::GsmThenFile, "DF-5F32-ICO", "DF-5F32-ICO"},
    {{"ACES", "5F33"}, "5F33", P::GsmThenFile, "DF-5F33-ACES", "DF-5F33-ACES"},
    {{"PCS1900", "5F40"}, "5F40", P::GsmThenFile, "DF-5F40-PCS1900", "DF-5F40-PCS1900"},
    // Elementary files of DF GSM.
    {{"LP", "6F05"}, "6F05", P::GsmThenFile, kGsm, "EF-6F05-LP"},
    {{"IMSI", "6F07"}, "6F07", P::GsmThenFile, kGsm, "EF-6F07-IMSI"},
    {{"KC", "6F20"}, "6F20", P::GsmThenFile, kGsm, "EF-6F20-Kc"},
    {{"PLMNSEL", "6F30"}, "6F30", P::GsmThenFile, kGsm, "EF-6F30-PLMNSEL"},
    {{"HPLMN", "6F31"}, "6F31", P::GsmThenFile, kGsm, "EF-6F31-HPLMN"},
    {{"ACMMAX", "6F37"}, "6F37", P::GsmThenFile, kGsm, "EF-6F37-ACMMAX"},
    {{"SST", "6F38"}, "6F38", P::GsmThenFile, kGsm, "EF-6F38-SST"},
    {{"ACM", "6F39"}, "6F39", P::GsmThenFile, kGsm, "EF-6F39-ACM"},
    {{"GID1", "6F3E"}, "6F3E", P::GsmThenFile, kGsm, "EF-6F3E-GID1"},
    {{"GID2", "6F3F"}, "6F3F", P::GsmThenFile, kGsm, "EF-6F3F-GID2"},
    {{"PUCT", "6F41"}, "6F41", P::GsmThenFile, kGsm, "EF-6F41-PUCT"},
    {{"CBMI", "6F45"}, "6F45", P::GsmThenFile, kGsm, "EF-6F45-CBMI"},
    {{"SPN", "6F46"}, "6F46", P::GsmThenFile, kGsm, "EF-6F46-SPN"},
    {{"CBMID", "6F48"}, "6F48", P::GsmThenFile, kGsm, "EF-6F48-CBMID"},
    {{"BCCH", "6F74"}, "6F74", P::GsmThenFile, kGsm, "EF-6F74-BCCH"},
    {{"ACC", "6F78"}, "6F78", P::GsmThenFile, kGsm, "EF-6F78-ACC"},
    {{"FPLMN", "6F7B"}, "6F7B", P::GsmThenFile, kGsm, "EF-6F7B-FPLMN"},
    {{"LOCI", "6F7E"}, "6F7E", P::GsmThenFile, kGsm, "EF-6F7E-LOCI"},
    {{"AD", "6FAD"}, "6FAD", P::GsmThenFile, kGsm, "EF-6FAD-AD"},
    {{"PHASE", "6FAE"}, "6FAE", P::GsmThenFile, kGsm, "EF-6FAE-PHASE"},
    {{"VGCS", "6FB1"}, "6FB1", P::GsmThenFile, kGsm, "EF-6FB1-VGCS"},
    {{"VGCSS", "6FB2"}, "6FB2", P::GsmThenFile, kGsm, "EF-6FB2-VGCSS"},
    {{"VBS", "6FB3"}, "6FB3", P::GsmThenFile, kGsm, "EF-6FB3-VBS"},
    {{"VBSS", "6FB4"}, "6FB4", P::GsmThenFile, kGsm, "EF-6FB4-VBSS"},
    {{"EMLPP", "6FB5"}, "6FB5", P::GsmThenFile, kGsm, "EF-6FB5-eMLPP"},
    {{"AAEM", "6FB6"}, "6FB6", P::GsmThenFile, kGsm, "EF-6FB6-AAeM"},
    {{"ECC", "6FB7"}, "6FB7", P::GsmThenFile, kGsm, "EF-6FB7-ECC"},
    {{"CBMIR", "6F50"}, "6F50", P::GsmThenFile, kGsm, "EF-6F50-CBMIR"},
    {{"NIA", "6F51"}, "6F51", P::GsmThenFile, kGsm, "EF-6F51-NIA"},
    {{"KCGPRS", "6F52"}, "6F52", P::GsmThenFile, kGsm, "EF-6F52-KcPRS"},
    {{"LOCIGPRS", "6F53"}, "6F53", P::GsmThenFile, kGsm, "EF-6F53-LOCIGPRS"},
    // Elementary files of DF TELECOM.
    {{"ADN", "6F3A"}, "6F3A", P::TelecomThenFile, kTelecom, "EF-6F3A-ADN"},
    {{"FDN", "6F3B"}, "6F3B", P::TelecomThenFile, kTelecom, "EF-6F3B-FDN"},
    {{"SMS", "6F3C"}, "6F3C", P::TelecomThenFile, kTelecom, "EF-6F3C-SMS"},
    {{"CCP", "6F3D"}, "6F3D", P::TelecomThenFile, kTelecom, "EF-6F3D-CCP"},
    {{"MSISDN", "6F40"}, "6F40", P::TelecomThenFile, kTelecom, "EF-6F40-MSISDN"},
    {{"SMSP", "6F42"}, "6F42", P::TelecomThenFile, kTelecom, "EF-6F42-SMSP"},
    {{"SMSS", "6F43"}, "6F43", P::TelecomThenFile, kTelecom, "EF-6F43-SMSS"},
    {{"LND", "6F44"}, "6F44", P::TelecomThenFile, kTelecom, "EF-6F44-LND"},
    {{"SMSR", "6F47"}, "6F47", P::TelecomThenFile, kTelecom, "EF-6F47-SMSR"},
    {{"EXT1", "6F4A"}, "6F4A", P::TelecomThenFile, kTelecom, "EF-6F4A-EXT1"},
    {{"EXT2", "6F4B"}, "6F4B", P::TelecomThenFile, kTelecom, "EF-6F4B-EXT2"},
    {{"EXT3", "6F4C"}, "6F4C", P::TelecomThenFile, kTelecom, "EF-6F4C-EXT3"},
    {{"BDN", "6F4D"}, "6F4D", P::TelecomThenFile, kTelecom, "EF-6F4D-BDN"},
    {{"EXT4", "6F4E"}, "6F4E", P::TelecomThenFile, kTelecom, "EF-6F4E-EXT4"},
    {{"SDN"}, "6F49", P::TelecomThenFile, kTelecom, "EF-6F49-SDN"},
};

}  // namespace

std::span<const CatalogueRow> catalogueRows() { return kRows; }

const CatalogueRow* findCatalogueRow(const std::string& upperText)
{
    if (upperText.empty())
        return nullptr;
    for (const CatalogueRow& row : kRows)
        if (std::find(row.names.begin(), row.names.end(), upperText) != row.names.end())
            return &row;
    return nullptr;
}

std::string upperCase(const std::string& text)
{
    std::string upper = text;
    for (std::size_t i = 0; i < upper.size(); ++i) {
        const auto c = static_cast<unsigned char>(upper[i]);
        if (c >= 'a' && c <= 'z') {
            upper[i] = char(c - 'a' + 'A');
        } else if (c == 0xC3 && i + 1 < upper.size()) {
            // U+00E0-U+00FE (C3 A0-BE) are the small letters à-þ, 32 above their
            // capitals; U+00F7 (C3 B7) is the division sign.
            const auto next = static_cast<unsigned char>(upper[i + 1]);
            if (next >= 0xA0 && next <= 0xBE && next != 0xB7)
                upper[i + 1] = char(next - 0x20);
            ++i;
        }
    }
    return upper;
}

std::string identifierDigits(const std::string& text)
{
    std::string digits;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80)
            digits += c;
        else if ((byte & 0xC0) != 0x80)
            digits += '?';  // the lead byte of a character outside ASCII: no hex digit
    }
    return digits;
}

std::string displayNameIdentifier(const std::string& displayName)
{
    // Characters (not bytes) 4 to 7: a typed identifier may hold letters outside ASCII.
    const std::string digits = identifierDigits(displayName);
    return digits.size() > 3 ? digits.substr(3, 4) : std::string();
}

void selectCatalogueRow(App& app, const CatalogueRow& row, const std::string& fileData)
{
    const std::string identifier(row.identifier);
    switch (row.path) {
    case P::Root:
        SelRoot(app);
        return;
    case P::Gsm:
        SelDF_GSM(app);
        return;
    case P::Gsm2:
        SelDF_GSM2(app);
        return;
    case P::Telecom:
        SelDF_TELECOM(app);
        return;
    case P::RootThenFile:
        SelRoot(app);
        break;
    case P::GsmThenFile:
        SelDF_GSM(app);
        break;
    case P::TelecomThenFile:
        SelDF_TELECOM(app);
        break;
    case P::FileOnly:
        break;
    }
    SelCmd(app, identifier, fileData);
}

}  // namespace puolukka
