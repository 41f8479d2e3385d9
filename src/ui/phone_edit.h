#pragma once

#include <QPointer>
#include <QWidget>

#include "phonebook/editor.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;
class QStatusBar;

namespace puolukka {

struct App;
class EntryDialog;

// "Luettelo": the phonebook list window. It fills itself once, when created,
// from the phonebook in memory (one fixed-pitch row per entry: position, name,
// number), opens the entry dialog for the selected row ("&Muokkaa") and stores
// a confirmed entry back into the phonebook (tallennamuisti). Names are shown
// decoded as phones store them; "Näytä tavuina" shows their bytes as Latin-1
// instead. It never talks to the card. While it is shown the main window's
// terminal pane stays disabled.
class PhoneEdit : public QWidget {
    Q_OBJECT

public:
    explicit PhoneEdit(App& app, QWidget* parent = nullptr);

    // The hidden lists List1 and List2 and the labels Label1 and Label2, as data.
    const EditorRows& rows() const { return m_rows; }
    QListWidget* list() const { return m_list3; }
    QStatusBar* statusBar() const { return m_statusBar; }
    QCheckBox* showBytes() const { return m_showBytes; }
    // The bytes a name may take (the status bar's maximum).
    int nameLength() const { return m_nameLength; }
    // The entry dialog while it is open, else null.
    EntryDialog* entryDialog() const { return m_dialog; }

    // "&Muokkaa": fills and shows the entry dialog for the selected row.
    void Command1_Click();
    // "&Sulje": closes and discards the window.
    void PhneBkQuit_Click();
    // Stores the dialog's name and number into the phonebook at the dialog's
    // position; says why when they cannot be stored.
    EditResult tallennamuisti();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    void showRows();
    void entryConfirmed();
    void nameTyped(const QString& name);
    void warn(const std::string& text);

    App& m_app;
    EditorRows m_rows;
    NameView m_view = NameView::Decoded;
    int m_nameLength = 0;
    QListWidget* m_list3 = nullptr;
    QPushButton* m_command1 = nullptr;
    QPushButton* m_quit = nullptr;
    QCheckBox* m_showBytes = nullptr;
    QStatusBar* m_statusBar = nullptr;
    QLabel* m_panel1 = nullptr;
    QLabel* m_panel2 = nullptr;
    QLabel* m_panel3 = nullptr;
    QPointer<EntryDialog> m_dialog;
};

// "Muokkaa luetteloa" (toolbar position 7, menu "M&uokkaa luetteloa"): with no
// phonebook in memory says so; otherwise creates and fills the list window
// the first time (an open window is only brought forward, not refreshed),
// disables the terminal pane and shows the window, not modal. window is the
// main window's handle to it; parent its owner.
void PBEdit_Click(App& app, QPointer<PhoneEdit>& window, QWidget* parent);

}  // namespace puolukka
