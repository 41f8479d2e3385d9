#include "ui/entry_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>
#include <QVBoxLayout>

#include "conversions/name_codec.h"

namespace puolukka {

namespace {

// QLineEdit's own "no limit".
constexpr int kUnlimited = 32767;

int fieldLimit(int maxLength) { return maxLength > 0 ? maxLength : kUnlimited; }

// The name field's maximum length in bytes of the card: typing stops where the
// encoded name would no longer fit, as a character maximum would. A name that
// was longer to begin with may stay that long while it is shortened.
class NameLengthValidator : public QValidator {
public:
    NameLengthValidator(NameView view, int allowedBytes, QObject* parent)
        : QValidator(parent), m_view(view), m_allowedBytes(allowedBytes)
    {
    }

    State validate(QString& input, int&) const override
    {
        const int bytes = encodedBytes(m_view, input);
        return bytes >= 0 && bytes <= m_allowedBytes ? Acceptable : Invalid;
    }

    // Bytes the name takes in the view's coding; -1 when it cannot be stored.
    static int encodedBytes(NameView view, const QString& name)
    {
        if (view == NameView::Bytes) {
            for (QChar c : name)
                if (c.unicode() > 0xFF)
                    return -1;
            return int(name.size());
        }
        const EncodedName encoded = encodeName(name.toStdString());
        return encoded.encodable ? int(encoded.bytes.size()) : -1;
    }

private:
    NameView m_view;
    int m_allowedBytes;
};

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
    connect(m_text1, &QLineEdit::textChanged, this, &EntryDialog::nameChanged);
}

void EntryDialog::fill(int row, const QString& name, const QString& number, NameView view, int nameLength,
                       int numberMaxLength)
{
    m_view = view;
    m_shownName = name;
    m_shownNumber = number;
    // The validator goes first: setText does not check, a longer name is shown whole.
    const int allowed = std::max(nameLength, NameLengthValidator::encodedBytes(view, name));
    delete m_text1->validator();
    m_text1->setValidator(new NameLengthValidator(view, allowed, m_text1));
    m_text1->setMaxLength(kUnlimited);
    m_text2->setMaxLength(fieldLimit(numberMaxLength));
    m_text1->setText(name);
    m_text2->setText(number);
    m_row = row;
    m_position = row + 1;
    setWindowTitle("Muistipaikka: " + QString::number(m_position));
    m_text1->setFocus();
}

QString EntryDialog::nameText() const { return m_text1->text(); }

QString EntryDialog::numberText() const { return m_text2->text(); }

}  // namespace puolukka
