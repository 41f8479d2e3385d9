// Command texts to bytes and back. Property: HexToBytes never fails, gives one
// byte per two characters (rounded up), and bytes -> hex -> bytes is the identity.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "conversions/conversions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string bytes = puolukka::HexToBytes(text);
    if (bytes.size() != (text.size() + 1) / 2)
        std::abort();
    if (puolukka::HexToBytes(puolukka::bytesToHex(bytes)) != bytes)
        std::abort();
    (void)puolukka::HexToValue(text);
    if (puolukka::inverseBytes(puolukka::inverseBytes(text)) != text)
        std::abort();
    return 0;
}
