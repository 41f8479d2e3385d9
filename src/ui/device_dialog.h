#pragma once

#include <map>
#include <string>
#include <vector>

#include <QDialog>

#include "ports/device_list.h"

class QComboBox;
class QLabel;
class QTreeWidget;

namespace puolukka {

class DevicePort;

// "Laitteet": the serial ports and other devices of the machine, and which
// one each of Com1-Com4 stands for. "&OK" writes ports.ini in the start folder
// and the open port moves to its new device at once.
class DeviceDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr int kPorts = 4;

    // roots: where the machine's devices are looked for (tests give a machine of their own).
    DeviceDialog(DevicePort& port, std::string folder, QWidget* parent = nullptr, DeviceRoots roots = {});

    // The device chosen for each of Com1-Com4; "" where the port keeps its default (/dev/ttyS<n-1>).
    std::map<int, std::string> choices() const;

private:
    void refresh();
    void OKButton_Click();

    DevicePort& m_port;
    std::string m_folder;
    DeviceRoots m_roots;
    QTreeWidget* m_list = nullptr;
    QComboBox* m_combos[kPorts] = {};
    QLabel* m_problem = nullptr;
};

// Opens the dialog over parent and applies what the user chose; true when ports.ini was written.
bool chooseDevices(DevicePort& port, const std::string& folder, QWidget* parent);

}  // namespace puolukka
