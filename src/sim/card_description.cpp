#include "sim/card_description.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

namespace puolukka::sim {

using Json = nlohmann::ordered_json;

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string hex4(std::uint16_t id)
{
    static const char* digits = "0123456789ABCDEF";
    std::string s(4, '0');
    for (int i = 0; i < 4; ++i) s[3 - i] = digits[(id >> (4 * i)) & 0xF];
    return s;
}

bool parseId(const std::string& text, std::uint16_t* id)
{
    std::string bytes;
    if (text.size() != 4 || !parseHex(text, &bytes) || bytes.size() != 2) return false;
    *id = std::uint16_t((std::uint8_t(bytes[0]) << 8) | std::uint8_t(bytes[1]));
    return true;
}

// Adds a file under parent and returns its index.
int addFile(CardDescription& card, int parent, std::uint16_t id, const char* name, FileKind kind,
            Structure structure = Structure::Transparent, int size = 0, int recordLength = 0,
            AccessConditions access = {})
{
    CardFile file;
    file.id = id;
    file.name = name;
    file.kind = kind;
    file.parent = parent;
    file.structure = structure;
    file.recordLength = recordLength;
    file.data.assign(std::size_t(size), '\xFF');
    file.access = access;
    card.files.push_back(file);
    return int(card.files.size()) - 1;
}

constexpr std::uint8_t ALW = 0x0, CHV1 = 0x1, CHV2 = 0x2, ADM = 0x4, NEV = 0xF;

// BCD digit of a dialling number character (GSM 11.11, EF ADN): * # p become A B C.
int dialDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c == '*') return 0xA;
    if (c == '#') return 0xB;
    if (c == 'p' || c == 'P') return 0xC;
    return -1;
}

char dialChar(int nibble)
{
    static const char* chars = "0123456789*#pDE";
    return nibble < 15 ? chars[nibble] : '?';
}

bool isDiallingFile(const CardFile& file)
{
    return file.kind == FileKind::EF && file.structure != Structure::Transparent && file.recordLength >= 14 &&
           (file.id == 0x6F3A || file.id == 0x6F3B || file.id == 0x6F40 || file.id == 0x6F44 ||
            file.id == 0x6F49);
}

// The reading state of one description file: errors name the file and the place.
struct Reader {
    std::string source;
    std::string error;
    bool fail(const std::string& where, const std::string& what)
    {
        if (error.empty()) error = "Card file " + source + ": " + where + ": " + what;
        return false;
    }
};

bool readHex(Reader& r, const Json& value, const std::string& where, std::string* bytes)
{
    if (!value.is_string()) return r.fail(where, "expected a text of hex digits");
    if (!parseHex(value.get<std::string>(), bytes)) return r.fail(where, "invalid hex digits");
    return true;
}

bool readInt(Reader& r, const Json& object, const char* key, const std::string& where, int low, int high,
             int* out)
{
    if (!object.contains(key)) return true;
    const Json& v = object[key];
    if (!v.is_number_integer() || v.get<long long>() < low || v.get<long long>() > high)
        return r.fail(where + "." + key, "expected a whole number from " + std::to_string(low) + " to " +
                                             std::to_string(high));
    *out = int(v.get<long long>());
    return true;
}

bool checkKeys(Reader& r, const Json& object, const std::string& where, std::initializer_list<const char*> keys)
{
    if (!object.is_object()) return r.fail(where, "expected an object");
    for (auto it = object.begin(); it != object.end(); ++it) {
        bool known = false;
        for (const char* k : keys) known = known || it.key() == k;
        if (!known) return r.fail(where, "unknown key \"" + it.key() + "\"");
    }
    return true;
}

