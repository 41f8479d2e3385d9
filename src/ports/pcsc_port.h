#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/clock.h"
#include "ports/serial_port.h"
#include "ports/t0_apdu.h"

namespace puolukka {

// A smart-card reader as pcsc-lite (pcscd) knows it.
struct PcscReader {
    std::string name;         // "Gemalto PC Twin Reader 00 00"
    bool cardPresent = false;
};

// The readers pcscd knows, in its order. Returns false with *error when the
// PC/SC service cannot be reached (no pcscd running); no reader at all is no
// error (an empty list). Needs no open port.
bool listPcscReaders(std::vector<PcscReader>& readers, std::string* error = nullptr);

// True for the device texts of ports.ini that name a PC/SC reader: "pcsc" and
// "pcsc:TEXT" (the word pcsc in any case).
bool isPcscDevice(const std::string& device);

// Which of the readers a device text means: for "pcsc" the first reader that
// holds a card (the first reader while none does), for "pcsc:TEXT" the first
// whose name contains TEXT (letters compared without case). -1 when none fits.
int choosePcscReader(const std::string& device, const std::vector<PcscReader>& readers);

// A card in a PC/SC reader, offered to the program as the serial reader with
// the card in it, so every operation works unchanged:
// - every byte written comes back as the echo; the T=0 bytes of a command are
//   gathered into one command APDU and sent with SCardTransmit as soon as they
//   are complete, and the answer is given back at once as the bytes a T=0 card
//   sends (procedure byte, data, status word): nothing waits on a clock;
// - a change of RTS or DTR is the reset line moving: the card is reset
//   (SCardReconnect with SCARD_RESET_CARD) when the program next looks at the
//   port, so the two edges of one reset pulse make one reset, and the answer
//   to reset arrives as received bytes;
// - carrier detect is on while the reader holds a card, and a change raises
//   the CD event; CTS and DSR are on while the port is open;
// - speed, parity, data bits and handshaking are taken and have no effect;
//   the reader decodes the card's convention itself (deliversLogicalBytes).
// One connection is kept while the port is open: pcscd may power an idle card
// down when nobody holds it, and the card then forgets the codes it was given.
// A card pulled out fails the exchanges in progress, like a vanished device,
// and the port stays open for the next card; a reader or pcscd that goes away
// closes the port with the reason, as a vanished serial device does.
class PcscPort final : public SerialPort {
public:
    // device: "pcsc" or "pcsc:TEXT" (see choosePcscReader). The clock paces the
    // short retries of a connect to a card that is still powering up.
    PcscPort(Clock& clock, std::string device);
    ~PcscPort() override;
    PcscPort(const PcscPort&) = delete;
    PcscPort& operator=(const PcscPort&) = delete;

    // "pcsc: <reader name>" once a reader is chosen, the device text before.
    std::string name() const;
    const std::string& device() const { return m_device; }
    const std::string& readerName() const { return m_reader; }

    bool setSettings(const std::string& text) override;
    std::string settings() const override { return m_settings; }
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
    bool deliversLogicalBytes() const override { return true; }

    // How long a connect keeps trying while the card is still unpowered.
    static constexpr int kPowerUpRetries = 20;
    static constexpr int kPowerUpRetryMs = 50;

private:
    bool openContext();
    // Nothing received, pending or lost: as a port just opened or closed.
    void startAfresh();
    // Connects to a card if none is connected; with reset, resets it as well.
    bool ensureCard(bool reset);
    bool connectCard();
    void dropCard();
    bool readAnswerToReset(std::string& atr);
    bool transmit(const std::string& apdu, std::string& response);
    void runPendingReset();
    bool readerState(std::uint32_t& state);
    // Follows card presence: a change raises the CD event, a card gone is let go.
    void refreshPresence();
    // Records a PC/SC failure; a vanished reader or service closes the port.
    bool failPcsc(long rv, int number, const std::string& what);
    bool failClosed(int number);
    void release();

    Clock& m_clock;
    std::string m_device;
    std::string m_filter;   // TEXT of "pcsc:TEXT"; empty for "pcsc"
    std::string m_reader;   // the chosen reader's name
    std::string m_lostReason;

    bool m_open = false;
    long m_context = 0;           // SCARDCONTEXT
    long m_card = 0;              // SCARDHANDLE; 0 while no card is connected
    unsigned long m_protocol = 0;
    std::uint32_t m_readerState = 0;  // as SCardGetStatusChange last told it
    bool m_cardPresent = false;

    T0CommandGatherer m_gatherer;
    std::string m_rx;
    bool m_newData = false;
    bool m_resetPending = false;
    std::vector<int> m_events;

    std::string m_settings = "9600,N,8,1";
    int m_commPort = 1;
    bool m_rts = false;
    bool m_dtr = false;
    int m_handshaking = 0;
};

}  // namespace puolukka
