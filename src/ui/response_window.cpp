#include "ui/response_window.h"

#include <algorithm>

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace puolukka {

namespace {

struct Row {
    const char* value;    // objectName of the value label; empty for the heading
    const char* caption;
};

// In the order of the description's bytes; the access rows under their heading.
constexpr Row kRows[] = {
    {"GRL1", " First two bytes (RFU)"},
    {"GRL2", " File Size"},
    {"GRL3", " Filed ID"},
    {"GRL4", " File Type"},
    {"GRL5", " INCREASE allowed on cyclic EF"},
    {"", " ACCESS CONDITIONS"},
    {"GRL6", "READ / SEEK"},
    {"GRL7", "UPDATE"},
    {"GRL8", "INCREASE"},
    {"GRL9", "REHABILITATE"},
    {"GRL10", "INVALIDATE"},
    {"GRL11", " File STATUS"},
    {"GRL81", " Length of Following Datas"},
    {"GRL12", " Structure of EF"},
    {"GRL13", " Length of a Record"},
};

QLabel* plainLabel(const QString& name, const QString& text, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    return label;
}

QLabel* valueLabel(const QString& name, QWidget* parent, int minimumWidth)
{
    QLabel* label = plainLabel(name, QString(), parent);
    label->setStyleSheet(QStringLiteral(
        "QLabel { background: palette(base); border: 1px solid palette(mid); border-radius: 2px; padding: 1px 3px; }"));
    label->setMinimumWidth(minimumWidth);
    label->setMinimumHeight(label->fontMetrics().height() + 6);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace

ResponseWindow::ResponseWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Gresponse"));
    setWindowTitle(QStringLiteral("Response"));

    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(3);
    int line = 0;
    for (const Row& row : kRows) {
        const QString value = QString::fromLatin1(row.value);
        if (value.isEmpty()) {
            QLabel* heading = plainLabel(QStringLiteral("GRHead"), QString::fromLatin1(row.caption), this);
            QFont bold = heading->font();
            bold.setBold(true);
            heading->setFont(bold);
            grid->setRowMinimumHeight(line, heading->sizeHint().height() + 8);
            grid->addWidget(heading, line++, 0, 1, 3, Qt::AlignBottom);
            continue;
        }
        // Access rows are indented under their heading.
        const bool access = row.caption[0] != ' ';
        QLabel* caption = plainLabel(value + QStringLiteral("Caption"), QString::fromLatin1(row.caption), this);
        if (access)
            caption->setIndent(24);
        grid->addWidget(caption, line, 0);
        if (value == QLatin1String("GRL2")) {
            grid->addWidget(valueLabel(value, this, 120), line, 1);
            grid->addWidget(valueLabel(QStringLiteral("GRRec"), this, 80), line, 2);
        } else {
            grid->addWidget(valueLabel(value, this, 120), line, 1, 1, 2);
        }
        ++line;
    }
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("GROK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] {
        if (m_okHandler)
            m_okHandler();
        else
            hide();
    });
    buttons->addWidget(ok);
    layout->addLayout(buttons);
}

void ResponseWindow::showEvent(QShowEvent* event)
{
    // First shown over the lower part of the terminal, where it leaves the
    // explorer panels it fills at the same time in view; later it stays where
    // the user put it.
    if (!m_placed && parentWidget()) {
        const QRect owner = parentWidget()->frameGeometry();
        move(owner.left() + 40, std::max(owner.top() + 90, owner.bottom() - height() - 110));
        m_placed = true;
    }
    QWidget::showEvent(event);
}

}  // namespace puolukka