bool readCode(Reader& r, const Json& object, const std::string& where, SecretCode* code, bool* enabled)
{
    if (!checkKeys(r, object, where, {"code", "codeHex", "attemptsLeft", "enabled"})) return false;
    if (object.contains("code") && object.contains("codeHex"))
        return r.fail(where, "expected \"code\" or \"codeHex\", not both");
    if (object.contains("code")) {
        const Json& c = object["code"];
        if (!c.is_string() || c.get<std::string>().empty() || c.get<std::string>().size() > 8)
            return r.fail(where + ".code", "expected a text of 1 to 8 characters");
        code->code = c.get<std::string>();
    }
    if (object.contains("codeHex")) {
        std::string bytes;
        if (!readHex(r, object["codeHex"], where + ".codeHex", &bytes)) return false;
        if (bytes.size() != 8) return r.fail(where + ".codeHex", "expected 8 bytes");
        code->code = bytes.substr(0, bytes.find('\xFF'));  // as the card keeps it: the bytes before the padding
    }
    if (!readInt(r, object, "attemptsLeft", where, 0, code->maxAttempts, &code->attemptsLeft)) return false;
    if (object.contains("enabled")) {
        if (!enabled) return r.fail(where + ".enabled", "only CHV1 can be disabled");
        if (!object["enabled"].is_boolean()) return r.fail(where + ".enabled", "expected true or false");
        *enabled = object["enabled"].get<bool>();
    }
    return true;
}

bool readRecordFile(Reader& r, const Json& value, const std::string& where, CardFile* file)
{
    if (value.is_string()) {
        std::string bytes;
        if (!readHex(r, value, where, &bytes)) return false;
        if (bytes.empty() || bytes.size() % std::size_t(file->recordLength) != 0)
            return r.fail(where, "length is not a whole number of " + std::to_string(file->recordLength) +
                                     "-byte records");
        file->data = bytes;
        return true;
    }
    if (!checkKeys(r, value, where, {"recordLength", "recordCount", "entries"})) return false;
    int length = file->recordLength;
    int count = file->recordLength ? int(file->data.size()) / file->recordLength : 0;
    if (!readInt(r, value, "recordLength", where, 1, 255, &length)) return false;
    if (!readInt(r, value, "recordCount", where, 1, 254, &count)) return false;
    file->recordLength = length;
    file->data.assign(std::size_t(length * count), '\xFF');
    if (!value.contains("entries")) return true;
    const Json& entries = value["entries"];
    if (!entries.is_array()) return r.fail(where + ".entries", "expected a list");
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Json& e = entries[i];
        std::string at = where + ".entries[" + std::to_string(i) + "]";
        if (!checkKeys(r, e, at, {"record", "name", "ton", "number", "raw"})) return false;
        int record = 0;
        if (!e.contains("record")) return r.fail(at, "missing \"record\"");
        if (!readInt(r, e, "record", at, 1, count, &record)) return false;
        std::string bytes;
        if (e.contains("raw")) {
            if (!readHex(r, e["raw"], at + ".raw", &bytes)) return false;
            if (int(bytes.size()) != length)
                return r.fail(at + ".raw", "expected " + std::to_string(length) + " bytes");
        } else {
            if (e.contains("name") && !e["name"].is_string()) return r.fail(at + ".name", "expected a text");
            if (e.contains("number") && !e["number"].is_string()) return r.fail(at + ".number", "expected a text");
            std::string name = e.contains("name") ? e["name"].get<std::string>() : "";
            std::string number = e.contains("number") ? e["number"].get<std::string>() : "";
            int ton = !number.empty() && number[0] == '+' ? 0x91 : 0x81;
            if (e.contains("ton")) {
                std::string tonBytes;
                if (!readHex(r, e["ton"], at + ".ton", &tonBytes)) return false;
                if (tonBytes.size() != 1) return r.fail(at + ".ton", "expected one byte");
                ton = std::uint8_t(tonBytes[0]);
            }
            std::string why;
            if (!buildAdnRecord(name, ton, number, length, &bytes, &why)) return r.fail(at, why);
        }
        file->data.replace(std::size_t((record - 1) * length), std::size_t(length), bytes);
    }
    return true;
}

