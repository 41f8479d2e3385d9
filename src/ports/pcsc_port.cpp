#include "ports/pcsc_port.h"

#include <type_traits>

#include <winscard.h>

#include "ports/line_parameters.h"

namespace puolukka {

static_assert(std::is_same_v<SCARDCONTEXT, long> && std::is_same_v<SCARDHANDLE, long>,
              "the port keeps pcsc-lite's handles as long");

namespace {

constexpr const char* kPcscWord = "pcsc";

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

std::string lowerCase(std::string s)
{
    for (char& c : s)
        c = lowerAscii(c);
    return s;
}

std::string trimmed(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// TEXT of "pcsc:TEXT"; empty for "pcsc".
std::string filterOf(const std::string& device)
{
    return device.size() > 5 ? trimmed(device.substr(5)) : std::string();
}

// What a PC/SC result means to the user.
std::string pcscText(LONG rv)
{
    switch (rv) {
    case SCARD_E_NO_SERVICE:
        return "the PC/SC service is not running (is pcscd installed and started?)";
    case SCARD_E_SERVICE_STOPPED:
    case SCARD_F_COMM_ERROR:
    case SCARD_E_INVALID_HANDLE:
        return "the PC/SC service stopped";
    case SCARD_E_NO_READERS_AVAILABLE:
        return "no PC/SC reader is connected";
    case SCARD_E_UNKNOWN_READER:
    case SCARD_E_READER_UNAVAILABLE:
        return "the reader was removed";
    case SCARD_E_NO_SMARTCARD:
        return "no card in the reader";
    case SCARD_W_REMOVED_CARD:
        return "the card was removed";
    case SCARD_W_UNPOWERED_CARD:
        return "the card stays unpowered";
    case SCARD_W_UNRESPONSIVE_CARD:
        return "the card does not answer to reset";
    case SCARD_E_SHARING_VIOLATION:
        return "the card is in use by another program";
    case SCARD_E_PROTO_MISMATCH:
    case SCARD_W_UNSUPPORTED_CARD:
        return "the card speaks neither T=0 nor T=1";
    default:
        return std::string("PC/SC error: ") + pcsc_stringify_error(rv);
    }
}

// The reader or the whole service is gone: the port cannot go on.
bool readerGone(LONG rv)
{
    return rv == SCARD_E_NO_SERVICE || rv == SCARD_E_SERVICE_STOPPED || rv == SCARD_F_COMM_ERROR ||
           rv == SCARD_E_INVALID_HANDLE || rv == SCARD_E_UNKNOWN_READER || rv == SCARD_E_READER_UNAVAILABLE;
}

// The card is out of the reader; the reader itself is still there.
bool cardGone(LONG rv)
{
    return rv == SCARD_W_REMOVED_CARD || rv == SCARD_E_NO_SMARTCARD;
}

// Right after insertion pcscd is still powering the card up and a connect
// fails with "card is unpowered" for a moment: try again a few times.
template <class Call>
LONG retryWhileUnpowered(Clock& clock, Call call)
{
    LONG rv = call();
    for (int i = 0; i < PcscPort::kPowerUpRetries && rv == SCARD_W_UNPOWERED_CARD; ++i) {
        clock.sleepMs(PcscPort::kPowerUpRetryMs);
        rv = call();
    }
    return rv;
}

// The readers of a context with their card presence; false with *error when
// pcscd cannot be asked.
bool readersOf(SCARDCONTEXT context, std::vector<PcscReader>& readers, std::string* error)
{
    readers.clear();
    std::string names;
    LONG rv = SCARD_S_SUCCESS;
    // A reader plugged in between the two calls makes the list longer: ask again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD size = 0;
        rv = SCardListReaders(context, nullptr, nullptr, &size);
        if (rv != SCARD_S_SUCCESS)
            break;
        names.assign(size, '\0');
        rv = SCardListReaders(context, nullptr, names.data(), &size);
        if (rv != SCARD_E_INSUFFICIENT_BUFFER) {
            names.resize(size);
            break;
        }
    }
    if (rv == SCARD_E_NO_READERS_AVAILABLE)
        return true;
    if (rv != SCARD_S_SUCCESS) {
        if (error)
            *error = pcscText(rv);
        return false;
    }
    // A list of names, each ending in NUL, closed by an empty one.
    for (std::size_t pos = 0; pos < names.size() && names[pos] != '\0';) {
        const std::size_t end = names.find('\0', pos);
        readers.push_back(PcscReader{names.substr(pos, end - pos), false});
        if (end == std::string::npos)
            break;
        pos = end + 1;
    }
    std::vector<SCARD_READERSTATE> states(readers.size());
    for (std::size_t i = 0; i < readers.size(); ++i) {
        states[i].szReader = readers[i].name.c_str();
        states[i].dwCurrentState = SCARD_STATE_UNAWARE;
    }
    if (!states.empty() &&
        SCardGetStatusChange(context, 0, states.data(), DWORD(states.size())) == SCARD_S_SUCCESS) {
        for (std::size_t i = 0; i < readers.size(); ++i)
            readers[i].cardPresent = (states[i].dwEventState & SCARD_STATE_PRESENT) != 0;
    }
    return true;
}

std::string joinNames(const std::vector<PcscReader>& readers)
{
    std::string text;
    for (const PcscReader& r : readers)
        text += (text.empty() ? "" : ", ") + r.name;
    return text;
}

}  // namespace

bool listPcscReaders(std::vector<PcscReader>& readers, std::string* error)
{
    readers.clear();
    SCARDCONTEXT context = 0;
    const LONG rv = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context);
    if (rv != SCARD_S_SUCCESS) {
        if (error)
            *error = pcscText(rv);
        return false;
    }
    const bool ok = readersOf(context, readers, error);
    SCardReleaseContext(context);
    return ok;
}

