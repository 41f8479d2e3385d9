// vCard files from outside. Properties: reading never fails; every name and
// number is one line of valid UTF-8; what is read, written out again (the
// export) and read back (the import) gives the same contacts; the import plan
// over them (numbers through libphonenumber, names through the name codec)
// gives an entry exactly for the numbers it takes.
#include <cstdint>
#include <string>

#include "conversions/text_encoding.h"
#include "fuzz_input.h"
#include "phonebook/contacts.h"
#include "phonebook/vcard.h"

using namespace puolukka;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<Contact> contacts = parseVCards(text);
    for (const Contact& c : contacts) {
        fuzz::check(isValidUtf8(c.name) && cleanContactText(c.name) == c.name, "a name is one line of UTF-8");
        for (const ContactNumber& n : c.numbers)
            fuzz::check(!n.text.empty() && isValidUtf8(n.text) && cleanContactText(n.text) == n.text,
                        "a number is one line of UTF-8");
    }
    fuzz::check(parseVCards(writeVCards(contacts)) == contacts, "export then import gives the same contacts");
    const std::vector<Contact> few(contacts.begin(), contacts.begin() + std::min<std::size_t>(contacts.size(), 8));
    for (const ImportItem& item : planImport(few, ImportOptions{}))
        fuzz::check((item.status == ImportStatus::Taken) == !item.entry.empty(), "an entry exactly for what is taken");
    return 0;
}