Json recordFileToJson(const CardFile& file)
{
    Json value;
    value["recordLength"] = file.recordLength;
    int count = int(file.data.size()) / file.recordLength;
    value["recordCount"] = count;
    Json entries = Json::array();
    for (int i = 0; i < count; ++i) {
        std::string record = file.data.substr(std::size_t(i * file.recordLength), std::size_t(file.recordLength));
        if (record == std::string(record.size(), '\xFF')) continue;
        Json e;
        e["record"] = i + 1;
        std::string name, number;
        int ton = 0;
        if (isDiallingFile(file) && splitAdnRecord(record, &name, &ton, &number)) {
            e["name"] = name;
            e["ton"] = toHex(std::string(1, char(ton)));
            e["number"] = number;
        } else {
            e["raw"] = toHex(record, true);
        }
        entries.push_back(e);
    }
    value["entries"] = entries;
    return value;
}

std::string msText(std::int64_t us)
{
    std::ostringstream s;
    s << double(us) / 1000.0;
    return s.str();
}

}  // namespace

bool parseHex(const std::string& text, std::string* bytes)
{
    std::string out;
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
        int d = hexDigit(c);
        if (d < 0) return false;
        if (high < 0) {
            high = d;
        } else {
            out.push_back(char(high * 16 + d));
            high = -1;
        }
    }
    if (high >= 0) return false;
    *bytes = out;
    return true;
}

