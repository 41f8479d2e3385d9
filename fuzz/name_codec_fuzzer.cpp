// Alpha fields of card records (any bytes, also from cards written by other
// tools). Property: decoding never fails and gives valid UTF-8; text that the
// codec can encode decodes back to itself; whatever the capacity, a shortened
// name fits it.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "conversions/name_codec.h"
#include "conversions/text_encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace puolukka;
    const std::string alpha(reinterpret_cast<const char*>(data), size);
    const DecodedName decoded = decodeName(alpha);
    if (!isValidUtf8(decoded.text))
        std::abort();
    const EncodedName encoded = encodeName(decoded.text);
    if (encoded.encodable && decodeName(encoded.bytes).text != decoded.text)
        std::abort();
    const int capacity = size > 0 ? data[0] % 32 : 0;
    if (encoded.encodable && !fitName(shortenName(decoded.text, capacity), capacity).fits)
        std::abort();
    return 0;
}
