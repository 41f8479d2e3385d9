#include "app/settings_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace puolukka {

namespace {

std::string trimBlanks(const std::string& s)
{
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(' ');
    return s.substr(first, last - first + 1);
}

// Reads one item the way the settings file is read: leading blanks skipped, up
// to the next comma or line end; a quoted item runs to its closing quote.
// Returns false at the end of the data (an item that cannot be read).
bool readItem(const std::string& data, std::size_t& pos, std::string& item)
{
    item.clear();
    while (pos < data.size() && (data[pos] == ' ' || data[pos] == '\t'))
        ++pos;
    if (pos >= data.size())
        return false;
    if (data[pos] == '"') {
        ++pos;
        const auto close = data.find('"', pos);
        item = data.substr(pos, close == std::string::npos ? std::string::npos : close - pos);
        pos = close == std::string::npos ? data.size() : close + 1;
        // Whatever stands between the closing quote and the delimiter is passed over.
        while (pos < data.size() && data[pos] != ',' && data[pos] != '\r' && data[pos] != '\n')
            ++pos;
    } else {
        const auto end = data.find_first_of(",\r\n", pos);
        item = data.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        pos = end == std::string::npos ? data.size() : end;
        // An unquoted item loses its trailing blanks.
        const auto last = item.find_last_not_of(" \t");
        item.erase(last == std::string::npos ? 0 : last + 1);
    }
    // Consume the delimiter: a comma, or one line end (CR LF, CR or LF).
    if (pos < data.size()) {
        if (data[pos] == ',') {
            ++pos;
        } else if (data[pos] == '\r') {
            ++pos;
            if (pos < data.size() && data[pos] == '\n')
                ++pos;
        } else if (data[pos] == '\n') {
            ++pos;
        }
    }
    return true;
}

// A value item keeps at most 5 characters after its first "=", trimmed; an item
// without "=" is kept whole.
std::string reduceValue(const std::string& item, bool* hadEquals)
{
    const auto eq = item.find('=');
    if (hadEquals)
        *hadEquals = eq != std::string::npos;
    if (eq == std::string::npos)
        return item;
    return trimBlanks(item.substr(eq + 1, 5));
}

}  // namespace

SettingsRead parseSettingsText(const std::string& data)
{
    SettingsRead result;
    std::size_t pos = 0;
    std::string item;
    std::string* fields[] = {&result.values.Comport,  &result.values.IRQ,
                             &result.values.Word_Length, &result.values.Parity,
                             &result.values.StopBits, &result.values.Baud_Rate,
                             &result.values.HandShake, &result.values.Echo};
    if (!readItem(data, pos, item)) {
        result.errorNumber = kSettingsPastEnd;
        result.errorSource = "Puolukka";
        result.errorDescription = "Input past end of file";
        return result;
    }
    result.SettingsHeader = item;
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        if (!readItem(data, pos, item)) {
            result.errorNumber = kSettingsPastEnd;
            result.errorSource = "Puolukka";
            result.errorDescription = "Input past end of file";
            return result;
        }
        bool hadEquals = false;
        *fields[i] = reduceValue(item, &hadEquals);
        if (fields[i] == &result.values.Parity)
            result.parityHadEquals = hadEquals;
    }
    return result;
}

SettingsRead readSettingsFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        SettingsRead result;
        result.errorNumber = kSettingsFileNotFound;
        result.errorSource = "Puolukka";
        result.errorDescription = "File not found: " + path;
        return result;
    }
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SettingsRead result = parseSettingsText(data);
    if (result.errorNumber != 0)
        result.errorDescription += ": " + path;
    return result;
}

std::string settingsFileText(const std::string& header, const PortSettings& s)
{
    (void)header;  // the writer always writes the section line itself
    std::string text;
    auto line = [&text](const std::string& l) { text += l + "\r\n"; };
    line("[ComSettings]");
    line("Comport = " + s.Comport);
    line("IRQ = " + s.IRQ);
    line("Word_Length = " + s.Word_Length);
    line("Parity = " + s.Parity);
    line("StopBits = " + s.StopBits);
    line("Baud_Rate = " + s.Baud_Rate);
    line("HandShake = " + s.HandShake);
    line("Echo = " + s.Echo);
    return text;
}

bool writeSettingsFile(const std::string& path, const PortSettings& settings, std::string* error)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        if (error)
            *error = path + ": " + std::strerror(errno);
        return false;
    }
    const std::string text = settingsFileText({}, settings);
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok && error)
        *error = path + ": " + std::strerror(errno ? errno : EIO);
    return ok;
}

std::string portParameterText(const PortSettings& s)
{
    return s.Baud_Rate + "," + s.Parity + "," + s.Word_Length + "," + s.StopBits;
}

long decimalValue(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > 1000000000L)
            break;  // far outside any value the settings use
    }
    return negative ? -value : value;
}

std::string numberWithSign(long value)
{
    return (value >= 0 ? " " : "") + std::to_string(value);
}

}  // namespace puolukka
