#include "ui/config_screen.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/app.h"
#include "ui/port_settings.h"

namespace puolukka {

namespace {

void markOption(QWidget* dialog, const QString& objectName)
{
    if (auto* option = dialog->findChild<QRadioButton*>(objectName))
        option->setChecked(true);
}

}  // namespace

ConfigScrn::ConfigScrn(App& app, std::function<std::string(int)> deviceOf, QWidget* parent,
                       std::function<bool(QWidget*)> chooseDevices)
    : QDialog(parent), m_app(app), m_deviceOf(std::move(deviceOf)), m_chooseDevices(std::move(chooseDevices))
{
    setObjectName("ConfigScrn");
    setWindowTitle(QStringLiteral("Asetukset"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);

    auto* outer = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    outer->addLayout(grid);

    // Port: each "ComN" with the device that ports.ini gives it.
    QGroupBox* com = addFrame(grid, 0, 0, QStringLiteral("&Com-portti"));
    auto* comGrid = new QGridLayout(com);
    for (int n = 1; n <= 4; ++n) {
        auto* option = new QRadioButton(QStringLiteral("Com%1").arg(n), com);
        option->setObjectName(QStringLiteral("ComPort%1").arg(n));
        connect(option, &QRadioButton::clicked, this, [this, n] { config_scrn::ComPort_Click(m_app, n); });
        comGrid->addWidget(option, n - 1, 0);
        const std::string device = m_deviceOf ? m_deviceOf(n) : std::string();
        auto* label = new QLabel(com);
        label->setObjectName(QStringLiteral("ComDevice%1").arg(n));
        comGrid->addWidget(label, n - 1, 1);
    }
    comGrid->setColumnStretch(1, 1);
    showDevices();
    if (m_chooseDevices) {
        // The machine's serial ports and readers, to choose from instead of editing ports.ini.
        auto* devices = new QPushButton(QStringLiteral("&Laitteet..."), com);
        devices->setObjectName("DevicesButton");
        comGrid->addWidget(devices, 4, 0, 1, 2, Qt::AlignLeft);
        connect(devices, &QPushButton::clicked, this, [this] {
            if (m_chooseDevices(this))
                showDevices();
        });
    }

    QGroupBox* speed = addFrame(grid, 0, 1, QStringLiteral("&Nopeus bps"));
    for (int rate : config_scrn::kBaudRates)
        addOption(speed, QStringLiteral("Baud%1").arg(rate / 100), QString::number(rate),
                  [this, rate] { config_scrn::Baud_Click(m_app, rate); });

    QGroupBox* flow = addFrame(grid, 0, 2, QStringLiteral("&Handshaking"));
    const struct { const char* name; const char* caption; } flows[] = {
        {"NoFlow", "None"}, {"XonFlow", "Xon/Xoff"}, {"RTSFlow", "RTS"}, {"BothFlow", "Xon/RTS"}};
    for (int mode = 0; mode < 4; ++mode)
        addOption(flow, flows[mode].name, flows[mode].caption,
                  [this, mode] { config_scrn::Flow_Click(m_app, mode); });

    QGroupBox* data = addFrame(grid, 1, 0, QStringLiteral("&Data Bits"));
    for (int bits : {7, 8})
        addOption(data, QStringLiteral("Data%1").arg(bits), QString::number(bits),
                  [this, bits] { config_scrn::Data_Click(m_app, bits); });

    QGroupBox* stop = addFrame(grid, 1, 1, QStringLiteral("&Stop Bits"));
    for (int bits : {1, 2})
        addOption(stop, QStringLiteral("Stop%1").arg(bits), QString::number(bits),
                  [this, bits] { config_scrn::Stop_Click(m_app, bits); });

    QGroupBox* parity = addFrame(grid, 1, 2, QStringLiteral("&Parity"));
    addOption(parity, "NoParity", "None", [this] { config_scrn::Parity_Click(m_app, 'N'); });
    addOption(parity, "OddParity", "Odd", [this] { config_scrn::Parity_Click(m_app, 'O'); });
    addOption(parity, "EvenParity", "Even", [this] { config_scrn::Parity_Click(m_app, 'E'); });

    // The echo captions are the program's own: "Y" switches the terminal echo off, "N" on.
    QGroupBox* echo = addFrame(grid, 2, 0, QStringLiteral("&Echo"));
    addOption(echo, "EchoOff", "Y", [this] { config_scrn::EchoOff_Click(m_app); })
        ->setToolTip(QStringLiteral("Päätteen kaiku pois: näppäillyt merkit näkyvät kerran"));
    addOption(echo, "EchoOn", "N", [this] { config_scrn::EchoOn_Click(m_app); })
        ->setToolTip(QStringLiteral("Päätteen kaiku päälle: näppäillyt merkit näkyvät myös sellaisinaan"));

    QGroupBox* reset = addFrame(grid, 2, 1, QStringLiteral("&Reset"));
    addOption(reset, "NIFlag1", "NOR", [this] { config_scrn::NIFlag1_Click(m_app); });
    addOption(reset, "NIFlag2", "INV", [this] { config_scrn::NIFlag2_Click(m_app); });

    auto* buttons = new QVBoxLayout;
    buttons->addStretch(1);
    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setObjectName("OKButton");
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("&Peruuta"), this);
    cancel->setObjectName("CancelButton");
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 2, 2);
    connect(ok, &QPushButton::clicked, this, &ConfigScrn::OKButton_Click);
    connect(cancel, &QPushButton::clicked, this, &ConfigScrn::CancelButton_Click);
}

