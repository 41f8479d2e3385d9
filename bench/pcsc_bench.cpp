// Phonebook transfer timing through a real PC/SC stack: the program with
// "COM1 = pcsc" against the virtual SIM in the vpcd reader of a private pcscd,
// 250 records of 28 bytes, in wall time on the program's real clock. Side by
// side in the same run, the same APDUs (as the card received them from the
// program) are sent again in a bare SCardTransmit loop: the floor of PC/SC on
// this machine. Printed for the whole read (PhnBook_Click: selections, GET
// RESPONSE and the records, after a reset) and the whole write (WritePB_Click:
// the backup, every record written and read back), and for the record loops
// alone. Each figure is the best of several runs: on a busy machine single
// runs vary tenfold.
// The last line is "pcsc read R write W": the whole operations over the floor.
//
// Needs root and the Debian packages pcscd and vsmartcard-vpcd, as the PC/SC
// tests do; without them it says why and ends with status 1.

#include <winscard.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <utility>
#include <string>
#include <vector>

#include "card_fixture.cpp"
#include "private_pcscd.cpp"
#include "scripted_screen.cpp"

#include "conversions/adn_codec.h"
#include "conversions/conversions.h"
#include "filesystem/selection.h"
#include "link/reset.h"
#include "phonebook/card_transfer.h"
#include "phonebook/record_loops.h"
#include "ports/device_port.h"
#include "ports/port_factory.h"

namespace {

using namespace puolukka;
using Wall = std::chrono::steady_clock;

constexpr int kRecords = 250;
constexpr int kRecordLength = 28;
// Every run measures all four, so the best of each comes from samples spread
// over the whole time the bench runs.
constexpr int kRuns = 40;
const std::string kRecLenText = "1C";

double secondsSince(Wall::time_point start)
{
    return std::chrono::duration<double>(Wall::now() - start).count();
}

// The APDUs the card receives, as the card thread hands them over.
class ApduLog {
public:
    void add(const std::string& apdu)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_apdus.push_back(apdu);
    }
    std::vector<std::string> take()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::exchange(m_apdus, {});
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_apdus;
};

// The floor: the APDUs sent one after another on a connection of our own.
class BareLoop {
public:
    bool open(std::string* why)
    {
        LONG rv = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &m_context);
        if (rv == SCARD_S_SUCCESS)
            rv = SCardConnect(m_context, test::PrivatePcscd::kReaderName, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0,
                              &m_card, &m_protocol);
        if (rv != SCARD_S_SUCCESS)
            *why = pcsc_stringify_error(rv);
        return rv == SCARD_S_SUCCESS;
    }
    ~BareLoop()
    {
        if (m_card)
            SCardDisconnect(m_card, SCARD_LEAVE_CARD);
        if (m_context)
            SCardReleaseContext(m_context);
    }
    // Seconds for the whole list; -1 when an APDU failed.
    double run(const std::vector<std::string>& apdus)
    {
        // The program's resets end this connection's view of the card: take
        // the card as it is again before the clock starts.
        DWORD state = 0, protocol = 0, atrLength = MAX_ATR_SIZE;
        BYTE atr[MAX_ATR_SIZE];
        if (SCardStatus(m_card, nullptr, nullptr, &state, &protocol, atr, &atrLength) == SCARD_W_RESET_CARD)
            SCardReconnect(m_card, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0, SCARD_LEAVE_CARD, &m_protocol);
        const auto start = Wall::now();
        for (const std::string& apdu : apdus) {
            BYTE response[MAX_BUFFER_SIZE];
            DWORD length = sizeof response;
            if (SCardTransmit(m_card, SCARD_PCI_T0, reinterpret_cast<const BYTE*>(apdu.data()), DWORD(apdu.size()),
                              nullptr, response, &length) != SCARD_S_SUCCESS)
                return -1;
        }
        return secondsSince(start);
    }

private:
    SCARDCONTEXT m_context = 0;
    SCARDHANDLE m_card = 0;
    DWORD m_protocol = 0;
};

struct Figure {
    double program = 1e9;
    double floor = 1e9;
    std::size_t apdus = 0;
    double ratio() const { return floor > 0 ? program / floor : 0; }
};

void print(const char* what, const Figure& f)
{
    std::printf("%-22s program %7.3f s   bare SCardTransmit loop %7.3f s (%zu APDUs)   ratio %.2f\n", what,
                f.program, f.floor, f.apdus, f.ratio());
}

// Two phonebooks that differ in every record: the whole write always writes
// the first and the write loop the second, so that every write has all 250
// records to write (the write leaves records that are the same on the card alone).
std::vector<std::string> benchEntries(const char* name)
{
    std::vector<std::string> entries(1);
    for (int i = 1; i <= kRecords; ++i)
        entries.push_back(name + std::to_string(i) + "/81/0401234" + std::to_string(i));
    return entries;
}

