#include "link/answer_to_reset.h"

namespace puolukka {

namespace {

constexpr unsigned char kDirectTs = 0x3B, kInverseTs = 0x3F;
// The inverse card's TS on the line, read without the convention's transform.
constexpr unsigned char kInverseTsOnLine = 0x03;

// ISO 7816-3 table 7: Fi by the high half of TA1 (RFU values taken as the default 372).
constexpr int kFi[16] = {372, 372, 558, 744, 1116, 1488, 1860, 372, 372, 512, 768, 1024, 1536, 2048, 372, 372};
constexpr int kDefaultWi = 10;

}  // namespace

AtrParse parseAnswerToReset(std::string_view bytes)
{
    AtrParse p;
    if (bytes.empty())
        return p;
    const auto ts = static_cast<unsigned char>(bytes[0]);
    p.validTs = ts == kDirectTs || ts == kInverseTs;
    if (!p.validTs || bytes.size() < 2)
        return p;
    auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };

    const unsigned char t0 = at(1);
    const std::size_t historical = t0 & 0x0F;
    unsigned char y = t0 & 0xF0;  // which of TAi TBi TCi TDi follow
    std::size_t pos = 2;
    bool tck = false;
    int fi = 372, wi = kDefaultWi;
    for (int group = 1; y != 0; ++group) {
        unsigned char next = 0;  // TDi announces the next group; without it the groups end
        for (int bit = 0; bit < 4; ++bit) {
            if (!(y & (0x10 << bit)))
                continue;
            if (pos >= bytes.size())
                return p;  // the interface bytes are still on their way
            const unsigned char value = at(pos++);
            if (group == 1 && bit == 0)
                fi = kFi[value >> 4];  // TA1: Fi and Di
            if (group == 2 && bit == 2 && value != 0)
                wi = value;  // TC2: WI of T=0
            if (bit == 3) {  // TDi: the next group, and a protocol other than T=0 asks for TCK
                tck = tck || (value & 0x0F) != 0;
                next = value & 0xF0;
            }
        }
        y = next;
    }
    p.length = pos + historical + (tck ? 1 : 0);
    p.complete = bytes.size() >= p.length;
    p.workWaitingEtu = int(960L * wi * fi / 372);
    return p;
}

TsVerdict tsVerdict(unsigned char lineByte, bool inverseNow, const std::string& parityReplace)
{
    if (lineByte == kDirectTs)
        return inverseNow ? TsVerdict::OtherConvention : TsVerdict::SameConvention;
    if (lineByte == kInverseTsOnLine)
        return inverseNow ? TsVerdict::SameConvention : TsVerdict::OtherConvention;
    if (!parityReplace.empty() && lineByte == static_cast<unsigned char>(parityReplace[0]))
        return TsVerdict::OtherConvention;
    return TsVerdict::Unknown;
}

}  // namespace puolukka