bool isPcscDevice(const std::string& device)
{
    return lowerCase(device.substr(0, 4)) == kPcscWord && (device.size() == 4 || device[4] == ':');
}

int choosePcscReader(const std::string& device, const std::vector<PcscReader>& readers)
{
    const std::string filter = lowerCase(filterOf(device));
    if (filter.empty()) {
        for (std::size_t i = 0; i < readers.size(); ++i)
            if (readers[i].cardPresent)
                return int(i);
        return readers.empty() ? -1 : 0;
    }
    for (std::size_t i = 0; i < readers.size(); ++i)
        if (lowerCase(readers[i].name).find(filter) != std::string::npos)
            return int(i);
    return -1;
}

PcscPort::PcscPort(Clock& clock, std::string device)
    : m_clock(clock), m_device(std::move(device)), m_filter(filterOf(m_device))
{
}

PcscPort::~PcscPort()
{
    release();
}

std::string PcscPort::name() const
{
    return m_reader.empty() ? m_device : std::string(kPcscWord) + ": " + m_reader;
}

void PcscPort::release()
{
    dropCard();
    if (m_context != 0)
        SCardReleaseContext(m_context);
    m_context = 0;
    m_open = false;
}

void PcscPort::dropCard()
{
    // The card is left as it is: powering it down would make it forget its codes.
    if (m_card != 0)
        SCardDisconnect(m_card, SCARD_LEAVE_CARD);
    m_card = 0;
}

bool PcscPort::failPcsc(long rv, int number, const std::string& what)
{
    // With a context already made, "no service" means pcscd has gone since.
    if (rv == SCARD_E_NO_SERVICE)
        rv = SCARD_E_SERVICE_STOPPED;
    std::string text = name() + ": " + (what.empty() ? std::string() : what + ": ") + pcscText(rv);
    if (readerGone(rv)) {
        release();
        m_lostReason = pcscText(rv);
        text += "; the port was closed";
    }
    return fail(number, text);
}

bool PcscPort::failClosed(int number)
{
    if (!m_lostReason.empty())
        return fail(number, name() + ": " + m_lostReason + "; the port was closed");
    return fail(port_error::PortNotOpen, name() + ": port is not open");
}

