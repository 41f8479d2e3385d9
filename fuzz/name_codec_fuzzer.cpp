// Alpha fields of card records (any bytes, also from cards written by other
// tools). Properties: decoding never fails and gives valid UTF-8; text that the
// codec can encode decodes back to itself; whatever the capacity, a shortened
// name fits it.
#include <cstdint>
#include <string>

#include "conversions/name_codec.h"
#include "conversions/text_encoding.h"
#include "fuzz_input.h"

using namespace puolukka;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string alpha(reinterpret_cast<const char*>(data), size);
    const DecodedName decoded = decodeName(alpha);
    fuzz::check(isValidUtf8(decoded.text), "a decoded name is valid UTF-8");
    const EncodedName encoded = encodeName(decoded.text);
    if (!encoded.encodable)
        return 0;
    fuzz::check(decodeName(encoded.bytes).text == decoded.text, "encoded text decodes back to itself");
    const int capacity = size > 0 ? data[0] % 32 : 0;
    fuzz::check(fitName(shortenName(decoded.text, capacity), capacity).fits, "a shortened name fits");
    return 0;
}
