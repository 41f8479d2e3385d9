// The reader of the terminal driver's parity marks (PARMRK: FF 00 x for a
// faulty byte x, FF 00 00 for a break, FF FF for a data byte FF). Properties:
// bytes fed in any chunks give the same items and the same state as fed whole,
// and the items, marked again as the driver would, read back as the same items.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "ports/posix_serial_port.h"

using namespace puolukka;

namespace {

using Items = std::vector<LineMarkParser::Item>;

bool same(const Items& a, const Items& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].value != b[i].value || a[i].marked != b[i].marked)
            return false;
    return true;
}

// What the driver delivers for these items.
std::string marked(const Items& items)
{
    std::string out;
    for (const auto& item : items) {
        if (item.marked)
            out += std::string("\xFF\x00", 2) + char(item.value);
        else if (item.value == 0xFF)
            out += "\xFF\xFF";
        else
            out += char(item.value);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput in(data, size);
    // The first bytes say where to cut, the rest is what the driver delivered.
    std::vector<std::size_t> cuts;
    for (int n = in.number(0, 15); n > 0; --n)
        cuts.push_back(in.byte());
    const std::string bytes = in.rest();

    LineMarkParser whole;
    Items all;
    whole.feed(bytes, all);

    LineMarkParser chunked;
    Items pieces;
    std::size_t pos = 0;
    for (std::size_t cut : cuts) {
        const std::size_t n = std::min(cut, bytes.size() - pos);
        chunked.feed(bytes.data() + pos, n, pieces);
        pos += n;
    }
    chunked.feed(bytes.data() + pos, bytes.size() - pos, pieces);
    fuzz::check(same(all, pieces), "chunks give the same items as the whole");
    fuzz::check(whole.insideMarker() == chunked.insideMarker(), "chunks end in the same state as the whole");

    LineMarkParser again;
    Items reread;
    again.feed(marked(all), reread);
    fuzz::check(same(all, reread), "items marked again read back the same");
    fuzz::check(!again.insideMarker(), "items marked again leave no marker open");
    return 0;
}