bool PcscPort::setSettings(const std::string& text)
{
    // The reader runs the line to the card itself; a valid text is kept and that is all.
    std::string why;
    LineParameters parameters;
    if (!parseLineParameters(text, parameters, &why))
        return fail(port_error::InvalidSettings, why);
    m_settings = text;
    return true;
}

bool PcscPort::setCommPort(int number)
{
    if (number < 1)
        return fail(port_error::InvalidPortNumber, "Invalid port number");
    m_commPort = number;
    return true;
}

bool PcscPort::openContext()
{
    SCARDCONTEXT context = 0;
    const LONG rv = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context);
    if (rv != SCARD_S_SUCCESS)
        return fail(port_error::DeviceNotAvailable, m_device + ": " + pcscText(rv));
    m_context = context;
    return true;
}

void PcscPort::startAfresh()
{
    m_lostReason.clear();
    m_rx.clear();
    m_newData = false;
    m_events.clear();
    m_resetPending = false;
    m_gatherer.clear();
}

bool PcscPort::setPortOpen(bool open)
{
    if (!open) {
        release();
        startAfresh();
        return true;
    }
    if (m_open)
        return fail(port_error::PortAlreadyOpen, name() + ": port is already open");
    startAfresh();
    if (!openContext())
        return false;

    std::vector<PcscReader> readers;
    std::string why;
    if (!readersOf(m_context, readers, &why)) {
        release();
        return fail(port_error::DeviceNotAvailable, m_device + ": " + why);
    }
    const int chosen = choosePcscReader(m_device, readers);
    if (chosen < 0) {
        release();
        if (readers.empty())
            return fail(port_error::DeviceNotAvailable, m_device + ": no PC/SC reader is connected");
        return fail(port_error::DeviceNotAvailable, m_device + ": no PC/SC reader's name contains \"" + m_filter +
                                                        "\" (readers: " + joinNames(readers) + ")");
    }
    m_reader = readers[std::size_t(chosen)].name;
    m_cardPresent = readers[std::size_t(chosen)].cardPresent;
    m_readerState = SCARD_STATE_UNAWARE;
    m_open = true;
    // A card that is there but cannot be reached (in use elsewhere, mute) is
    // told now; an empty reader is no error: the card may come later.
    if (m_cardPresent && !connectCard()) {
        const PortError error = lastError();
        release();
        return fail(port_error::DeviceNotAvailable, error.description);
    }
    return true;
}

bool PcscPort::connectCard()
{
    // "pcsc" means the reader that holds a card: when the chosen one holds none
    // now, the first reader that does takes its place.
    if (m_filter.empty()) {
        std::vector<PcscReader> readers;
        if (readersOf(m_context, readers, nullptr)) {
            const int chosen = choosePcscReader(m_device, readers);
            if (chosen >= 0 && readers[std::size_t(chosen)].name != m_reader) {
                m_reader = readers[std::size_t(chosen)].name;
                m_readerState = SCARD_STATE_UNAWARE;
            }
        }
    }
    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    const auto connectWith = [&](DWORD protocols) {
        return retryWhileUnpowered(m_clock, [&] {
            return SCardConnect(m_context, m_reader.c_str(), SCARD_SHARE_SHARED, protocols, &card, &protocol);
        });
    };
    // T=0 is what a SIM speaks; a card that only has T=1 is taken with it (the
    // port works on whole APDUs either way).
    LONG rv = connectWith(SCARD_PROTOCOL_T0);
    if (rv == SCARD_E_PROTO_MISMATCH)
        rv = connectWith(SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1);
    if (rv != SCARD_S_SUCCESS)
        return failPcsc(rv, port_error::WriteFailed, "");
    m_card = card;
    m_protocol = protocol;
    return true;
}

