#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/clock.h"
#include "ports/serial_port.h"
#include "sim/card_description.h"
#include "sim/fault_plan.h"
#include "sim/sim_card.h"

namespace puolukka {

// The serial reader with a GSM SIM card in it, as the program sees it through
// the port: the card's I/O line is tied to both TXD and RXD (every byte written
// comes back as an echo), its reset contact hangs on RTS and/or DTR, and carrier
// detect is on while a card sits in the reader.
//
// Every byte has an arrival time on the clock: 12 bit times per character at the
// port's speed, plus the card's own thinking time. A read delivers exactly the
// bytes whose time has come, so with a virtual clock partial and late answers are
// deterministic, and with the real clock the reader runs in real time.
//
// Parity: a direct card frames its bytes with even parity, an inverse card (bytes
// sent as InverseByte of what it means) with odd parity as the port sees them.
// Reading with the other parity letter raises event 1009 and each faulty byte is
// replaced by the ParityReplace character (kept as it came when ParityReplace is
// empty). "N", "M" and "S" check nothing. The card drops bytes whose parity does
// not fit its convention and waits for a new command header.
//
// Faults on purpose: with a FaultPlan set, the line, the card and the adapter
// fail as real ones do, at the moments the plan's seeded schedule picks (see
// setFaultPlan). Without one nothing of that runs.
class VirtualReaderPort final : public SerialPort {
public:
    // The trace note of a character the host sent while the card had the line.
    static constexpr const char* kCollision = "collision: the host sent while the card had the line";
    // The error of a port whose adapter was pulled out, and of opening it while it is out.
    static constexpr const char* kPortGone = "The port is gone: its USB serial adapter was pulled out";
    static constexpr const char* kNoAdapter = "No such device: the USB serial adapter is not plugged in";

    // A reader holding the card; when cardFile is given, changes the card makes
    // to itself (updates, codes, counters) are written back to that file. A
    // non-empty loadError makes a reader whose card description could not be
    // read: opening it fails with that text.
    VirtualReaderPort(Clock& clock, sim::CardDescription card, std::string cardFile = {},
                      std::string loadError = {});

    bool setSettings(const std::string& text) override;
    std::string settings() const override { return m_settingsText; }
    bool setCommPort(int number) override;
    int commPort() const override { return m_commPort; }
    bool setPortOpen(bool open) override;
    bool portOpen() const override { return m_open; }

    bool output(const std::string& bytes) override;
    std::string input() override;
    int inBufferCount() override;
    bool clearInBuffer() override;
    int outBufferCount() override;
    bool clearOutBuffer() override;

    bool setRTSEnable(bool on) override;
    bool rtsEnable() const override { return m_rts; }
    bool setDTREnable(bool on) override;
    bool dtrEnable() const override { return m_dtr; }
    bool setHandshaking(int mode) override;
    int handshaking() const override { return m_handshaking; }

    bool cdHolding() override;
    bool ctsHolding() override;
    bool dsrHolding() override;

    std::vector<int> pollEvents() override;
    long long flaggedCharacters() const override { return m_flagged; }

    // For tests and the demo.
    sim::SimCard& card() { return m_card; }
    const sim::SimCard& card() const { return m_card; }
    const std::vector<sim::TraceEntry>& trace() const { return m_card.trace(); }
    void clearTrace() { m_card.clearTrace(); }
    void insertCard();
    void removeCard();
    bool cardInserted() const { return m_inserted; }
    bool resetAsserted() const { return m_resetAsserted; }
    // Time of one character on the line at the current speed, in microseconds.
    std::int64_t characterTimeUs() const;
    // Bytes still on their way (not yet arrived); for tests.
    int bytesInFlight() const { return int(m_line.size()); }
    const std::string& cardFile() const { return m_cardFile; }
    const std::string& loadError() const { return m_loadError; }
    const std::string& saveError() const { return m_saveError; }

    // Faults on purpose (nullptr: none; the plan must outlive its use here).
    // Each character on the line, either way, may be dropped (neither the echo
    // nor the card sees it), have a data bit flipped or its parity bit flipped
    // (both raise 1009 where the line carries parity; the card drops such a
    // byte), or be the moment the card is pulled out (pushed back in 20 ms to
    // 1.5 s later), resets by itself (power dip: it starts over and sends its
    // answer-to-reset), or the adapter is pulled out (the port closes with
    // kPortGone and refuses to open with kNoAdapter for 0.2 to 3 s). Each answer
    // of the card may come after a storm of 10 to 300 NULL bytes up to 20 ms apart.
    void setFaultPlan(sim::FaultPlan* plan) { m_faults = plan; }
    // False while the adapter is pulled out.
    bool portPresent() const { return m_clock.nowUs() >= m_portBackUs; }

private:
    enum class Frame { Even, Odd, Unchecked };
    struct LineByte {
        std::int64_t atUs;
        std::uint8_t value;
        Frame frame;
        bool fromCard;
    };

    // Something a fault set going, due at a moment on the line.
    struct Due {
        enum class What { PullCard, PushCard, ResetCard, LosePort } what;
        std::int64_t atUs;
        std::int64_t untilUs = 0;  // LosePort: when the adapter is back
    };

    void pump();
    void queue(const LineByte& byte);
    // The plan's faults on one character; false when it is lost on the line.
    bool strikeLine(LineByte& byte);
    void schedule(const Due& due);
    void happenDue(std::int64_t untilUs);
    void pullCard(std::int64_t atUs);
    void pushCard(std::int64_t atUs);
    void resetCardAt(std::int64_t atUs);
    void losePort(std::int64_t untilUs);
    void addNullStorm(sim::Reaction& reaction);
    void sendFromCard(const sim::Reaction& reaction, std::int64_t afterUs);
    void dropCardBytesAfter(std::int64_t us);
    void updateResetLine();
    Frame frameOf(std::uint8_t value) const;
    void saveIfChanged();

    Clock& m_clock;
    sim::SimCard m_card;
    std::string m_cardFile;
    std::string m_loadError;
    std::string m_saveError;

    std::string m_settingsText = "9600,N,8,1";
    int m_baud = 9600;
    char m_parity = 'N';
    int m_dataBits = 8;
    int m_commPort = 1;
    bool m_open = false;
    bool m_rts = false;
    bool m_dtr = false;
    int m_handshaking = 0;

    bool m_inserted = true;
    bool m_resetAsserted = false;
    std::deque<LineByte> m_line;       // bytes on their way, by arrival time
    std::string m_received;            // arrived, waiting to be read
    std::int64_t m_txFreeUs = 0;       // the port's transmitter is busy until then
    std::int64_t m_cardTxFreeUs = 0;   // the card is sending until then and hears nothing
    bool m_newBytes = false;
    bool m_parityError = false;
    bool m_cdChanged = false;
    long long m_flagged = 0;

    sim::FaultPlan* m_faults = nullptr;
    std::deque<Due> m_due;             // by time
    std::int64_t m_portBackUs = 0;     // the adapter is out until then
};

// The port for "virtual" in ports.ini: a reader with the card described in
// cardFile (empty: the built-in demo card). A card file that cannot be read
// gives a port that refuses to open with the reason, also returned in error.
std::unique_ptr<SerialPort> makeVirtualReaderPort(Clock& clock, const std::string& cardFile, std::string* error);

}  // namespace puolukka
