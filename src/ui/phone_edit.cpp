#include "ui/phone_edit.h"

#include <QCloseEvent>
#include <QFont>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "app/app.h"
#include "phonebook/term_pane.h"
#include "ui/entry_dialog.h"

namespace puolukka {

namespace {

QString latin1(const std::string& bytes) { return QString::fromLatin1(bytes.data(), qsizetype(bytes.size())); }

QFont fixedPitchFont()
{
    QFont font("Courier");
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    if (!QFontInfo(font).fixedPitch())
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    return font;
}

}  // namespace

PhoneEdit::PhoneEdit(App& app, QWidget* parent) : QWidget(parent, Qt::Window), m_app(app)
{
    setObjectName("PhoneEdit");
    setWindowTitle("Luettelo");
    setAttribute(Qt::WA_DeleteOnClose);

    m_list3 = new QListWidget(this);
    m_list3->setObjectName("List3");
    m_list3->setFont(fixedPitchFont());
    m_command1 = new QPushButton("&Muokkaa", this);
    m_command1->setObjectName("Command1");
    m_quit = new QPushButton("&Sulje", this);
    m_quit->setObjectName("PhneBkQuit");

    m_statusBar = new QStatusBar(this);
    m_statusBar->setObjectName("StatusBar1");
    m_statusBar->setSizeGripEnabled(false);
    m_panel1 = new QLabel("Nimen maksimipituus:", m_statusBar);
    m_panel2 = new QLabel("CAPS", m_statusBar);
    m_panel3 = new QLabel("NUM", m_statusBar);
    m_statusBar->addWidget(m_panel1, 1);
    m_statusBar->addPermanentWidget(m_panel2);
    m_statusBar->addPermanentWidget(m_panel3);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_command1);
    buttons->addStretch();
    buttons->addWidget(m_quit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list3, 1);
    layout->addLayout(buttons);
    layout->addWidget(m_statusBar);
    resize(460, 420);

    connect(m_command1, &QPushButton::clicked, this, &PhoneEdit::Command1_Click);
    connect(m_quit, &QPushButton::clicked, this, &PhoneEdit::PhneBkQuit_Click);
    connect(m_list3, &QListWidget::itemDoubleClicked, this, &PhoneEdit::Command1_Click);

    m_app.phonebook.EditorOpen = 1;
    Form_Load();
}

void PhoneEdit::Form_Load()
{
    m_rows = fillEditorRows(m_app.phonebook);
    m_list3->clear();
    for (std::size_t r = 0; r < m_rows.rows.size(); ++r) {
        auto* item = new QListWidgetItem(latin1(m_rows.rows[r]), m_list3);
        item->setData(Qt::UserRole, int(r));
    }
    m_panel1->setText(QString::fromStdString(nameLimitText(m_rows.nameLen)));
    if (m_list3->count() > 0)
        m_list3->setCurrentRow(0);
}

int PhoneEdit::nameLimit() const
{
    // The name length found when filling (Label2); a malformed last entry has
    // none, and then entry 1's name length (namel) stands in for it.
    if (m_rows.nameLen > 0)
        return m_rows.nameLen;
    return m_namel > 0 ? m_namel : 0;
}

void PhoneEdit::Command1_Click()
{
    QListWidgetItem* item = m_list3->currentItem();
    if (!item)
        return;
    const int k = item->data(Qt::UserRole).toInt();
    if (k < 0 || std::size_t(k) >= m_rows.names.size())
        return;
    if (!m_dialog) {
        m_dialog = new EntryDialog(this);
        m_dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_dialog, &EntryDialog::okClicked, this, &PhoneEdit::entryConfirmed);
    }
    // The number field takes what a record holds: a "+" and 20 digits.
    m_dialog->fill(k, m_rows.names[std::size_t(k)], m_rows.numbers[std::size_t(k)], nameLimit(),
                   kMaxNumberChars);
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
}

void PhoneEdit::warn(const std::string& text)
{
    showMessage(m_app.screen, text, kAppTitle, Icon::Exclamation);
}

bool PhoneEdit::tallennamuisti()
{
    if (!m_dialog)
        return false;
    const std::string name = m_dialog->nameText().toLatin1().toStdString();
    const std::string number = m_dialog->numberText().toStdString();
    if (!storeEditedEntry(m_app.phonebook, m_dialog->position(), name, number, nameLimit())) {
        warn("Muistipaikkaa " + std::to_string(m_dialog->position())
             + " ei enää ole muistissa olevassa luettelossa. Avaa luettelo uudelleen.");
        return false;
    }
    return true;
}

void PhoneEdit::entryConfirmed()
{
    if (!m_dialog)
        return;
    const QString nameText = m_dialog->nameText();
    for (QChar c : nameText) {
        if (c.unicode() > 0xFF) {
            warn("Nimessä saa olla vain merkkejä, jotka mahtuvat yhteen tavuun (Latin-1).");
            return;
        }
    }
    const std::string name = nameText.toLatin1().toStdString();
    const std::string number = m_dialog->numberText().toStdString();
    std::string message;
    if (!validName(name, &message) || !validNumber(number, &message)) {
        warn(message);
        return;  // the dialog stays open for a correction
    }
    if (!tallennamuisti())
        return;
    const int k = m_dialog->row();
    if (k >= 0 && std::size_t(k) < m_rows.names.size()) {
        m_rows.names[std::size_t(k)] = name;
        m_rows.numbers[std::size_t(k)] = number;
        m_rows.rows[std::size_t(k)] = displayRow(k + 1, name, number);
        if (QListWidgetItem* item = m_list3->item(k))
            item->setText(latin1(m_rows.rows[std::size_t(k)]));
    }
    m_dialog->close();
}

void PhoneEdit::PhneBkQuit_Click() { close(); }

void PhoneEdit::closeEvent(QCloseEvent* event)
{
    if (m_dialog)
        m_dialog->close();
    // The terminal is usable again once the list is gone.
    m_app.phonebook.EditorOpen = 0;
    releaseTerminal(m_app);
    event->accept();
}

void PBEdit_Click(App& app, QPointer<PhoneEdit>& window, QWidget* parent)
{
    if (app.phonebook.PBCount == 0) {
        showMessage(app.screen, "Ei luetteloa muistissa. Avaa luettelo tai lue se SIM:ltä!");
        return;
    }
    const int n = firstNameLength(app.phonebook);
    if (!window)
        window = new PhoneEdit(app, parent);
    window->setNamel(n);
    app.screen.setEnabled("Term", false);
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace puolukka
