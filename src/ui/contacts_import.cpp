#include "ui/contacts_import.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/app.h"
#include "conversions/adn_codec.h"
#include "phonebook/editor.h"
#include "phonebook/phone_number.h"
#include "phonebook/phonebook_file.h"
#include "phonebook/term_pane.h"

namespace puolukka {

namespace {

QString text(const std::string& utf8) { return QString::fromStdString(utf8); }

// A record of at most 255 bytes leaves at most 241 for the name.
constexpr int kMaxNameLength = 255 - kAdnFixedBytes;
// The name field of the usual 28-byte record, when no card tells its own.
constexpr int kUsualNameLength = 14;

int freePositions(const Phonebook& book)
{
    int free = 0;
    for (int i = 1; i <= book.PBCount && i < int(book.PBEntry.size()); ++i)
        free += isFreeEntry(book.PBEntry[std::size_t(i)]) ? 1 : 0;
    return free;
}

const char* statusWord(ImportStatus status)
{
    switch (status) {
    case ImportStatus::Taken:
        return "Otetaan";
    case ImportStatus::Shortened:
        return "Lyhennetään";
    default:
        return "Ei oteta";
    }
}

}  // namespace

ImportDialog::ImportDialog(const ContactsFile& file, const Phonebook& book, QWidget* parent)
    : QDialog(parent), m_contacts(file.contacts), m_book(book)
{
    setObjectName("TuoYhteystiedot");
    setWindowTitle(kImportTitle);

    int numbers = 0;
    for (const Contact& c : m_contacts)
        numbers += int(c.numbers.size());
    auto* source = new QLabel(QString("Tiedostossa %1 on %2 yhteystietoa ja %3 numeroa.")
                                  .arg(QFileInfo(text(file.path)).fileName())
                                  .arg(m_contacts.size())
                                  .arg(numbers),
                              this);
    source->setObjectName("Source");
    source->setWordWrap(true);

    m_region = new QComboBox(this);
    m_region->setObjectName("Region");
    for (const std::string& code : numberRegions())
        m_region->addItem(QString("%1 (+%2)").arg(text(code)).arg(regionCallingCode(code)), text(code));
    m_region->setCurrentIndex(std::max(0, m_region->findData(QStringLiteral("FI"))));

    // The card's own name length once it is known; otherwise the user's choice.
    const bool cardKnown = book.CardRecLen >= kAdnFixedBytes;
    const int known = book.PBCount > 0 || cardKnown ? nameFieldLength(book) : 0;
    m_nameLength = new QSpinBox(this);
    m_nameLength->setObjectName("NameLength");
    m_nameLength->setRange(0, kMaxNameLength);
    m_nameLength->setValue(known > 0 || cardKnown ? known : kUsualNameLength);
    m_nameLength->setEnabled(!cardKnown);
    m_nameLength->setToolTip("Kortin nimikentän pituus tavuina (tietueen pituus - 14). Tavallisesti 14.");

    auto* form = new QFormLayout;
    form->addRow("Maa numeroille ilman maatunnusta:", m_region);
    form->addRow("Nimen pituus kortilla (tavua):", m_nameLength);

    auto* target = new QGroupBox("Muistissa oleva luettelo", this);
    m_replace = new QRadioButton("Korvaa muistissa oleva luettelo", target);
    m_replace->setObjectName("Replace");
    m_fillFree = new QRadioButton(QString("Täytä luettelon vapaat muistipaikat (%1 vapaana)").arg(freePositions(book)),
                                  target);
    m_fillFree->setObjectName("FillFree");
    auto* group = new QButtonGroup(this);
    group->addButton(m_replace);
    group->addButton(m_fillFree);
    // Filling is the careful default: nothing in memory is lost by it.
    m_fillFree->setEnabled(book.PBCount > 0);
    (book.PBCount > 0 ? m_fillFree : m_replace)->setChecked(true);
    auto* targetLayout = new QVBoxLayout(target);
    targetLayout->addWidget(m_replace);
    targetLayout->addWidget(m_fillFree);

    m_shorten = new QCheckBox(this);
    m_shorten->setObjectName("ShortenNames");
    m_preview = new QListWidget(this);
    m_preview->setObjectName("Preview");
    m_counts = new QLabel(this);
    m_counts->setObjectName("Counts");

    m_buttons = new QDialogButtonBox(this);
    m_tuo = m_buttons->addButton("Tuo", QDialogButtonBox::AcceptRole);
    m_tuo->setObjectName("Tuo");
    m_tuo->setDefault(true);
    m_buttons->addButton("Peruuta", QDialogButtonBox::RejectRole)->setObjectName("Peruuta");

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(source);
    layout->addLayout(form);
    layout->addWidget(target);
    layout->addWidget(m_shorten);
    layout->addWidget(m_preview, 1);
    layout->addWidget(m_counts);
    layout->addWidget(m_buttons);
    resize(560, 480);

    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_region, &QComboBox::currentIndexChanged, this, &ImportDialog::update);
    connect(m_nameLength, &QSpinBox::valueChanged, this, &ImportDialog::update);
    connect(m_replace, &QRadioButton::toggled, this, &ImportDialog::update);
    connect(m_shorten, &QCheckBox::toggled, this, &ImportDialog::update);
    update();
}

