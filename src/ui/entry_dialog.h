#pragma once

#include <QDialog>
#include <QString>

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
    // name is the entry's name as bytes, shown one Latin-1 character a byte.
    // A maximum length of 0 or less leaves that field unlimited.
    void fill(int row, const std::string& name, const std::string& number, int nameMaxLength,
              int numberMaxLength);

    int row() const { return m_row; }            // Label4
    int position() const { return m_position; }  // Label5
    QString nameText() const;
    QString numberText() const;

    QLineEdit* nameField() const { return m_text1; }
    QLineEdit* numberField() const { return m_text2; }
    QPushButton* okButton() const { return m_ok; }
    QPushButton* cancelButton() const { return m_cancel; }

signals:
    void okClicked();

private:
    QLabel* m_label1 = nullptr;
    QLineEdit* m_text1 = nullptr;
    QLabel* m_label2 = nullptr;
    QLineEdit* m_text2 = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    int m_row = -1;
    int m_position = 0;
};

}  // namespace puolukka
