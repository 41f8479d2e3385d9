#include "phonebook/contact_files.h"

#include <cctype>

#include "app/app.h"
#include "phonebook/csv_contacts.h"
#include "phonebook/phonebook_file.h"
#include "phonebook/term_pane.h"
#include "phonebook/vcard.h"

namespace puolukka {

namespace {

constexpr const char* kNoPhonebook = "Ei luetteloa muistissa. Avaa luettelo tai lue se SIM:ltä!";

std::string extensionOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ext = path.substr(dot + 1);
    for (char& c : ext)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

void warn(App& app, const std::string& text) { showMessage(app.screen, text, kAppTitle, Icon::Exclamation); }

}  // namespace

ContactFormat contactFormatOf(const std::string& path, const std::string& content)
{
    const std::string ext = extensionOf(path);
    if (ext == "csv")
        return ContactFormat::Csv;
    if (ext == "vcf" || ext == "vcard")
        return ContactFormat::VCard;
    std::string head = content.substr(0, 4096);
    for (char& c : head)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return head.find("BEGIN:VCARD") != std::string::npos ? ContactFormat::VCard : ContactFormat::Csv;
}

bool chooseContactsFile(App& app, ContactsFile& file)
{
    const FileChoice choice = app.screen.fileDialog(kImportTitle, kContactsOpenFilter, "", false);
    if (choice.cancelled || choice.path.empty())
        return false;
    file.path = choice.path;
    std::string content;
    std::string reason;
    if (!readFileContent(file.path, content, reason)) {
        warn(app, "Yhteystietoja ei voitu lukea tiedostosta " + file.path + " (" + reason
                      + "). Muistissa oleva luettelo säilyi ennallaan.");
        return false;
    }
    if (contactFormatOf(file.path, content) == ContactFormat::VCard) {
        file.contacts = parseVCards(content);
    } else {
        CsvContacts csv = parseCsvContacts(content);
        if (!csv.ok) {
            warn(app, "Yhteystietoja ei voitu lukea tiedostosta " + file.path + " (" + csv.error
                          + "). Muistissa oleva luettelo säilyi ennallaan.");
            return false;
        }
        file.contacts = std::move(csv.contacts);
    }
    if (file.contacts.empty()) {
        warn(app, "Tiedostossa " + file.path + " ei ole yhteystietoja. Muistissa oleva luettelo säilyi ennallaan.");
        return false;
    }
    return true;
}

void finishImport(App& app, std::vector<ImportItem>& items, ImportMode mode, const ImportOptions& options)
{
    const ImportSummary summary = applyImport(app.phonebook, items, mode, options);
    if (summary.taken > 0)
        app.screen.setEnabled("WritePB", true);
    showMessage(app.screen, importSummaryText(summary, items), kImportTitle, Icon::Information);
}

void VieYhteystiedot_Click(App& app)
{
    app.screen.setEnabled("Term", false);
    const TerminalRelease release(app);
    if (app.phonebook.PBCount == 0) {
        showMessage(app.screen, kNoPhonebook);
        return;
    }
    const std::vector<Contact> contacts = phonebookContacts(app.phonebook);
    if (contacts.empty()) {
        showMessage(app.screen, "Luettelossa ei ole yhtään käytössä olevaa muistipaikkaa: ei vietävää.");
        return;
    }
    const FileChoice choice = app.screen.fileDialog(kExportTitle, kContactsSaveFilter, "", true);
    if (choice.cancelled || choice.path.empty()) {
        app.screen.setFocus("Term");
        return;
    }
    std::string path = choice.path;
    if (extensionOf(path).empty())
        path += ".vcf";
    const bool csv = extensionOf(path) == "csv";
    const std::string content = csv ? writeCsvContacts(contacts) : writeVCards(contacts);
    std::string reason;
    if (!writeFileSafely(path, content, reason)) {
        warn(app, "Yhteystietoja ei voitu tallentaa tiedostoon " + path + " (" + reason
                      + "). Aiempi tiedosto säilyi ennallaan.");
        return;
    }
    showMessage(app.screen, std::to_string(contacts.size()) + " yhteystietoa vietiin tiedostoon " + path + ".",
                kExportTitle, Icon::Information);
}

}  // namespace puolukka