std::string toHex(const std::string& bytes, bool spaced)
{
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (spaced && i) out.push_back(' ');
        auto b = std::uint8_t(bytes[i]);
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

std::uint8_t inverseByte(std::uint8_t value)
{
    std::uint8_t x = std::uint8_t(~value), result = 0;
    for (int i = 0; i < 8; ++i)
        if (x & (1 << i)) result |= std::uint8_t(0x80 >> i);
    return result;
}

int CardDescription::find(std::uint16_t id, int parentIndex) const
{
    for (std::size_t i = 0; i < files.size(); ++i)
        if (files[i].parent == parentIndex && files[i].id == id) return int(i);
    return -1;
}

int CardDescription::findPath(const std::string& path) const
{
    if (files.empty()) return -1;
    int current = 0;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        std::uint16_t id = 0;
        if (!parseId(part, &id)) return -1;
        if (!(start == 0 && id == 0x3F00)) {
            current = find(id, current);
            if (current < 0) return -1;
        }
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return current;
}

std::string CardDescription::pathOf(int index) const
{
    if (index <= 0) return "3F00";
    std::string path = hex4(files[std::size_t(index)].id);
    for (int p = files[std::size_t(index)].parent; p > 0; p = files[std::size_t(p)].parent)
        path = hex4(files[std::size_t(p)].id) + "/" + path;
    return path;
}

int CardDescription::recordCount(int index) const
{
    const CardFile& f = files[std::size_t(index)];
    return f.recordLength > 0 ? int(f.data.size()) / f.recordLength : 0;
}

CardDescription standardCard()
{
    CardDescription card;
    card.atr = std::string("\x3B\x16\x11\x80\x01\x47\x53\x4D\x31", 9);
    const AccessConditions readAlwaysAdmin{ALW, ADM, NEV, ADM, ADM};
    const AccessConditions chv1Chv1{CHV1, CHV1, NEV, CHV2, CHV2};
    const AccessConditions chv1Admin{CHV1, ADM, NEV, ADM, ADM};
    const AccessConditions chv1Chv2{CHV1, CHV2, NEV, ADM, ADM};
    const auto LF = Structure::LinearFixed;
    const auto TR = Structure::Transparent;
    const auto CY = Structure::Cyclic;

    int mf = addFile(card, -1, 0x3F00, "MF", FileKind::MF);
    addFile(card, mf, 0x2FE2, "ICCID", FileKind::EF, TR, 10, 0, {ALW, NEV, NEV, ADM, ADM});

    int telecom = addFile(card, mf, 0x7F10, "TELECOM", FileKind::DF);
    addFile(card, telecom, 0x6F3A, "ADN", FileKind::EF, LF, 28 * 100, 28, chv1Chv1);
    addFile(card, telecom, 0x6F3B, "FDN", FileKind::EF, LF, 28 * 10, 28, chv1Chv2);
    addFile(card, telecom, 0x6F3C, "SMS", FileKind::EF, LF, 176 * 10, 176, chv1Chv1);
    addFile(card, telecom, 0x6F40, "MSISDN", FileKind::EF, LF, 28 * 2, 28, chv1Chv1);
    addFile(card, telecom, 0x6F42, "SMSP", FileKind::EF, LF, 40 * 2, 40, chv1Chv1);
    addFile(card, telecom, 0x6F43, "SMSS", FileKind::EF, TR, 2, 0, chv1Chv1);
    addFile(card, telecom, 0x6F44, "LND", FileKind::EF, CY, 28 * 5, 28, chv1Chv1);
    addFile(card, telecom, 0x6F49, "SDN", FileKind::EF, LF, 28 * 5, 28, chv1Admin);
    addFile(card, telecom, 0x6F4A, "EXT1", FileKind::EF, LF, 13 * 10, 13, chv1Chv1);
    addFile(card, telecom, 0x6F4B, "EXT2", FileKind::EF, LF, 13 * 10, 13, chv1Chv2);

    int gsm = addFile(card, mf, 0x7F20, "GSM", FileKind::DF);
    addFile(card, gsm, 0x6F05, "LP", FileKind::EF, TR, 4, 0, {ALW, CHV1, NEV, ADM, ADM});
    addFile(card, gsm, 0x6F07, "IMSI", FileKind::EF, TR, 9, 0, chv1Admin);
    addFile(card, gsm, 0x6F20, "Kc", FileKind::EF, TR, 9, 0, chv1Chv1);
    addFile(card, gsm, 0x6F30, "PLMNsel", FileKind::EF, TR, 24, 0, chv1Chv1);
    addFile(card, gsm, 0x6F31, "HPLMN", FileKind::EF, TR, 1, 0, chv1Admin);
    addFile(card, gsm, 0x6F38, "SST", FileKind::EF, TR, 4, 0, chv1Admin);
    addFile(card, gsm, 0x6F46, "SPN", FileKind::EF, TR, 17, 0, readAlwaysAdmin);
    addFile(card, gsm, 0x6F74, "BCCH", FileKind::EF, TR, 16, 0, chv1Chv1);
    addFile(card, gsm, 0x6F78, "ACC", FileKind::EF, TR, 2, 0, chv1Admin);
    addFile(card, gsm, 0x6F7B, "FPLMN", FileKind::EF, TR, 12, 0, chv1Chv1);
    addFile(card, gsm, 0x6F7E, "LOCI", FileKind::EF, TR, 11, 0, chv1Chv1);
    addFile(card, gsm, 0x6FAD, "AD", FileKind::EF, TR, 3, 0, readAlwaysAdmin);
    addFile(card, gsm, 0x6FAE, "PHASE", FileKind::EF, TR, 1, 0, readAlwaysAdmin);
    return card;
}

bool buildAdnRecord(const std::string& name, int ton, const std::string& number, int recordLength,
                    std::string* record, std::string* error)
{
    auto failWith = [&](const std::string& text) {
        if (error) *error = text;
        return false;
    };
    if (recordLength < 14) return failWith("record length below 14 bytes");
    std::size_t alphaLength = std::size_t(recordLength - 14);
    if (name.size() > alphaLength)
        return failWith("name \"" + name + "\" longer than " + std::to_string(alphaLength) + " characters");
    std::string digits = !number.empty() && number[0] == '+' ? number.substr(1) : number;
    if (digits.size() > 20) return failWith("number \"" + number + "\" longer than 20 digits");
    std::string out = name + std::string(alphaLength - name.size(), '\xFF');
    std::string bcd;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        int low = dialDigit(digits[i]);
        int high = i + 1 < digits.size() ? dialDigit(digits[i + 1]) : 0xF;
        if (low < 0 || high < 0) return failWith("number \"" + number + "\" holds a character that cannot be dialled");
        bcd.push_back(char(high << 4 | low));
    }
    bool empty = digits.empty() && name.empty();
    out.push_back(empty ? '\xFF' : char(bcd.size() + 1));
    out.push_back(empty ? '\xFF' : char(ton));
    out += bcd + std::string(10 - bcd.size(), '\xFF');
    out += "\xFF\xFF";  // capability/configuration and extension1 identifiers unused
    *record = out;
    return true;
}

