#include "ui/about_box.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace puolukka {

namespace {

// System-information tools of the common desktops, in order of preference.
constexpr const char* kSystemInfoTools[] = {"hardinfo2", "hardinfo", "kinfocenter", "gnome-system-monitor",
                                            "mate-system-monitor", "xfce4-taskmanager"};

QLabel* wrappedLabel(const QString& html, QWidget* parent, const QString& objectName)
{
    auto* label = new QLabel(html, parent);
    label->setObjectName(objectName);
    label->setWordWrap(true);
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace

FrmAbout::FrmAbout(QWidget* parent) : QDialog(parent)
{
    setObjectName("frmAbout");
    setWindowTitle(QStringLiteral("Tietoja Puolukkasta"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);

    auto* layout = new QVBoxLayout(this);

    auto* title = new QLabel(QStringLiteral("<h2>Puolukka</h2>"), this);
    title->setObjectName("lblTitle");
    layout->addWidget(title);
    auto* version = new QLabel(QStringLiteral("Versio %1").arg(QLatin1String(PUOLUKKA_VERSION)), this);
    version->setObjectName("lblVersion");
    layout->addWidget(version);

    layout->addWidget(wrappedLabel(
        QStringLiteral("GSM-SIM-kortin puhelinmuistion lukeminen, muokkaus ja tallennus, PIN- ja "
                       "PUK-koodit, SIM-kortin tiedostojen selaus sekä heksapääte sarjaportin "
                       "kortinlukijalle."),
        this, "lblDescription"));

    layout->addWidget(wrappedLabel(
        QStringLiteral("<b>Varoitus:</b> väärä toimenpide voi lukita tai vahingoittaa SIM-kortin. "
                       "Esimerkiksi kolme väärää PIN-koodia peräkkäin lukitsee PIN-koodin, ja "
                       "kymmenen väärää PUK-koodia lukitsee kortin pysyvästi. Päätteestä lähetetyt "
                       "komennot menevät korttiin sellaisinaan. Ohjelma toimitetaan sellaisenaan, "
                       "ilman minkäänlaista takuuta; käytät sitä omalla vastuullasi."),
        this, "lblDisclaimer"));

    layout->addWidget(wrappedLabel(
        QStringLiteral("<b>Toimii seuraavien lukijoiden kanssa:</b>"
                       "<ul>"
                       "<li>yksinkertaiset sarjaportin kortinlukijat, joissa kortin I/O-linja on "
                       "kytketty sekä TX- että RX-linjaan ja kortin reset RTS- tai DTR-linjaan "
                       "(ks. Ohje &ndash; Kortinlukijan valmistusohjeet)</li>"
                       "<li>samat lukijat USB-sarjaporttisovittimen kautta</li>"
                       "<li>verkon yli käytettävät lukijat (sarjaportti TCP-yhteyden takana)</li>"
                       "<li>USB-älykortinlukijat (PC/SC, kun palvelu pcscd on asennettu)</li>"
                       "</ul>"
                       "Käytettävä laite valitaan Asetukset-ikkunan Laitteet-painikkeella ja Com-porttina."),
        this, "lblReaders"));

    layout->addWidget(wrappedLabel(
        QStringLiteral("<b>Päivitykset:</b> uusimmat versiot löytyvät ohjelman lähdekoodivarastosta "
                       "(katso sen README-tiedosto); mitä kussakin versiossa muuttui, kertoo tiedosto "
                       "CHANGELOG.md (asennettuna /usr/share/doc/puolukka/CHANGELOG.md.gz)."),
        this, "lblUpdates"));

    layout->addWidget(wrappedLabel(
        QStringLiteral("<b>Lisenssi:</b> MIT. Ohjelmaa saa käyttää, muuttaa ja levittää vapaasti; "
                       "ehdot ovat tiedostossa LICENSE (asennettuna /usr/share/doc/puolukka/copyright)."),
        this, "lblLicense"));

    auto* buttons = new QHBoxLayout;
    m_sysInfo = new QPushButton(QStringLiteral("&Järjestelmätiedot..."), this);
    m_sysInfo->setObjectName("cmdSysInfo");
    if (systemInfoTool().isEmpty()) {
        m_sysInfo->setEnabled(false);
        m_sysInfo->setToolTip(QStringLiteral("Järjestelmätietojen ohjelmaa ei löytynyt "
                                             "(esim. hardinfo, kinfocenter tai gnome-system-monitor)"));
    } else {
        m_sysInfo->setToolTip(QStringLiteral("Käynnistää ohjelman %1").arg(systemInfoTool()));
    }
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName("cmdOK");
    ok->setDefault(true);
    buttons->addWidget(m_sysInfo);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    layout->addStretch(1);
    layout->addLayout(buttons);

    connect(ok, &QPushButton::clicked, this, &QDialog::close);
    connect(m_sysInfo, &QPushButton::clicked, this, &FrmAbout::cmdSysInfo_Click);

    setMinimumWidth(460);
    // The wrapped labels' height depends on the width: measure at the width the box opens with.
    constexpr int kWidth = 520;
    resize(kWidth, heightForWidth(kWidth));
}

QString FrmAbout::systemInfoTool()
{
    for (const char* name : kSystemInfoTools) {
        const QString path = QStandardPaths::findExecutable(QLatin1String(name));
        if (!path.isEmpty())
            return path;
    }
    return {};
}

void FrmAbout::cmdSysInfo_Click()
{
    const QString tool = systemInfoTool();
    if (tool.isEmpty() || !QProcess::startDetached(tool, {})) {
        QMessageBox::warning(this, QStringLiteral("Puolukka"),
                             QStringLiteral("Järjestelmätietojen ohjelmaa ei voitu käynnistää."));
    }
}

void tieto_Click(QPointer<FrmAbout>& box, QWidget* parent)
{
    if (!box)
        box = new FrmAbout(parent);
    box->show();
    box->raise();
    box->activateWindow();
}

}  // namespace puolukka
