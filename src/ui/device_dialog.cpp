#include "ui/device_dialog.h"

#include <algorithm>

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/screen.h"
#include "ports/device_port.h"

namespace puolukka {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

std::string defaultDevice(int n) { return "/dev/ttyS" + std::to_string(n - 1); }

}  // namespace

DeviceDialog::DeviceDialog(DevicePort& port, std::string folder, QWidget* parent, DeviceRoots roots)
    : QDialog(parent), m_port(port), m_folder(std::move(folder)), m_roots(std::move(roots))
{
    setObjectName("DeviceDialog");
    setWindowTitle(QStringLiteral("Laitteet"));
    auto* layout = new QVBoxLayout(this);

    layout->addWidget(new QLabel(QStringLiteral("Tämän koneen laitteet:"), this));
    m_list = new QTreeWidget(this);
    m_list->setObjectName("DeviceList");
    m_list->setHeaderLabels({QStringLiteral("Laite"), QStringLiteral("Tyyppi"), QStringLiteral("Huomio")});
    m_list->setRootIsDecorated(false);
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_list->setMinimumHeight(160);
    layout->addWidget(m_list);

    m_problem = new QLabel(this);
    m_problem->setObjectName("DeviceProblem");
    m_problem->setWordWrap(true);
    layout->addWidget(m_problem);

    auto* ports = new QGridLayout;
    for (int n = 1; n <= kPorts; ++n) {
        auto* combo = new QComboBox(this);
        combo->setObjectName(QStringLiteral("ComDevice%1Choice").arg(n));
        combo->setEditable(true);  // a network reader or another path is typed in
        combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        auto* label = new QLabel(QStringLiteral("Com&%1:").arg(n), this);
        label->setBuddy(combo);
        ports->addWidget(label, n - 1, 0);
        ports->addWidget(combo, n - 1, 1);
        m_combos[n - 1] = combo;
    }
    ports->setColumnStretch(1, 1);
    layout->addLayout(ports);
    auto* note = new QLabel(QStringLiteral("Valinnat tallentuvat tiedostoon ports.ini. Verkkolukija annetaan "
                                           "muodossa rfc2217://palvelin:portti."),
                            this);
    note->setWordWrap(true);
    layout->addWidget(note);

    auto* buttons = new QHBoxLayout;
    auto* rescan = new QPushButton(QStringLiteral("P&äivitä"), this);
    rescan->setObjectName("RefreshButton");
    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setObjectName("OKButton");
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("&Peruuta"), this);
    cancel->setObjectName("CancelButton");
    buttons->addWidget(rescan);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(rescan, &QPushButton::clicked, this, &DeviceDialog::refresh);
    connect(ok, &QPushButton::clicked, this, &DeviceDialog::OKButton_Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    refresh();
    for (int n = 1; n <= kPorts; ++n)
        m_combos[n - 1]->setCurrentText(qs(m_port.device(n)));
    // Wide enough for every column: reader names are long.
    m_list->header()->resizeSections(QHeaderView::ResizeToContents);
    resize(std::max(620, m_list->header()->length() + 2 * m_list->frameWidth() + 80), sizeHint().height());
}

void DeviceDialog::refresh()
{
    const std::vector<DeviceChoice> choices = deviceChoices(m_roots);
    m_list->clear();
    QStringList problems;
    for (const DeviceChoice& choice : choices) {
        auto* item = new QTreeWidgetItem(m_list, {qs(choice.device), qs(choice.kind),
                                                  choice.problem.empty() ? QString() : QStringLiteral("ei käyttöoikeutta")});
        item->setToolTip(2, qs(choice.problem));
        if (!choice.problem.empty())
            problems << qs(choice.problem);
    }
    m_problem->setText(problems.join(QLatin1Char('\n')));
    m_problem->setVisible(!problems.isEmpty());
    for (QComboBox* combo : m_combos) {
        const QString current = combo->currentText();
        combo->clear();
        for (const DeviceChoice& choice : choices)
            combo->addItem(qs(choice.device));
        combo->setCurrentText(current);
    }
}

std::map<int, std::string> DeviceDialog::choices() const
{
    std::map<int, std::string> chosen;
    for (int n = 1; n <= kPorts; ++n) {
        const std::string device = m_combos[n - 1]->currentText().trimmed().toStdString();
        // A port left on its default needs no line in ports.ini.
        chosen[n] = device == defaultDevice(n) && m_port.ports().assignedDevice(n).empty() ? std::string() : device;
    }
    return chosen;
}

void DeviceDialog::OKButton_Click()
{
    for (const auto& [n, device] : choices()) {
        if (device == "rfc2217://") {
            QMessageBox::warning(this, qs(kAppTitle),
                                 QStringLiteral("Com%1: anna verkkolukijan osoite muodossa rfc2217://palvelin:portti.").arg(n));
            return;
        }
    }
    std::string error;
    const bool written = applyPortChoices(m_port, m_folder, choices(), &error);
    if (!error.empty())
        QMessageBox::warning(this, qs(kAppTitle), qs(error));
    // A device that could not be opened stays chosen: the message said why.
    if (written)
        accept();
}

bool chooseDevices(DevicePort& port, const std::string& folder, QWidget* parent)
{
    DeviceDialog dialog(port, folder, parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace puolukka
