#pragma once

#include <QDialog>
#include <QPointer>

class QPushButton;

namespace puolukka {

// "Tietoja Puolukkasta": the program's name and version, a warning about what a
// wrong operation can do to a SIM card, the readers the program works with and
// where updates are found. Not modal; OK closes it.
class FrmAbout : public QDialog {
    Q_OBJECT

public:
    explicit FrmAbout(QWidget* parent = nullptr);

    // The system-information tool the "Järjestelmätiedot..." button starts; empty when none is installed.
    static QString systemInfoTool();

private:
    void cmdSysInfo_Click();

    QPushButton* m_sysInfo = nullptr;
};

// Shows the about box, creating it when it is not open.
void tieto_Click(QPointer<FrmAbout>& box, QWidget* parent);

}  // namespace puolukka