bool splitAdnRecord(const std::string& record, std::string* name, int* ton, std::string* number)
{
    if (record.size() < 14) return false;
    std::size_t alphaLength = record.size() - 14;
    std::string alpha = record.substr(0, alphaLength);
    std::size_t end = alpha.find('\xFF');
    std::string text = alpha.substr(0, end);
    for (char c : text)
        if (c < 0x20 || c > 0x7E) return false;
    int length = std::uint8_t(record[alphaLength]);
    if (length < 1 || length > 11) return false;
    *ton = std::uint8_t(record[alphaLength + 1]);
    std::string digits;
    for (int i = 0; i < length - 1; ++i) {
        auto b = std::uint8_t(record[alphaLength + 2 + std::size_t(i)]);
        for (int nibble : {b & 15, b >> 4}) {
            if (nibble == 15) break;
            digits.push_back(dialChar(nibble));
        }
    }
    std::string shown = (*ton == 0x91 || *ton == 0x90) && !digits.empty() ? "+" + digits : digits;
    std::string again;
    int tonForBuild = *ton;
    if (!buildAdnRecord(text, tonForBuild, shown, int(record.size()), &again, nullptr) || again != record)
        return false;
    *name = text;
    *number = shown;
    return true;
}

namespace {

// The library's message without its "[json.exception.parse_error.101] " prefix.
std::string jsonErrorText(const nlohmann::json::exception& e)
{
    std::string what = e.what();
    std::size_t bracket = what.find("] ");
    return bracket == std::string::npos ? what : what.substr(bracket + 2);
}

bool readCard(Reader& r, const std::string& text, CardDescription* card)
{
    Json root;
    try {
        root = Json::parse(text);
    } catch (const nlohmann::json::exception& e) {
        // A syntax error, and also a number the library cannot hold (1e999): the file is not one we can read.
        return r.fail("not valid JSON", jsonErrorText(e));
    }
    CardDescription c = standardCard();
    if (!checkKeys(r, root, "top level",
                   {"atr", "convention", "reset", "timing", "byteAtATime", "line", "codes", "adn", "files"}))
        return false;
    if (root.contains("atr")) {
        if (!readHex(r, root["atr"], "atr", &c.atr)) return false;
        if (c.atr.empty() || c.atr.size() > 33) return r.fail("atr", "expected 1 to 33 bytes");
    }
    if (root.contains("convention")) {
        const Json& v = root["convention"];
        if (v == "direct") c.inverse = false;
        else if (v == "inverse") c.inverse = true;
        else return r.fail("convention", "expected \"direct\" or \"inverse\"");
    }
    if (root.contains("reset")) {
        const Json& v = root["reset"];
        if (!checkKeys(r, v, "reset", {"lines", "assertedWhenOn"})) return false;
        if (v.contains("lines")) {
            if (!v["lines"].is_array()) return r.fail("reset.lines", "expected a list of \"RTS\", \"DTR\"");
            c.resetOnRts = c.resetOnDtr = false;
            for (const Json& line : v["lines"]) {
                if (line == "RTS") c.resetOnRts = true;
                else if (line == "DTR") c.resetOnDtr = true;
                else return r.fail("reset.lines", "expected \"RTS\" or \"DTR\"");
            }
        }
        if (v.contains("assertedWhenOn")) {
            if (!v["assertedWhenOn"].is_boolean()) return r.fail("reset.assertedWhenOn", "expected true or false");
            c.resetAssertedWhenOn = v["assertedWhenOn"].get<bool>();
        }
    }
    if (root.contains("timing")) {
        const Json& v = root["timing"];
        if (!checkKeys(r, v, "timing",
                       {"atrDelayMs", "procedureDelayMs", "statusDelayMs", "extraDelayMs", "nullIntervalMs",
                        "nullBytes", "writeNullBytes"}))
            return false;
        if (!readInt(r, v, "nullBytes", "timing", 0, 255, &c.nullBytes) ||
            !readInt(r, v, "writeNullBytes", "timing", 0, 255, &c.writeNullBytes))
            return false;
        std::pair<const char*, std::int64_t*> fields[] = {{"atrDelayMs", &c.atrDelayUs},
                                                          {"procedureDelayMs", &c.procedureDelayUs},
                                                          {"statusDelayMs", &c.statusDelayUs},
                                                          {"extraDelayMs", &c.extraDelayUs},
                                                          {"nullIntervalMs", &c.nullIntervalUs}};
        for (auto& [key, field] : fields) {
            if (!v.contains(key)) continue;
            if (!v[key].is_number() || v[key].get<double>() < 0 || v[key].get<double>() > 60000)
                return r.fail(std::string("timing.") + key, "expected milliseconds from 0 to 60000");
            *field = std::int64_t(v[key].get<double>() * 1000.0 + 0.5);
        }
    }
    if (root.contains("byteAtATime")) {
        if (!root["byteAtATime"].is_boolean()) return r.fail("byteAtATime", "expected true or false");
        c.byteAtATime = root["byteAtATime"].get<bool>();
    }
    if (root.contains("line")) {
        const Json& v = root["line"];
        if (!checkKeys(r, v, "line", {"parity"})) return false;
        if (v.contains("parity")) {
            if (!v["parity"].is_boolean()) return r.fail("line.parity", "expected true or false");
            c.lineParity = v["parity"].get<bool>();
        }
    }
    if (root.contains("codes")) {
        const Json& v = root["codes"];
        if (!checkKeys(r, v, "codes", {"CHV1", "CHV2", "UNBLOCK_CHV1", "UNBLOCK_CHV2"})) return false;
        if (v.contains("CHV1") && !readCode(r, v["CHV1"], "codes.CHV1", &c.chv1, &c.chv1Enabled)) return false;
        if (v.contains("CHV2") && !readCode(r, v["CHV2"], "codes.CHV2", &c.chv2, nullptr)) return false;
        if (v.contains("UNBLOCK_CHV1") && !readCode(r, v["UNBLOCK_CHV1"], "codes.UNBLOCK_CHV1", &c.unblockChv1, nullptr))
            return false;
        if (v.contains("UNBLOCK_CHV2") && !readCode(r, v["UNBLOCK_CHV2"], "codes.UNBLOCK_CHV2", &c.unblockChv2, nullptr))
            return false;
    }
    if (root.contains("adn")) {
        int adn = c.findPath("7F10/6F3A");
        if (!root["adn"].is_object()) return r.fail("adn", "expected an object");
        if (!readRecordFile(r, root["adn"], "adn", &c.files[std::size_t(adn)])) return false;
    }
    if (root.contains("files")) {
        const Json& v = root["files"];
        if (!v.is_object()) return r.fail("files", "expected an object");
        for (auto it = v.begin(); it != v.end(); ++it) {
            std::string where = "files." + it.key();
            int index = c.findPath(it.key());
            if (index < 0 || c.files[std::size_t(index)].kind != FileKind::EF)
                return r.fail(where, "no such elementary file on a GSM card");
            CardFile& file = c.files[std::size_t(index)];
            if (file.structure == Structure::Transparent) {
                std::string bytes;
                if (!readHex(r, it.value(), where, &bytes)) return false;
                if (bytes.empty()) return r.fail(where, "a file holds at least one byte");
                file.data = bytes;
            } else if (!readRecordFile(r, it.value(), where, &file)) {
                return false;
            }
        }
    }
    *card = c;
    return true;
}

}  // namespace

