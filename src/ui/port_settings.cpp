#include "ui/port_settings.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <string>

#include "app/app.h"

namespace puolukka::config_scrn {

namespace {

void showFailure(App& app, const std::string& description)
{
    showMessage(app.screen, description, kAppTitle, Icon::Exclamation);
}

int asPortNumber(long value) { return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX)); }

}  // namespace

OptionMarks Form_Load(App& app)
{
    const PortSettings& s = app.settings;
    OptionMarks marks;

    const long port = decimalValue(s.Comport);
    if (port >= 1 && port <= 4)
        marks.comPort = static_cast<int>(port);

    const long baud = decimalValue(s.Baud_Rate);
    if (std::find(std::begin(kBaudRates), std::end(kBaudRates), baud) != std::end(kBaudRates))
        marks.baud = static_cast<int>(baud);

    // Parity is compared without regard to case, but the value itself stays as it is.
    if (s.Parity.size() == 1) {
        const char p = static_cast<char>(std::toupper(static_cast<unsigned char>(s.Parity[0])));
        if (p == 'N' || p == 'E' || p == 'O')
            marks.parity = p;
    }

    const long data = decimalValue(s.Word_Length);
    if (data == 7 || data == 8)
        marks.dataBits = static_cast<int>(data);

    const long stop = decimalValue(s.StopBits);
    if (stop == 1 || stop == 2)
        marks.stopBits = static_cast<int>(stop);

    if (s.HandShake.size() == 1 && s.HandShake[0] >= '0' && s.HandShake[0] <= '3')
        marks.handShake = s.HandShake[0] - '0';

    // Any non-zero Echo marks "echo on", and the terminal then echoes: the switch
    // takes -1, the one value the terminal treats as on (a plain 1 would show the
    // option marked while the terminal stays silent).
    marks.echoOn = decimalValue(s.Echo) != 0;
    app.TerminalEcho = marks.echoOn ? -1 : 0;

    // A new dialog always shows NOR, whatever polarity is in force.
    marks.inverseReset = false;
    return marks;
}

void ComPort_Click(App& app, int index) { app.settings.Comport = numberWithSign(index); }

void Baud_Click(App& app, int rate) { app.settings.Baud_Rate = std::to_string(rate); }

void Data_Click(App& app, int bits) { app.settings.Word_Length = std::to_string(bits); }

void Stop_Click(App& app, int bits) { app.settings.StopBits = std::to_string(bits); }

void Parity_Click(App& app, char letter) { app.settings.Parity = std::string(1, letter); }

void Flow_Click(App& app, int mode) { app.settings.HandShake = std::to_string(mode); }

void EchoOff_Click(App& app)
{
    app.settings.Echo = "0";
    app.TerminalEcho = 0;
}

void EchoOn_Click(App& app)
{
    app.settings.Echo = "1";
    app.TerminalEcho = -1;
}

void NIFlag1_Click(App& app) { app.card.ResetPolarity = 0; }

void NIFlag2_Click(App& app) { app.card.ResetPolarity = 1; }

bool OKButton_Click(App& app)
{
    SerialPort& port = app.port;
    const PortSettings& s = app.settings;

    // A new port number: the port is closed, switched and reopened; on failure the
    // old number comes back and the port stays closed until a later OK opens it.
    const int oldNumber = port.commPort();
    const int newNumber = asPortNumber(decimalValue(s.Comport));
    if (newNumber != oldNumber) {
        const bool wasOpen = port.portOpen();
        if (wasOpen)
            port.setPortOpen(false);
        bool ok = port.setCommPort(newNumber);
        if (ok && wasOpen) {
            ok = port.setPortOpen(true);
            app.card.CardReady = 0;
        }
        if (!ok) {
            const std::string description = port.lastError().description;
            if (port.portOpen())
                port.setPortOpen(false);
            port.setCommPort(oldNumber);
            showFailure(app, description);
            return false;
        }
    }

    if (!port.setSettings(portParameterText(s))) {
        showFailure(app, port.lastError().description);
        return false;
    }
    if (!port.setHandshaking(asPortNumber(decimalValue(s.HandShake)))) {
        showFailure(app, port.lastError().description);
        return false;
    }

    std::string lastFailure;
    if (!writeSettingsFile(app.SettingsPath, s, &lastFailure) && lastFailure.empty())
        lastFailure = app.SettingsPath + ": write failed";
    // A port the dialog opens (again) may have another card behind it, or the
    // same one reset when its lines fell: the next card operation resets it.
    if (!port.portOpen()) {
        if (port.setPortOpen(true))
            app.card.CardReady = 0;
        else
            lastFailure = port.lastError().description;
    }
    if (!lastFailure.empty())
        showFailure(app, lastFailure);

    port.setRThreshold(1);
    port.setSThreshold(1);
    port.setInputLen(0);
    return true;
}

bool CancelButton_Click(App&) { return true; }

}  // namespace puolukka::config_scrn
