#include "card_fixture.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace puolukka::test {

sim::CardDescription makeCard(const CardOptions& options)
{
    sim::CardDescription card = sim::demoCard();
    if (options.inverse) {
        card.inverse = true;
        card.atr[0] = '\x3F';  // TS of an inverse-convention card, as the card means it
    }
    card.chv1Enabled = options.pin1Enabled;
    card.extraDelayUs = std::int64_t(options.extraDelayMs) * 1000;
    card.resetAssertedWhenOn = options.resetAssertedWhenOn;
    int adn = card.findPath("7F10/6F3A");
    sim::CardFile& file = card.files[std::size_t(adn)];
    if (options.adnRecordLength != file.recordLength || options.adnRecordCount != card.recordCount(adn)) {
        const int oldLength = file.recordLength;
        const int oldCount = card.recordCount(adn);
        const int length = std::max(options.adnRecordLength, 14);
        std::string data(std::size_t(length * options.adnRecordCount), '\xFF');
        for (int i = 0; i < std::min(oldCount, options.adnRecordCount); ++i) {
            std::string record = file.data.substr(std::size_t(i * oldLength), std::size_t(oldLength));
            std::string name, number, rebuilt;
            int ton = 0;
            if (!sim::splitAdnRecord(record, &name, &ton, &number)) continue;
            name = name.substr(0, std::size_t(length - 14));
            if (sim::buildAdnRecord(name, ton, number, length, &rebuilt, nullptr))
                data.replace(std::size_t(i * length), std::size_t(length), rebuilt);
        }
        file.recordLength = length;
        file.data = data;
    }
    return card;
}

namespace {

// Phonebook writes save backups under XDG_DATA_HOME: tests keep them in a
// folder of their own process, removed when the process ends, never in the
// user's home.
struct TestDataHome {
    TestDataHome()
    {
        ::setenv("XDG_DATA_HOME", folder.c_str(), 1);
    }
    ~TestDataHome() { std::filesystem::remove_all(folder); }
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("puolukka_data_" + std::to_string(::getpid()));
};

}  // namespace

std::string testDataHome()
{
    static const TestDataHome home;
    return home.folder.string();
}

CardFixture::CardFixture(sim::CardDescription card, std::string cardFile)
    : port(clock, std::move(card), std::move(cardFile)), app(screen, clock, port)
{
    testDataHome();
    app.card.ClassByte = "A0";
    app.settings.Comport = " 1";
    app.settings.IRQ = "4";
    app.settings.Word_Length = "8";
    app.settings.Parity = "E";
    app.settings.StopBits = "1";
    app.settings.Baud_Rate = "9600";
    app.settings.HandShake = "0";
    app.settings.Echo = "0";
    app.SettingsHeader = "[ComSettings]";
    port.setSettings("9600,E,8,1");
    port.setCommPort(1);
    port.setInterval(55);
    port.setPortOpen(true);
    port.setRThreshold(1);
    port.setSThreshold(1);
    port.setInputLen(0);
    port.clearInBuffer();
    port.clearOutBuffer();
    app.card.ShowInTerminal = 1;
    app.card.InverseConvention = 0;
}

}  // namespace puolukka::test