bool cardFromJson(const std::string& text, const std::string& source, CardDescription* card, std::string* error)
{
    Reader r{source, {}};
    bool ok = false;
    try {
        ok = readCard(r, text, card);
    } catch (const nlohmann::json::exception& e) {
        // Every value is checked before it is used; should one still slip through, the file is
        // refused like any other bad file instead of ending the program.
        ok = r.fail("not valid", jsonErrorText(e));
    }
    if (!ok && error) *error = r.error;
    return ok;
}

bool loadCardFile(const std::string& path, CardDescription* card, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = "Card file " + path + ": cannot be opened (missing or unreadable)";
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return cardFromJson(text.str(), path, card, error);
}

std::string cardToJson(const CardDescription& card)
{
    Json root;
    root["atr"] = toHex(card.atr, true);
    root["convention"] = card.inverse ? "inverse" : "direct";
    Json lines = Json::array();
    if (card.resetOnRts) lines.push_back("RTS");
    if (card.resetOnDtr) lines.push_back("DTR");
    root["reset"] = Json{{"lines", lines}, {"assertedWhenOn", card.resetAssertedWhenOn}};
    Json timing;
    timing["atrDelayMs"] = Json::parse(msText(card.atrDelayUs));
    timing["procedureDelayMs"] = Json::parse(msText(card.procedureDelayUs));
    timing["statusDelayMs"] = Json::parse(msText(card.statusDelayUs));
    timing["extraDelayMs"] = Json::parse(msText(card.extraDelayUs));
    // The habits of real cards are written only when the card has them.
    if (card.nullBytes != 0) timing["nullBytes"] = card.nullBytes;
    if (card.writeNullBytes != 0) timing["writeNullBytes"] = card.writeNullBytes;
    if (card.nullIntervalUs != 0) timing["nullIntervalMs"] = Json::parse(msText(card.nullIntervalUs));
    root["timing"] = timing;
    if (card.byteAtATime) root["byteAtATime"] = true;
    if (!card.lineParity) root["line"] = Json{{"parity", false}};
    // A code is written as text when it is one (digits, as a phone sends them); a code set by
    // CHANGE or UNBLOCK to other bytes, or to none at all (all FF), is written as its 8 bytes.
    auto code = [](const SecretCode& c) {
        const bool text = !c.code.empty() && c.code.size() <= 8 &&
                          std::all_of(c.code.begin(), c.code.end(), [](char ch) { return ch >= 0x20 && ch <= 0x7E; });
        if (text) return Json{{"code", c.code}, {"attemptsLeft", c.attemptsLeft}};
        std::string padded = c.code.substr(0, 8);
        padded.resize(8, '\xFF');
        return Json{{"codeHex", toHex(padded, true)}, {"attemptsLeft", c.attemptsLeft}};
    };
    Json codes;
    codes["CHV1"] = code(card.chv1);
    codes["CHV1"]["enabled"] = card.chv1Enabled;
    codes["CHV2"] = code(card.chv2);
    codes["UNBLOCK_CHV1"] = code(card.unblockChv1);
    codes["UNBLOCK_CHV2"] = code(card.unblockChv2);
    root["codes"] = codes;
    int adn = card.findPath("7F10/6F3A");
    if (adn >= 0) root["adn"] = recordFileToJson(card.files[std::size_t(adn)]);
    Json files = Json::object();
    for (std::size_t i = 0; i < card.files.size(); ++i) {
        const CardFile& f = card.files[i];
        if (f.kind != FileKind::EF || int(i) == adn) continue;
        if (f.structure == Structure::Transparent) {
            files[card.pathOf(int(i))] = toHex(f.data, true);
        } else if (f.data.find_first_not_of('\xFF') != std::string::npos) {
            files[card.pathOf(int(i))] = recordFileToJson(f);
        }
    }
    root["files"] = files;
    return root.dump(2) + "\n";
}

bool saveCardFile(const std::string& path, const CardDescription& card, std::string* error)
{
    // Written beside the file first, so that a failed write never leaves half a card.
    std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << cardToJson(card);
        out.flush();
        if (!out) {
            if (error) *error = "Card file " + path + ": cannot be written";
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        if (error) *error = "Card file " + path + ": cannot be replaced";
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace puolukka::sim