bool PcscPort::ensureCard(bool reset)
{
    if (m_card != 0 && reset) {
        DWORD protocol = 0;
        const LONG rv = retryWhileUnpowered(m_clock, [&] {
            return SCardReconnect(m_card, SCARD_SHARE_SHARED, DWORD(m_protocol), SCARD_RESET_CARD, &protocol);
        });
        if (rv == SCARD_S_SUCCESS) {
            m_protocol = protocol;
            return true;
        }
        if (!cardGone(rv) && rv != SCARD_W_RESET_CARD)
            return failPcsc(rv, port_error::WriteFailed, "reset");
        dropCard();  // another card may be in by now: connect afresh below
    }
    if (m_card != 0)
        return true;
    if (!connectCard())
        return false;
    if (!reset)
        return true;
    DWORD protocol = 0;
    const LONG rv = retryWhileUnpowered(m_clock, [&] {
        return SCardReconnect(m_card, SCARD_SHARE_SHARED, DWORD(m_protocol), SCARD_RESET_CARD, &protocol);
    });
    if (rv != SCARD_S_SUCCESS) {
        dropCard();
        return failPcsc(rv, port_error::WriteFailed, "reset");
    }
    m_protocol = protocol;
    return true;
}

bool PcscPort::readAnswerToReset(std::string& atr)
{
    char readerName[MAX_READERNAME];
    DWORD nameLength = sizeof readerName;
    DWORD state = 0;
    DWORD protocol = 0;
    BYTE bytes[MAX_ATR_SIZE];
    DWORD length = sizeof bytes;
    const LONG rv = SCardStatus(m_card, readerName, &nameLength, &state, &protocol, bytes, &length);
    if (rv != SCARD_S_SUCCESS) {
        if (cardGone(rv))
            dropCard();
        return failPcsc(rv, port_error::ReadFailed, "answer to reset");
    }
    atr.assign(reinterpret_cast<const char*>(bytes), length);
    return true;
}

void PcscPort::runPendingReset()
{
    if (!m_resetPending || !m_open)
        return;
    m_resetPending = false;
    m_gatherer.clear();
    std::string atr;
    if (ensureCard(true) && readAnswerToReset(atr) && !atr.empty()) {
        m_rx += atr;
        m_newData = true;
    }
}

bool PcscPort::transmit(const std::string& apdu, std::string& response)
{
    if (!ensureCard(false))
        return false;
    const SCARD_IO_REQUEST* pci = m_protocol == SCARD_PROTOCOL_T1 ? SCARD_PCI_T1 : SCARD_PCI_T0;
    BYTE buffer[MAX_BUFFER_SIZE];
    DWORD length = sizeof buffer;
    const auto send = [&] {
        length = sizeof buffer;
        return SCardTransmit(m_card, pci, reinterpret_cast<const BYTE*>(apdu.data()), DWORD(apdu.size()), nullptr,
                             buffer, &length);
    };
    LONG rv = send();
    if (rv == SCARD_W_RESET_CARD) {
        // Reset behind the port's back (another program, or the card was taken
        // out and put back): go on with the card as it now is.
        DWORD protocol = 0;
        rv = SCardReconnect(m_card, SCARD_SHARE_SHARED, DWORD(m_protocol), SCARD_LEAVE_CARD, &protocol);
        if (rv == SCARD_S_SUCCESS) {
            m_protocol = protocol;
            rv = send();
        }
    }
    if (rv != SCARD_S_SUCCESS) {
        if (cardGone(rv))
            dropCard();
        return failPcsc(rv, port_error::WriteFailed, "");
    }
    if (length < 2) {
        // Not even a status word: the card went away under the command (vpcd
        // answers so when its card disconnects). Connect afresh next time.
        dropCard();
        return fail(port_error::WriteFailed, name() + ": the card gave no answer");
    }
    response.assign(reinterpret_cast<const char*>(buffer), length);
    return true;
}

bool PcscPort::output(const std::string& bytes)
{
    if (!m_open)
        return failClosed(port_error::WriteFailed);
    runPendingReset();
    if (!m_open)
        return failClosed(port_error::WriteFailed);
    // On a failure nothing of this write comes back, as from a vanished device.
    const std::size_t mark = m_rx.size();
    for (char c : bytes) {
        m_rx.push_back(c);  // the echo of the card's I/O line
        const T0CommandGatherer::Step step = m_gatherer.feed(static_cast<std::uint8_t>(c));
        if (step.kind == T0CommandGatherer::Step::Kind::Acknowledge) {
            if (!ensureCard(false)) {
                m_gatherer.clear();
                m_rx.resize(mark);
                return false;
            }
            m_rx.push_back(step.procedure);
        } else if (step.kind == T0CommandGatherer::Step::Kind::Transmit) {
            std::string response;
            if (!transmit(step.apdu, response)) {
                m_rx.resize(mark);
                return false;
            }
            m_rx += t0AnswerOf(m_gatherer.lastHeader(), response);
        }
    }
    if (m_rx.size() > mark)
        m_newData = true;
    return true;
}

