#pragma once

#include <functional>
#include <vector>

#include <QDialog>

#include "phonebook/contact_files.h"
#include "phonebook/contacts.h"

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace puolukka {

struct App;

// "Tuo yhteystiedot": what the user decides before contacts from a file go into
// the phonebook: the country of numbers without a country code, the card's name
// length when no card is known, whether the entries replace the phonebook or
// fill its free positions, and whether names that do not fit may be shortened.
// The list shows what would happen to every number; nothing is stored here.
class ImportDialog : public QDialog {
    Q_OBJECT

public:
    ImportDialog(const ContactsFile& file, const Phonebook& book, QWidget* parent = nullptr);

    ImportOptions options() const;
    ImportMode mode() const;
    // What the options chosen would do to the phonebook as it stands.
    const std::vector<ImportItem>& plan() const { return m_plan; }

    QComboBox* region() const { return m_region; }
    QSpinBox* nameLength() const { return m_nameLength; }
    QRadioButton* replace() const { return m_replace; }
    QRadioButton* fillFree() const { return m_fillFree; }
    QCheckBox* shorten() const { return m_shorten; }
    QListWidget* preview() const { return m_preview; }
    QLabel* counts() const { return m_counts; }
    QPushButton* importButton() const { return m_tuo; }
    QPushButton* cancelButton() const;

private:
    void update();

    const std::vector<Contact> m_contacts;
    const Phonebook& m_book;
    std::vector<ImportItem> m_plan;
    QComboBox* m_region = nullptr;
    QSpinBox* m_nameLength = nullptr;
    QRadioButton* m_replace = nullptr;
    QRadioButton* m_fillFree = nullptr;
    QCheckBox* m_shorten = nullptr;
    QListWidget* m_preview = nullptr;
    QLabel* m_counts = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
    QPushButton* m_tuo = nullptr;
};

// "Tuo yhteystiedot...": a contacts file, the import window, then the entries
// into the phonebook in memory and a summary. `decide` stands in for the
// window's exec() in tests; it returns whether the user chose "Tuo".
void TuoYhteystiedot_Click(App& app, QWidget* parent, const std::function<bool(ImportDialog&)>& decide = {});

}  // namespace puolukka