std::vector<std::string> recordsOf(const std::vector<std::string>& entries)
{
    std::vector<std::string> records(1);
    for (std::size_t i = 1; i < entries.size(); ++i) {
        int warning = 0;
        records.push_back(EntryToRecord(entries[i], kRecordLength, warning));
    }
    return records;
}

}  // namespace

int main()
{
    test::testDataHome();  // the write's backups go to a folder of this run, not the user's
    std::string why;
    if (!test::PrivatePcscd::instance().start(&why)) {
        std::printf("no PC/SC bench here: %s\n", why.c_str());
        return 1;
    }
    test::CardOptions options;
    options.pin1Enabled = false;
    options.adnRecordLength = kRecordLength;
    options.adnRecordCount = kRecords;
    test::ServedCard served(test::makeCard(options));
    ApduLog log;
    served.vpcd().setBeforeCommand([&log](const std::string& apdu) {
        log.add(apdu);
        return true;
    });
    if (!test::PrivatePcscd::instance().waitForCard(true)) {
        std::printf("the card did not come into the vpcd reader\n");
        return 1;
    }

    // The program as start-up leaves it, on its real clock.
    RealClock clock;
    test::ScriptedScreen screen;
    PortsMap ports;
    ports.set(1, "pcsc");
    DevicePort port(makeBackendFactory(clock, "."), ports);
    App app(screen, clock, port);
    app.card.ClassByte = "A0";
    port.setSettings("9600,E,8,1");
    port.setCommPort(1);
    port.setRThreshold(1);
    port.setInputLen(0);
    if (!port.setPortOpen(true)) {
        std::printf("cannot open the PC/SC port: %s\n", port.lastError().description.c_str());
        return 1;
    }
    BareLoop bare;
    if (!bare.open(&why)) {
        std::printf("cannot connect the bare loop: %s\n", why.c_str());
        return 1;
    }

    Figure read, write, readLoop, writeLoop;
    const std::vector<std::string> books[2] = {benchEntries("Nimi "), benchEntries("Name ")};
    const std::vector<std::string> records[2] = {recordsOf(books[0]), recordsOf(books[1])};
    std::vector<int> everyRecord;
    for (int i = 1; i <= kRecords; ++i)
        everyRecord.push_back(i);
    bool failed = false;
    const auto measure = [&](Figure& figure, auto operation) {
        log.take();
        const auto start = Wall::now();
        operation();
        figure.program = std::min(figure.program, secondsSince(start));
        const std::vector<std::string> apdus = log.take();
        const double floor = bare.run(apdus);
        failed = failed || floor < 0;
        figure.floor = std::min(figure.floor, floor < 0 ? 1e9 : floor);
        figure.apdus = apdus.size();
    };
    const int last = 1;  // the book the write loop leaves on the card
    // The menu commands as the user gives them, the card reset once before.
    resetointi(app);
    for (int run = 0; run < kRuns; ++run) {
        app.phonebook.PBCount = 0;
        measure(read, [&] { PhnBook_Click(app); });
        failed = failed || app.phonebook.PBCount != kRecords;
        app.phonebook.PBEntry = books[0];
        app.phonebook.PBCount = kRecords;
        measure(write, [&] { WritePB_Click(app); });

        // The record loops alone.
        SelDF_TELECOM(app);
        SelCmd(app, "6F3A", "ADN");
        std::vector<std::string> got;
        measure(readLoop, [&] {
            failed = readAdnRecords(app, kRecords, kRecLenText, got).outcome != LoopOutcome::Done || failed;
        });
        measure(writeLoop, [&] {
            failed = writeAdnRecords(app, records[last], everyRecord, kRecLenText).outcome != LoopOutcome::Done ||
                     failed;
        });
    }
    const int wrong = served.vpcd().withCard([&](sim::SimCard& card) {
        int n = 0;
        for (int i = 1; i <= kRecords; ++i)
            n += card.recordOf(0x6F3A, i) != records[last][std::size_t(i)];
        return n;
    });
    if (failed || wrong != 0)
        std::printf("A TRANSFER FAILED (%d records differ on the card)\n", wrong);

    std::printf("%d records of %d bytes through pcscd + vpcd + the virtual SIM, wall time, best of %d\n", kRecords,
                kRecordLength, kRuns);
    print("whole read", read);
    print("whole write", write);
    print("read record loop", readLoop);
    print("write record loop", writeLoop);
    std::printf("pcsc read %.2f write %.2f\n", read.ratio(), write.ratio());
    return failed || wrong != 0 ? 1 : 0;
}