void ConfigScrn::showDevices()
{
    for (int n = 1; n <= 4; ++n) {
        auto* label = findChild<QLabel*>(QStringLiteral("ComDevice%1").arg(n));
        const std::string device = m_deviceOf ? m_deviceOf(n) : std::string();
        label->setText(device.empty() ? QString() : QStringLiteral("(%1)").arg(QString::fromStdString(device)));
        label->setEnabled(!device.empty());
    }
}

QGroupBox* ConfigScrn::addFrame(QGridLayout* grid, int row, int column, const QString& title)
{
    auto* frame = new QGroupBox(title, this);
    grid->addWidget(frame, row, column);
    return frame;
}

QRadioButton* ConfigScrn::addOption(QGroupBox* frame, const QString& objectName, const QString& caption,
                                    std::function<void()> onClick)
{
    auto* layout = qobject_cast<QVBoxLayout*>(frame->layout());
    if (!layout)
        layout = new QVBoxLayout(frame);
    auto* option = new QRadioButton(caption, frame);
    option->setObjectName(objectName);
    layout->addWidget(option);
    // clicked, not toggled: marking an option when the dialog opens changes no value.
    connect(option, &QRadioButton::clicked, this, [onClick = std::move(onClick)] { onClick(); });
    return option;
}

void ConfigScrn::Form_Load()
{
    const config_scrn::OptionMarks marks = config_scrn::Form_Load(m_app);
    if (marks.comPort)
        markOption(this, QStringLiteral("ComPort%1").arg(marks.comPort));
    if (marks.baud)
        markOption(this, QStringLiteral("Baud%1").arg(marks.baud / 100));
    if (marks.parity == 'N')
        markOption(this, "NoParity");
    else if (marks.parity == 'O')
        markOption(this, "OddParity");
    else if (marks.parity == 'E')
        markOption(this, "EvenParity");
    if (marks.dataBits)
        markOption(this, QStringLiteral("Data%1").arg(marks.dataBits));
    if (marks.stopBits)
        markOption(this, QStringLiteral("Stop%1").arg(marks.stopBits));
    static const char* const flows[] = {"NoFlow", "XonFlow", "RTSFlow", "BothFlow"};
    if (marks.handShake >= 0 && marks.handShake <= 3)
        markOption(this, flows[marks.handShake]);
    markOption(this, marks.echoOn ? "EchoOn" : "EchoOff");
    markOption(this, marks.inverseReset ? "NIFlag2" : "NIFlag1");
}

void ConfigScrn::OKButton_Click()
{
    if (config_scrn::OKButton_Click(m_app))
        close();
}

void ConfigScrn::CancelButton_Click()
{
    if (config_scrn::CancelButton_Click(m_app))
        close();
}

void MSettings_Click(App& app, QPointer<ConfigScrn>& dialog, QWidget* parent,
                     std::function<std::string(int)> deviceOf, std::function<bool(QWidget*)> chooseDevices)
{
    if (!dialog) {
        dialog = new ConfigScrn(app, std::move(deviceOf), parent, std::move(chooseDevices));
        dialog->Form_Load();
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

}  // namespace puolukka
