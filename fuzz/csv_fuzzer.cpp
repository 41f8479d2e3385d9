// CSV files from outside. Properties: reading never fails and a refusal says
// why; the names and numbers read are one line of valid UTF-8 each; their
// name/number pairs written out again (the export) and read back (the import)
// are the same pairs.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "conversions/text_encoding.h"
#include "fuzz_input.h"
#include "phonebook/csv_contacts.h"

using namespace puolukka;

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs pairsOf(const std::vector<Contact>& contacts)
{
    Pairs pairs;
    for (const Contact& c : contacts) {
        for (const ContactNumber& n : c.numbers)
            pairs.emplace_back(c.name, n.text);
        if (c.numbers.empty())
            pairs.emplace_back(c.name, "");
    }
    return pairs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    (void)parseCsvRecords(text, csvDelimiter(text));
    const CsvContacts csv = parseCsvContacts(text);
    if (!csv.ok) {
        fuzz::check(!csv.error.empty(), "a refused file says why");
        return 0;
    }
    for (const Contact& c : csv.contacts) {
        fuzz::check(isValidUtf8(c.name) && cleanContactText(c.name) == c.name, "a name is one line of UTF-8");
        for (const ContactNumber& n : c.numbers)
            fuzz::check(!n.text.empty() && isValidUtf8(n.text) && cleanContactText(n.text) == n.text,
                        "a number is one line of UTF-8");
    }
    const CsvContacts back = parseCsvContacts(writeCsvContacts(csv.contacts));
    fuzz::check(back.ok && pairsOf(back.contacts) == pairsOf(csv.contacts), "export then import gives the same pairs");
    return 0;
}