std::string PcscPort::input()
{
    if (!m_open) {
        failClosed(port_error::ReadFailed);
        return {};
    }
    runPendingReset();
    std::string bytes = takeInput(m_rx);
    if (m_rx.empty())
        m_newData = false;
    return bytes;
}

int PcscPort::inBufferCount()
{
    if (!m_open) {
        failClosed(port_error::ReadFailed);
        return 0;
    }
    runPendingReset();
    return int(m_rx.size());
}

bool PcscPort::clearInBuffer()
{
    m_rx.clear();
    m_newData = false;
    return m_open || failClosed(port_error::ReadFailed);
}

int PcscPort::outBufferCount()
{
    // Every write is on its way to the card before output() returns.
    return 0;
}

bool PcscPort::clearOutBuffer()
{
    return m_open || failClosed(port_error::WriteFailed);
}

bool PcscPort::setRTSEnable(bool on)
{
    if (m_open && on != m_rts)
        m_resetPending = true;
    m_rts = on;
    return true;
}

bool PcscPort::setDTREnable(bool on)
{
    if (m_open && on != m_dtr)
        m_resetPending = true;
    m_dtr = on;
    return true;
}

bool PcscPort::setHandshaking(int mode)
{
    if (mode < 0 || mode > 3)
        return fail(port_error::InvalidValue, "Invalid property value: Handshaking");
    m_handshaking = mode;
    return true;
}

bool PcscPort::readerState(std::uint32_t& state)
{
    SCARD_READERSTATE reader{};
    reader.szReader = m_reader.c_str();
    reader.dwCurrentState = m_readerState;
    const LONG rv = SCardGetStatusChange(m_context, 0, &reader, 1);
    if (rv == SCARD_E_TIMEOUT) {
        state = m_readerState;
        return true;
    }
    if (rv != SCARD_S_SUCCESS)
        return failPcsc(rv, port_error::ReadFailed, "");
    if (reader.dwEventState & SCARD_STATE_UNKNOWN)
        return failPcsc(SCARD_E_UNKNOWN_READER, port_error::ReadFailed, "");
    m_readerState = std::uint32_t(reader.dwEventState & ~DWORD(SCARD_STATE_CHANGED));
    state = m_readerState;
    return true;
}

void PcscPort::refreshPresence()
{
    std::uint32_t state = 0;
    if (!readerState(state))
        return;
    const bool present = (state & SCARD_STATE_PRESENT) != 0;
    if (present == m_cardPresent)
        return;
    m_cardPresent = present;
    m_events.push_back(comm_event::Cd);
    if (!present)
        dropCard();
}

bool PcscPort::cdHolding()
{
    if (!m_open)
        return fail(port_error::PropertyOnlyWhenOpen, name() + ": port is not open");
    refreshPresence();
    return m_open && m_cardPresent;
}

bool PcscPort::ctsHolding()
{
    if (!m_open)
        return fail(port_error::PropertyOnlyWhenOpen, name() + ": port is not open");
    return true;
}

bool PcscPort::dsrHolding()
{
    if (!m_open)
        return fail(port_error::PropertyOnlyWhenOpen, name() + ": port is not open");
    return true;
}

std::vector<int> PcscPort::pollEvents()
{
    if (!m_open)
        return {};
    runPendingReset();
    if (m_open)
        refreshPresence();
    std::vector<int> events = std::move(m_events);
    m_events.clear();
    if (m_newData && rThreshold() > 0 && m_rx.size() >= std::size_t(rThreshold())) {
        events.push_back(comm_event::Receive);
        m_newData = false;
    }
    return events;
}

}  // namespace puolukka
