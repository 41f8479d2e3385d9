#pragma once

#include <functional>
#include <string>

#include <QDialog>
#include <QPointer>

class QRadioButton;
class QGroupBox;
class QGridLayout;

namespace puolukka {

struct App;

// The port settings dialog "Asetukset": option buttons in frames, each applied
// to the settings in memory at once; "&OK" applies them to the port and writes
// the settings file, "&Peruuta" only closes. Not modal.
class ConfigScrn : public QDialog {
    Q_OBJECT

public:
    // deviceOf(n) names the device that port n stands for (shown next to "Com n"); may be empty.
    // chooseDevices, when given, is what the "&Laitteet..." button runs; it returns whether
    // the ports now stand for other devices.
    ConfigScrn(App& app, std::function<std::string(int)> deviceOf, QWidget* parent = nullptr,
               std::function<bool(QWidget*)> chooseDevices = {});

    // Marks the options that match the current settings (runs once, when the dialog is created).
    void Form_Load();

private:
    QGroupBox* addFrame(QGridLayout* grid, int row, int column, const QString& title);
    QRadioButton* addOption(QGroupBox* frame, const QString& objectName, const QString& caption,
                            std::function<void()> onClick);
    void OKButton_Click();
    void CancelButton_Click();
    void showDevices();

    App& m_app;
    std::function<std::string(int)> m_deviceOf;
    std::function<bool(QWidget*)> m_chooseDevices;
};

// Shows the settings dialog, creating it (with its options marked) when it is
// not open, or bringing the open one forward without reloading it.
void MSettings_Click(App& app, QPointer<ConfigScrn>& dialog, QWidget* parent,
                     std::function<std::string(int)> deviceOf, std::function<bool(QWidget*)> chooseDevices = {});

}  // namespace puolukka
