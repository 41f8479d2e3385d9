#include "ui/entry_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace puolukka {

namespace {

// QLineEdit's own "no limit".
constexpr int kUnlimited = 32767;

int fieldLimit(int maxLength) { return maxLength > 0 ? maxLength : kUnlimited; }

}  // namespace

EntryDialog::EntryDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName("muokkaa");
    setWindowTitle("Muokkaa muistipaikkaa");
    setModal(false);

    m_label1 = new QLabel("Nimi:", this);
    m_label1->setObjectName("Label1");
    m_text1 = new QLineEdit(this);
    m_text1->setObjectName("Text1");
    // A name is stored one byte a character: only characters of one byte can be typed.
    m_text1->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[\\x{0}-\\x{ff}]*")), m_text1));
    m_label2 = new QLabel("Numero:", this);
    m_label2->setObjectName("Label2");
    m_text2 = new QLineEdit(this);
    m_text2->setObjectName("Text2");
    m_label1->setBuddy(m_text1);
    m_label2->setBuddy(m_text2);

    m_ok = new QPushButton("&OK", this);
    m_ok->setObjectName("Command1");
    m_ok->setDefault(true);
    m_cancel = new QPushButton("&Peruuta", this);
    m_cancel->setObjectName("Command2");

    auto* fields = new QGridLayout;
    fields->addWidget(m_label1, 0, 0);
    fields->addWidget(m_text1, 0, 1);
    fields->addWidget(m_label2, 1, 0);
    fields->addWidget(m_text2, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    setMinimumWidth(320);

    connect(m_ok, &QPushButton::clicked, this, &EntryDialog::okClicked);
    connect(m_cancel, &QPushButton::clicked, this, &EntryDialog::close);
}

void EntryDialog::fill(int row, const std::string& name, const std::string& number, int nameMaxLength,
                       int numberMaxLength)
{
    m_text1->setMaxLength(fieldLimit(nameMaxLength));
    m_text2->setMaxLength(fieldLimit(numberMaxLength));
    m_text1->setText(QString::fromLatin1(name.data(), qsizetype(name.size())));
    m_text2->setText(QString::fromLatin1(number.data(), qsizetype(number.size())));
    m_row = row;
    m_position = row + 1;
    setWindowTitle("Muistipaikka: " + QString::number(m_position));
    m_text1->setFocus();
}

QString EntryDialog::nameText() const { return m_text1->text(); }

QString EntryDialog::numberText() const { return m_text2->text(); }

}  // namespace puolukka
