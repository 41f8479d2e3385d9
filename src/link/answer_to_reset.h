#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace puolukka {

// The answer-to-reset of ISO 7816-3 (8.2) read from its logical bytes: TS (3B
// direct convention, 3F inverse), T0 (which interface bytes of the first group
// follow, and K, the number of historical bytes), the interface bytes TAi TBi
// TCi TDi that T0 and each TDi announce, the K historical bytes, and TCK when
// TDi indicate a protocol other than T=0. A pure function of its input.
struct AtrParse {
    bool validTs = false;     // the first byte is 3B or 3F
    bool complete = false;    // every byte the answer announces has come
    std::size_t length = 0;   // the whole answer's bytes, once complete
    // The work waiting time of T=0 (10.2): 960 x WI x Fi / 372 bit times at the
    // reader's default rate; WI from TC2 (10 when absent), Fi from TA1 (372).
    int workWaitingEtu = 9600;
};
AtrParse parseAnswerToReset(std::string_view bytes);

// What the first character of an answer-to-reset, as the port delivered it,
// says about the convention the port is set for. On the line a direct card's
// TS is 3B and an inverse card's (3F as it means it) reads 03 (8.1). A
// character framed with the other convention's parity arrives as the port's
// parity replacement character (parityReplace, empty when the port keeps the
// byte as it came).
enum class TsVerdict {
    SameConvention,
    OtherConvention,
    Unknown,
};
TsVerdict tsVerdict(unsigned char lineByte, bool inverseNow, const std::string& parityReplace);

}  // namespace puolukka
