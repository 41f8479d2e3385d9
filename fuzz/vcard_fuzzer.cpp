// vCard files from outside. Property: reading never fails, every name and number
// is one line of valid UTF-8, and what is read, written out again (the export)
// and read back (the import) gives the same contacts. The import plan over them
// (numbers through libphonenumber, names through the name codec) never fails.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "conversions/text_encoding.h"
#include "phonebook/contacts.h"
#include "phonebook/vcard.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace puolukka;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<Contact> contacts = parseVCards(text);
    for (const Contact& c : contacts) {
        if (!isValidUtf8(c.name) || cleanContactText(c.name) != c.name)
            std::abort();
        for (const ContactNumber& n : c.numbers)
            if (n.text.empty() || !isValidUtf8(n.text) || cleanContactText(n.text) != n.text)
                std::abort();
    }
    if (parseVCards(writeVCards(contacts)) != contacts)
        std::abort();
    const std::vector<Contact> few(contacts.begin(), contacts.begin() + std::min<std::size_t>(contacts.size(), 8));
    for (const ImportItem& item : planImport(few, ImportOptions{}))
        if ((item.status == ImportStatus::Taken) != !item.entry.empty())
            std::abort();
    return 0;
}