ImportOptions ImportDialog::options() const
{
    ImportOptions options;
    options.region = m_region->currentData().toString().toStdString();
    options.nameLength = m_nameLength->value();
    options.shortenNames = m_shorten->isChecked();
    return options;
}

QPushButton* ImportDialog::cancelButton() const { return findChild<QPushButton*>("Peruuta"); }

ImportMode ImportDialog::mode() const { return m_replace->isChecked() ? ImportMode::Replace : ImportMode::FillFree; }

void ImportDialog::update()
{
    // The names that do not fit, counted without the consent to shorten them.
    ImportOptions unshortened = options();
    unshortened.shortenNames = false;
    int tooLong = 0;
    for (const ImportItem& item : planImport(m_contacts, unshortened))
        tooLong += item.status == ImportStatus::TooLong ? 1 : 0;
    m_shorten->setText(QString("Lyhennä liian pitkät nimet (%1 kpl)").arg(tooLong));
    m_shorten->setEnabled(tooLong > 0);

    // What would happen, tried on a copy of the phonebook.
    m_plan = planImport(m_contacts, options());
    Phonebook trial = m_book;
    const ImportSummary summary = applyImport(trial, m_plan, mode(), options());
    m_preview->clear();
    for (const ImportItem& item : m_plan)
        m_preview->addItem(QString("%1: %2").arg(statusWord(item.status), text(importItemText(item))));
    m_counts->setText(QString("Otetaan %1, joista lyhennetään %2; ei oteta %3.")
                          .arg(summary.taken)
                          .arg(summary.shortened)
                          .arg(summary.refused));
    m_tuo->setEnabled(summary.taken > 0);
}

void TuoYhteystiedot_Click(App& app, QWidget* parent, const std::function<bool(ImportDialog&)>& decide)
{
    app.screen.setEnabled("Term", false);
    const TerminalRelease release(app);
    ContactsFile file;
    if (!chooseContactsFile(app, file)) {
        app.screen.setFocus("Term");
        return;
    }
    ImportDialog dialog(file, app.phonebook, parent);
    if (!(decide ? decide(dialog) : dialog.exec() == QDialog::Accepted))
        return;
    if (dialog.mode() == ImportMode::Replace && app.phonebook.PBCount != 0 && !confirmReplace(app))
        return;
    std::vector<ImportItem> items = planImport(file.contacts, dialog.options());
    finishImport(app, items, dialog.mode(), dialog.options());
}

}  // namespace puolukka
