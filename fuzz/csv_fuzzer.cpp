// CSV files from outside. Property: reading never fails; a file that is read
// gives one-line UTF-8 names and numbers; its name/number pairs written out
// again (the export) and read back (the import) are the same pairs.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "conversions/text_encoding.h"
#include "phonebook/csv_contacts.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs pairsOf(const std::vector<puolukka::Contact>& contacts)
{
    Pairs pairs;
    for (const auto& c : contacts) {
        for (const auto& n : c.numbers)
            pairs.emplace_back(c.name, n.text);
        if (c.numbers.empty())
            pairs.emplace_back(c.name, "");
    }
    return pairs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace puolukka;
    const std::string text(reinterpret_cast<const char*>(data), size);
    (void)parseCsvRecords(text, csvDelimiter(text));
    const CsvContacts csv = parseCsvContacts(text);
    if (!csv.ok)
        return csv.error.empty() ? (std::abort(), 0) : 0;
    for (const Contact& c : csv.contacts) {
        if (!isValidUtf8(c.name) || cleanContactText(c.name) != c.name)
            std::abort();
        for (const ContactNumber& n : c.numbers)
            if (n.text.empty() || !isValidUtf8(n.text) || cleanContactText(n.text) != n.text)
                std::abort();
    }
    const CsvContacts back = parseCsvContacts(writeCsvContacts(csv.contacts));
    if (!back.ok || pairsOf(back.contacts) != pairsOf(csv.contacts))
        std::abort();
    return 0;
}
