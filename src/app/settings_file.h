#pragma once

#include <string>

namespace puolukka {

// The eight values of puolukka.ini as text, named after the file's keys.
struct PortSettings {
    std::string Comport;
    std::string IRQ;
    std::string Word_Length;
    std::string Parity;
    std::string StopBits;
    std::string Baud_Rate;
    std::string HandShake;
    std::string Echo;
};

inline constexpr const char* kSettingsFileName = "puolukka.ini";
// The errors reading the file can raise.
inline constexpr int kSettingsFileNotFound = 53;
inline constexpr int kSettingsPastEnd = 62;

// What reading the settings file gave.
struct SettingsRead {
    std::string SettingsHeader;  // the first line, kept but never checked
    PortSettings values;
    bool parityHadEquals = false;  // the parity line held "=", so the parity label is updated
    // The last error met while reading (0 when none), as the start-up error box shows it.
    int errorNumber = 0;
    std::string errorSource;
    std::string errorDescription;
};

// Reads the file by position only: nine items (comma or line end ends an item,
// leading blanks skipped, a quoted item runs to its closing quote); each value
// item is reduced to the at most 5 characters after its first "=", trimmed.
SettingsRead readSettingsFile(const std::string& path);
// The same reading from the file's bytes (a missing file is kSettingsFileNotFound).
SettingsRead parseSettingsText(const std::string& bytes);

// The nine CR LF lines the settings dialog writes.
std::string settingsFileText(const std::string& header, const PortSettings& settings);
// Replaces the file's content with settingsFileText; false with a description on failure.
bool writeSettingsFile(const std::string& path, const PortSettings& settings, std::string* error);

// Baud_Rate, Parity, Word_Length and StopBits joined with ",": "9600,E,8,1".
std::string portParameterText(const PortSettings& settings);

// Decimal value of a text as the settings use it: leading blanks skipped, then
// an optional sign and the leading digits; no digits give 0.
long decimalValue(const std::string& text);

// A number as text with a blank in front when it is not negative: 1 gives " 1".
std::string numberWithSign(long value);

}  // namespace puolukka
