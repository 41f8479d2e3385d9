#pragma once

#include <QDialog>
#include <QString>

#include "phonebook/editor.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace puolukka {

// "muokkaa": the small modeless dialog in which the user changes the name and
// number of one phonebook entry. It only shows and forwards: the list window
// PhoneEdit fills it, checks what was typed when "&OK" is pressed (signal
// okClicked) and closes it; "&Peruuta" closes it without a change.
class EntryDialog : public QDialog {
    Q_OBJECT

public:
    explicit EntryDialog(QWidget* parent = nullptr);

    // Fills the dialog for the entry on zero-based row; its position is row + 1.
    // The name field takes what fits nameLength bytes once encoded as the view
    // stores it (a longer name already there is shown whole and can be
    // shortened); a number maximum of 0 or less leaves that field unlimited.
    void fill(int row, const QString& name, const QString& number, NameView view, int nameLength,
              int numberMaxLength);

    int row() const { return m_row; }            // Label4
    int position() const { return m_position; }  // Label5
    NameView view() const { return m_view; }
    QString nameText() const;
    QString numberText() const;
    // What the fields were filled with.
    const QString& shownName() const { return m_shownName; }
    const QString& shownNumber() const { return m_shownNumber; }

    QLineEdit* nameField() const { return m_text1; }
    QLineEdit* numberField() const { return m_text2; }
    QPushButton* okButton() const { return m_ok; }
    QPushButton* cancelButton() const { return m_cancel; }

signals:
    void okClicked();
    // The name field's text changed (also when filled).
    void nameChanged(const QString& name);

private:
    QLabel* m_label1 = nullptr;
    QLineEdit* m_text1 = nullptr;
    QLabel* m_label2 = nullptr;
    QLineEdit* m_text2 = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    int m_row = -1;
    int m_position = 0;
    NameView m_view = NameView::Decoded;
    QString m_shownName;
    QString m_shownNumber;
};

}  // namespace puolukka
