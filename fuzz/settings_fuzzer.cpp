// The settings file puolukka.ini, read by start-up with the program's own port
// (DevicePort over ports.ini, every COM on the virtual reader, so nothing real
// is opened). Properties: start-up shows at most one box, leaves no error on
// the port, and a file written from the values it read (as the settings dialog
// writes it) reads back the same values when each value fits the 4 characters
// the 5-character window leaves after "= ".
#include <cstdint>
#include <string>

#include "app/app.h"
#include "app/settings_file.h"
#include "app/startup.h"
#include "fuzz_input.h"
#include "ports/device_port.h"
#include "ports/port_factory.h"
#include "scripted_screen.h"

using namespace puolukka;

namespace {

const std::string& startFolder()
{
    static const std::string folder = [] {
        const auto dir = fuzz::scratchFolder() / "settings";
        std::filesystem::create_directories(dir);
        std::string ports;
        for (int n = DevicePort::kFirstPort; n <= DevicePort::kLastPort; ++n)
            ports += "COM" + std::to_string(n) + " = virtual\n";
        fuzz::writeFile(dir / kPortsFileName, ports);
        return dir.string();
    }();
    return folder;
}

// A value the dialog's "Key = value" line carries through the reader unchanged.
bool survivesWriting(const std::string& value)
{
    return value.size() <= 4 && value.find_first_of(",\"\r\n=") == std::string::npos &&
           (value.empty() || (value.front() != ' ' && value.back() != ' ' && value.back() != '\t'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string& folder = startFolder();
    fuzz::writeFile(folder + "/" + kSettingsFileName, text);

    VirtualClock clock;
    test::ScriptedScreen screen;
    DevicePort port(makeBackendFactory(clock, folder), folder);
    App app(screen, clock, port);
    startUp(app, folder);
    fuzz::check(screen.transcript.size() <= 1, "start-up shows at most one box");
    fuzz::check(!port.errorPending(), "start-up leaves no error on the port");
    fuzz::check(!port.portOpen() || (port.commPort() >= 1 && port.commPort() <= 16), "an open port is COM1-COM16");

    const SettingsRead read = parseSettingsText(text);
    const PortSettings& v = read.values;
    const std::string* values[] = {&v.Comport, &v.IRQ, &v.Word_Length, &v.Parity,
                                   &v.StopBits, &v.Baud_Rate, &v.HandShake, &v.Echo};
    bool writable = read.errorNumber == 0;
    for (const std::string* value : values)
        writable = writable && survivesWriting(*value);
    if (writable) {
        const SettingsRead again = parseSettingsText(settingsFileText(read.SettingsHeader, v));
        fuzz::check(again.errorNumber == 0, "a written file reads without error");
        const PortSettings& w = again.values;
        fuzz::check(w.Comport == v.Comport && w.IRQ == v.IRQ && w.Word_Length == v.Word_Length &&
                        w.Parity == v.Parity && w.StopBits == v.StopBits && w.Baud_Rate == v.Baud_Rate &&
                        w.HandShake == v.HandShake && w.Echo == v.Echo,
                    "a written file reads back the same values");
    }
    return 0;
}
