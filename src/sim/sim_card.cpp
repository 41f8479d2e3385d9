#include "sim/sim_card.h"

#include <algorithm>

namespace puolukka::sim {

namespace {

// Instruction bytes of GSM 11.11, section 9.2.
constexpr std::uint8_t kSelect = 0xA4, kStatus = 0xF2, kReadBinary = 0xB0, kUpdateBinary = 0xD6,
                       kReadRecord = 0xB2, kUpdateRecord = 0xDC, kVerify = 0x20, kChange = 0x24,
                       kDisable = 0x26, kEnable = 0x28, kUnblock = 0x2C, kGetResponse = 0xC0;

std::string sw(std::uint8_t sw1, std::uint8_t sw2)
{
    return std::string{char(sw1), char(sw2)};
}

const std::string kOk = sw(0x90, 0x00);

std::string padded(const std::string& code)
{
    std::string out = code.substr(0, 8);
    out.append(8 - out.size(), '\xFF');
    return out;
}

std::string unpadded(const std::string& bytes)
{
    return bytes.substr(0, bytes.find('\xFF'));
}

}  // namespace

std::string TraceEntry::statusWord() const
{
    return answer.size() < 2 ? std::string() : toHex(answer.substr(answer.size() - 2));
}

SimCard::SimCard(CardDescription description) : m_card(std::move(description))
{
    powerUp();
}

void SimCard::powerUp()
{
    m_currentDf = 0;
    m_currentEf = -1;
    m_currentRecord = 0;
    m_chv1Verified = m_chv2Verified = false;
    m_pendingResponse.clear();
    m_header.clear();
    m_data.clear();
    m_inData = false;
}

std::string SimCard::answerToReset()
{
    TraceEntry entry;
    entry.kind = TraceEntry::Kind::Atr;
    entry.answer = m_card.atr;
    m_trace.push_back(entry);
    return m_card.atr;
}

bool SimCard::takeChanged()
{
    bool changed = m_changed;
    m_changed = false;
    return changed;
}

void SimCard::ignore(std::uint8_t byte, const std::string& why)
{
    if (m_trace.empty() || m_trace.back().kind != TraceEntry::Kind::Ignored || m_trace.back().note != why) {
        TraceEntry entry;
        entry.kind = TraceEntry::Kind::Ignored;
        entry.note = why;
        m_trace.push_back(entry);
    }
    m_trace.back().command.push_back(char(byte));
    m_header.clear();
    m_data.clear();
    m_inData = false;
}

Reaction SimCard::answer(const std::string& bytes, std::int64_t delayUs, int nulls)
{
    Reaction r{std::string(std::size_t(nulls), '\x60') + bytes, delayUs, nulls, m_card.nullIntervalUs};
    m_trace.back().answer += r.bytes;
    return r;
}

// ISO 7816-3 T=0 from the card's side: after a header the card answers with
// its procedure byte (INS: all data follow; the complement of INS when it moves
// the data one byte at a time) or at once with a status word; after the last
// data byte with the status word. A card that needs time sends NULL bytes first.
Reaction SimCard::receive(std::uint8_t byte)
{
    const std::int64_t think = m_card.procedureDelayUs + m_card.extraDelayUs;
    if (!m_inData) {
        m_header.push_back(char(byte));
        if (m_header.size() < 5) return {};
        TraceEntry entry;
        entry.command = m_header;
        m_trace.push_back(entry);
        HeaderResult r = onHeader();
        const char ins = m_header[1];
        const char complement = char(~ins);
        if (r.incoming > 0) {
            m_inData = true;
            m_expected = r.incoming;
            m_data.clear();
            return answer(std::string(1, m_card.byteAtATime ? complement : ins), think, m_card.nullBytes);
        }
        std::string out = r.sw;
        if (out.empty() && m_card.byteAtATime) {
            for (char c : r.outgoing) out += std::string{complement, c};
            out += kOk;
        } else if (out.empty()) {
            out = ins + r.outgoing + kOk;
        }
        m_header.clear();
        return answer(out, think, m_card.nullBytes);
    }
    m_data.push_back(char(byte));
    m_trace.back().command.push_back(char(byte));
    const auto ins = std::uint8_t(m_header[1]);
    if (int(m_data.size()) < m_expected)
        return m_card.byteAtATime ? answer(std::string(1, char(~ins)), m_card.procedureDelayUs, 0) : Reaction{};
    std::string status = onData();
    m_header.clear();
    m_data.clear();
    m_inData = false;
    // Writing the EEPROM takes time: a card asks for it with more NULL bytes.
    const bool writes = ins == kUpdateBinary || ins == kUpdateRecord;
    return answer(status, m_card.statusDelayUs + m_card.extraDelayUs,
                  m_card.nullBytes + (writes ? m_card.writeNullBytes : 0));
}

bool SimCard::accessGranted(std::uint8_t level) const
{
    switch (level) {
    case 0x0: return true;
    case 0x1: return !m_card.chv1Enabled || m_chv1Verified;
    case 0x2: return m_chv2Verified;
    default: return false;  // administrative codes are not known to any user; F is never
    }
}

// Record number for READ/UPDATE RECORD (GSM 11.11, 8.5 and 8.6): mode 02 next, 03 previous,
// 04 absolute (P1 = 0: the current record). Records of a cyclic file count from the newest.
int SimCard::resolveRecord(int mode, int number, bool forUpdate, std::string* status)
{
    const CardFile& f = m_card.files[std::size_t(m_currentEf)];
    int count = m_card.recordCount(m_currentEf);
    bool cyclic = f.structure == Structure::Cyclic;
    if (forUpdate && cyclic && mode != 0x03) {
        *status = sw(0x6B, 0x00);
        return 0;
    }
    int record = 0;
    switch (mode) {
    case 0x02:
        record = m_currentRecord == 0 ? 1 : m_currentRecord + 1;
        if (record > count) record = cyclic ? 1 : 0;
        break;
    case 0x03:
        if (forUpdate && cyclic) return count;  // the oldest record becomes record 1
        record = m_currentRecord == 0 ? count : m_currentRecord - 1;
        if (record < 1) record = cyclic ? count : 0;
        break;
    case 0x04:
        record = number == 0 ? m_currentRecord : number;
        if (record > count) record = 0;
        break;
    default:
        *status = sw(0x6B, 0x00);
        return 0;
    }
    if (record == 0) *status = sw(0x94, 0x02);
    return record;
}

SimCard::HeaderResult SimCard::onHeader()
{
    auto cla = std::uint8_t(m_header[0]), ins = std::uint8_t(m_header[1]), p1 = std::uint8_t(m_header[2]),
         p2 = std::uint8_t(m_header[3]), p3 = std::uint8_t(m_header[4]);
    HeaderResult r;
    std::string response = std::move(m_pendingResponse);
    m_pendingResponse.clear();
    if (cla != 0xA0) {
        r.sw = sw(0x6E, 0x00);
        return r;
    }
    const int length = p3 == 0 ? 256 : p3;  // outgoing length; incoming commands use p3 as it is
    auto wrongLength = [&](int right) { r.sw = sw(0x67, std::uint8_t(right)); return r; };
    auto wrongParameters = [&]() { r.sw = sw(0x6B, 0x00); return r; };
    switch (ins) {
    case kSelect:
        if (p1 != 0 || p2 != 0) return wrongParameters();
        if (p3 != 2) return wrongLength(2);
        r.incoming = 2;
        return r;
    case kGetResponse:
        if (p1 != 0 || p2 != 0) return wrongParameters();
        m_pendingResponse = response;  // kept for a repeated GET RESPONSE
        if (length > int(response.size())) return wrongLength(int(response.size()));
        r.outgoing = response.substr(0, std::size_t(length));
        return r;
    case kStatus: {
        if (p1 != 0 || p2 != 0) return wrongParameters();
        std::string d = directoryDescription(m_currentDf);
        if (length > int(d.size())) return wrongLength(int(d.size()));
        r.outgoing = d.substr(0, std::size_t(length));
        return r;
    }
    case kReadBinary:
    case kUpdateBinary: {
        if (m_currentEf < 0) { r.sw = sw(0x94, 0x00); return r; }
        const CardFile& f = m_card.files[std::size_t(m_currentEf)];
        if (f.structure != Structure::Transparent) { r.sw = sw(0x94, 0x08); return r; }
        bool update = ins == kUpdateBinary;
        if (!accessGranted(update ? f.access.update : f.access.read)) { r.sw = sw(0x98, 0x04); return r; }
        if (p1 & 0x80) return wrongParameters();
        int offset = p1 << 8 | p2;
        int size = int(f.data.size());
        if (offset >= size) { r.sw = sw(0x94, 0x02); return r; }
        int n = update ? p3 : length;
        if (n == 0) { r.sw = kOk; return r; }
        if (offset + n > size) return wrongLength(std::min(size - offset, 255));
        if (update) {
            r.incoming = n;
            m_resolvedRecord = offset;  // where the data will go
            return r;
        }
        r.outgoing = f.data.substr(std::size_t(offset), std::size_t(n));
        return r;
    }
    case kReadRecord:
    case kUpdateRecord: {
        if (m_currentEf < 0) { r.sw = sw(0x94, 0x00); return r; }
        const CardFile& f = m_card.files[std::size_t(m_currentEf)];
        if (f.structure == Structure::Transparent) { r.sw = sw(0x94, 0x08); return r; }
        bool update = ins == kUpdateRecord;
        // An update the access condition forbids is refused at once, before any data is taken.
        if (!accessGranted(update ? f.access.update : f.access.read)) { r.sw = sw(0x98, 0x04); return r; }
        if (p3 != f.recordLength) return wrongLength(f.recordLength);
        std::string status;
        int record = resolveRecord(p2, p1, update, &status);
        if (!status.empty()) { r.sw = status; return r; }
        if (update) {
            r.incoming = f.recordLength;
            m_resolvedRecord = record;
            return r;
        }
        if (std::find(failingRecords.begin(), failingRecords.end(), record) != failingRecords.end()) {
            r.sw = sw(0x92, 0x40);
            return r;
        }
        if (p2 != 0x04) m_currentRecord = record;
        r.outgoing = f.data.substr(std::size_t((record - 1) * f.recordLength), std::size_t(f.recordLength));
        return r;
    }
    case kVerify:
        if (p1 != 0 || (p2 != 1 && p2 != 2)) return wrongParameters();
        if (p3 != 8) return wrongLength(8);
        r.incoming = 8;
        return r;
    case kChange:
        if (p1 != 0 || (p2 != 1 && p2 != 2)) return wrongParameters();
        if (p3 != 16) return wrongLength(16);
        r.incoming = 16;
        return r;
    case kDisable:
    case kEnable:
        if (p1 != 0 || p2 != 1) return wrongParameters();
        if (p3 != 8) return wrongLength(8);
        r.incoming = 8;
        return r;
    case kUnblock:
        // GSM 11.11 numbers CHV1 as 00 here (not 01).
        if (p1 != 0 || (p2 != 0 && p2 != 2)) return wrongParameters();
        if (p3 != 16) return wrongLength(16);
        r.incoming = 16;
        return r;
    default:
        r.sw = sw(0x6D, 0x00);
        return r;
    }
}

// Compares a presented code and keeps the attempt counter (GSM 11.11, 8.9).
std::string SimCard::verifyCode(SecretCode& code, const std::string& presented, bool* verified)
{
    if (code.attemptsLeft == 0) return sw(0x98, 0x40);
    m_changed = true;
    if (presented == padded(code.code)) {
        code.attemptsLeft = code.maxAttempts;
        if (verified) *verified = true;
        return kOk;
    }
    --code.attemptsLeft;
    return code.attemptsLeft == 0 ? sw(0x98, 0x40) : sw(0x98, 0x04);
}

std::string SimCard::onData()
{
    auto ins = std::uint8_t(m_header[1]), p2 = std::uint8_t(m_header[3]);
    switch (ins) {
    case kSelect: {
        std::uint16_t id = std::uint16_t(std::uint8_t(m_data[0]) << 8 | std::uint8_t(m_data[1]));
        int parent = m_card.files[std::size_t(m_currentDf)].parent;
        int found = -1;
        // Selectable from the current directory (GSM 11.11, 6.5): the MF, the current DF,
        // its children, its parent and the DFs beside it.
        if (id == 0x3F00) found = 0;
        else if (id == m_card.files[std::size_t(m_currentDf)].id) found = m_currentDf;
        else if ((found = m_card.find(id, m_currentDf)) >= 0) {}
        else if (parent >= 0 && m_card.files[std::size_t(parent)].id == id) found = parent;
        else if (parent >= 0 && (found = m_card.find(id, parent)) >= 0 &&
                 m_card.files[std::size_t(found)].kind == FileKind::EF)
            found = -1;
        if (found < 0) return sw(0x94, 0x04);
        if (m_card.files[std::size_t(found)].kind == FileKind::EF) {
            m_currentEf = found;
        } else {
            m_currentDf = found;
            m_currentEf = -1;
        }
        m_currentRecord = 0;
        m_pendingResponse = description(found);
        return sw(0x9F, std::uint8_t(m_pendingResponse.size()));
    }
    case kUpdateBinary: {
        CardFile& f = m_card.files[std::size_t(m_currentEf)];
        f.data.replace(std::size_t(m_resolvedRecord), m_data.size(), m_data);
        m_changed = true;
        return kOk;
    }
    case kUpdateRecord: {
        CardFile& f = m_card.files[std::size_t(m_currentEf)];
        auto length = std::size_t(f.recordLength);
        if (f.structure == Structure::Cyclic) {
            // The oldest record is overwritten and becomes record 1.
            f.data = m_data + f.data.substr(0, f.data.size() - length);
            m_currentRecord = 1;
        } else {
            const auto listed = [&](const std::vector<int>& records) {
                return std::find(records.begin(), records.end(), m_resolvedRecord) != records.end();
            };
            if (listed(failingRecords))
                return sw(0x92, 0x40);
            std::string stored = m_data;
            if (listed(corruptingRecords) && !stored.empty())
                stored.front() = char(~stored.front());
            f.data.replace(std::size_t(m_resolvedRecord - 1) * length, length, stored);
            if (std::uint8_t(m_header[3]) != 0x04) m_currentRecord = m_resolvedRecord;
        }
        m_changed = true;
        return kOk;
    }
    case kVerify: {
        if (p2 == 1) {
            if (!m_card.chv1Enabled) return sw(0x98, 0x08);
            return verifyCode(m_card.chv1, m_data, &m_chv1Verified);
        }
        return verifyCode(m_card.chv2, m_data, &m_chv2Verified);
    }
    case kChange: {
        if (p2 == 1 && !m_card.chv1Enabled) return sw(0x98, 0x08);
        SecretCode& code = p2 == 1 ? m_card.chv1 : m_card.chv2;
        std::string status = verifyCode(code, m_data.substr(0, 8), p2 == 1 ? &m_chv1Verified : &m_chv2Verified);
        if (status == kOk) code.code = unpadded(m_data.substr(8));
        return status;
    }
    case kDisable:
    case kEnable: {
        bool enable = ins == kEnable;
        if (m_card.chv1Enabled == enable) return sw(0x98, 0x08);
        std::string status = verifyCode(m_card.chv1, m_data, nullptr);
        if (status == kOk) m_card.chv1Enabled = enable;
        return status;
    }
    case kUnblock: {
        SecretCode& unblock = p2 == 0 ? m_card.unblockChv1 : m_card.unblockChv2;
        SecretCode& code = p2 == 0 ? m_card.chv1 : m_card.chv2;
        std::string status = verifyCode(unblock, m_data.substr(0, 8), nullptr);
        if (status == kOk) {
            code.code = unpadded(m_data.substr(8));
            code.attemptsLeft = code.maxAttempts;
            (p2 == 0 ? m_chv1Verified : m_chv2Verified) = true;
        }
        return status;
    }
    default:
        return sw(0x6F, 0x00);
    }
}

std::string SimCard::description(int index) const
{
    return m_card.files[std::size_t(index)].kind == FileKind::EF ? fileDescription(index)
                                                                 : directoryDescription(index);
}

// Description of the MF or a DF (GSM 11.11, 9.2.1): 22 bytes.
std::string SimCard::directoryDescription(int index) const
{
    const CardFile& dir = m_card.files[std::size_t(index)];
    int dfs = 0, efs = 0;
    long allocated = 0;
    for (const CardFile& f : m_card.files) {
        allocated += long(f.data.size());
        if (&f == &dir || f.parent != index) continue;
        (f.kind == FileKind::EF ? efs : dfs)++;
    }
    long free = index == 0 ? std::clamp(long(m_card.totalMemory) - allocated, 0L, 0xFFFFL) : 0;
    auto status = [](const SecretCode& c) { return char(0x80 | (c.attemptsLeft & 0x0F)); };
    std::string d(22, '\0');
    d[2] = char(free >> 8);
    d[3] = char(free & 0xFF);
    d[4] = char(dir.id >> 8);
    d[5] = char(dir.id & 0xFF);
    d[6] = dir.kind == FileKind::MF ? 0x01 : 0x02;
    d[12] = 9;  // bytes 14 to 22 follow
    d[13] = char((m_card.fileCharacteristics & 0x7F) | (m_card.chv1Enabled ? 0x00 : 0x80));
    d[14] = char(dfs);
    d[15] = char(efs);
    d[16] = 4;  // CHV1, CHV2, and their two unblock codes
    d[18] = status(m_card.chv1);
    d[19] = status(m_card.unblockChv1);
    d[20] = status(m_card.chv2);
    d[21] = status(m_card.unblockChv2);
    return d;
}

// Description of an EF (GSM 11.11, 9.2.1): 15 bytes.
std::string SimCard::fileDescription(int index) const
{
    const CardFile& f = m_card.files[std::size_t(index)];
    std::string d(15, '\0');
    auto size = f.data.size();
    d[2] = char(size >> 8);
    d[3] = char(size & 0xFF);
    d[4] = char(f.id >> 8);
    d[5] = char(f.id & 0xFF);
    d[6] = 0x04;
    d[7] = f.structure == Structure::Cyclic && f.increaseAllowed ? 0x40 : 0x00;
    d[8] = char(f.access.read << 4 | f.access.update);
    d[9] = char(f.access.increase << 4);
    d[10] = char(f.access.rehabilitate << 4 | f.access.invalidate);
    d[11] = char(f.status);
    d[12] = 2;  // bytes 14 and 15 follow
    d[13] = char(f.structure);
    d[14] = f.structure == Structure::Transparent ? 0 : char(f.recordLength);
    return d;
}

int SimCard::fileIndex(std::uint16_t fileId) const
{
    for (std::size_t i = 0; i < m_card.files.size(); ++i)
        if (m_card.files[i].id == fileId) return int(i);
    return -1;
}

std::string SimCard::recordOf(std::uint16_t fileId, int number) const
{
    int index = fileIndex(fileId);
    if (index < 0 || number < 1 || number > m_card.recordCount(index)) return {};
    const CardFile& f = m_card.files[std::size_t(index)];
    return f.data.substr(std::size_t((number - 1) * f.recordLength), std::size_t(f.recordLength));
}

bool SimCard::setRecord(std::uint16_t fileId, int number, const std::string& bytes)
{
    int index = fileIndex(fileId);
    if (index < 0 || number < 1 || number > m_card.recordCount(index)) return false;
    CardFile& f = m_card.files[std::size_t(index)];
    if (int(bytes.size()) != f.recordLength) return false;
    f.data.replace(std::size_t((number - 1) * f.recordLength), bytes.size(), bytes);
    return true;
}

std::string SimCard::binary(std::uint16_t fileId) const
{
    int index = fileIndex(fileId);
    return index < 0 ? std::string() : m_card.files[std::size_t(index)].data;
}

std::uint16_t SimCard::currentDirectoryId() const
{
    return m_card.files[std::size_t(m_currentDf)].id;
}

std::uint16_t SimCard::currentFileId() const
{
    return m_currentEf < 0 ? 0 : m_card.files[std::size_t(m_currentEf)].id;
}

}  // namespace puolukka::sim
