#include "ui/phone_edit.h"

#include <QCheckBox>
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

QString text(const std::string& utf8) { return QString::fromStdString(utf8); }

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
    m_showBytes = new QCheckBox("Näytä tavuina", this);
    m_showBytes->setObjectName("ShowBytes");
    m_showBytes->setToolTip("Näyttää nimien tavut sellaisinaan, yksi Latin-1-merkki tavua kohden "
                            "(muilla ohjelmilla kirjoitetut kortit).");

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
    buttons->addSpacing(12);
    buttons->addWidget(m_showBytes);
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
    connect(m_showBytes, &QCheckBox::toggled, this, [this](bool bytes) {
        m_view = bytes ? NameView::Bytes : NameView::Decoded;
        const int current = m_list3->currentRow();
        showRows();
        m_list3->setCurrentRow(current);
    });

    m_app.phonebook.EditorOpen = 1;
    Form_Load();
}

void PhoneEdit::Form_Load()
{
    m_nameLength = nameFieldLength(m_app.phonebook);
    showRows();
    m_panel1->setText(text(nameLimitText(m_nameLength)));
    if (m_list3->count() > 0)
        m_list3->setCurrentRow(0);
}

void PhoneEdit::showRows()
{
    m_rows = fillEditorRows(m_app.phonebook, m_view);
    m_list3->clear();
    for (std::size_t r = 0; r < m_rows.rows.size(); ++r) {
        auto* item = new QListWidgetItem(text(m_rows.rows[r]), m_list3);
        item->setData(Qt::UserRole, int(r));
    }
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
        connect(m_dialog, &EntryDialog::nameChanged, this, &PhoneEdit::nameTyped);
        connect(m_dialog, &QObject::destroyed, this,
                [this] { m_panel1->setText(text(nameLimitText(m_nameLength))); });
    }
    // The number field takes what a record holds: a "+" and 20 digits.
    m_dialog->fill(k, text(m_rows.names[std::size_t(k)]), text(m_rows.numbers[std::size_t(k)]), m_view,
                   m_nameLength, kMaxNumberChars);
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
}

void PhoneEdit::nameTyped(const QString& name)
{
    if (m_dialog)
        m_panel1->setText(text(nameStatusText(name.toStdString(), m_nameLength, m_dialog->view())));
}

void PhoneEdit::warn(const std::string& text)
{
    showMessage(m_app.screen, text, kAppTitle, Icon::Exclamation);
}

EditResult PhoneEdit::tallennamuisti()
{
    if (!m_dialog)
        return EditResult::Gone;
    const EntryEdit edit{m_dialog->shownName().toStdString(), m_dialog->shownNumber().toStdString(),
                         m_dialog->nameText().toStdString(), m_dialog->numberText().toStdString(),
                         m_dialog->view()};
    std::string message;
    const EditResult result = storeEditedEntry(m_app.phonebook, m_dialog->position(), edit, m_nameLength, &message);
    if (result == EditResult::Refused)
        warn(message);
    if (result == EditResult::Gone)
        warn("Muistipaikkaa " + std::to_string(m_dialog->position())
             + " ei enää ole muistissa olevassa luettelossa. Avaa luettelo uudelleen.");
    return result;
}

void PhoneEdit::entryConfirmed()
{
    if (!m_dialog)
        return;
    const EditResult result = tallennamuisti();
    if (result == EditResult::Refused || result == EditResult::Gone)
        return;  // the dialog stays open for a correction
    const int k = m_dialog->row();
    if (result == EditResult::Stored && k >= 0 && std::size_t(k) < m_rows.names.size()) {
        // The row shows what was stored, as the list shows any entry.
        const EditorRows fresh = fillEditorRows(m_app.phonebook, m_view);
        if (std::size_t(k) < fresh.rows.size()) {
            m_rows.names[std::size_t(k)] = fresh.names[std::size_t(k)];
            m_rows.numbers[std::size_t(k)] = fresh.numbers[std::size_t(k)];
            m_rows.rows[std::size_t(k)] = fresh.rows[std::size_t(k)];
            if (QListWidgetItem* item = m_list3->item(k))
                item->setText(text(m_rows.rows[std::size_t(k)]));
        }
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
    if (!window)
        window = new PhoneEdit(app, parent);
    app.screen.setEnabled("Term", false);
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace puolukka
