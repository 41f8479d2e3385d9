#include "ports/posix_serial_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "ports/device_list.h"

namespace puolukka {

namespace {

constexpr char kEofCharacter = 26;
constexpr int kWriteWaitMs = 2000;  // how long a full output buffer may hold a write up

speed_t speedConstant(int speed)
{
    switch (speed) {
    case 110: return B110;
    case 150: return B150;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B9600;
    }
}

tcflag_t sizeFlag(int dataBits)
{
    switch (dataBits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
    }
}

// The driver answers these when the device simply has no modem lines or counters.
bool notSupported(int err)
{
    return err == ENOTTY || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP;
}

// The device is gone (adapter unplugged, other end of a pseudo-terminal closed).
bool deviceGone(int err)
{
    return err == EIO || err == ENXIO || err == ENODEV || err == EBADF;
}

}  // namespace

void LineMarkParser::feed(const char* data, std::size_t size, std::vector<Item>& out)
{
    for (std::size_t i = 0; i < size; ++i) {
        const auto byte = static_cast<unsigned char>(data[i]);
        switch (m_state) {
        case State::Plain:
            if (byte == 0xFF)
                m_state = State::SawFF;
            else
                out.push_back({byte, false});
            break;
        case State::SawFF:
            if (byte == 0xFF) {
                out.push_back({0xFF, false});
                m_state = State::Plain;
            } else if (byte == 0x00) {
                m_state = State::SawFF00;
            } else {
                // Not a marker the driver makes: keep both bytes as they came.
                out.push_back({0xFF, false});
                out.push_back({byte, false});
                m_state = State::Plain;
            }
            break;
        case State::SawFF00:
            out.push_back({byte, true});
            m_state = State::Plain;
            break;
        }
    }
}

PosixSerialPort::PosixSerialPort(std::string device) : m_device(std::move(device)) {}

PosixSerialPort::~PosixSerialPort()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool PosixSerialPort::failErrno(int number, const std::string& what, int err)
{
    return fail(number, what + ": " + std::strerror(err));
}

void PosixSerialPort::closeAfterFailure(const std::string& what, int err)
{
    fail(port_error::ReadFailed, what + ": " + std::strerror(err) + "; the port was closed");
    ::close(m_fd);
    m_fd = -1;
}

bool PosixSerialPort::applyLineSettings(const LineParameters& p, int handshaking)
{
    termios t{};
    if (::tcgetattr(m_fd, &t) != 0)
        return failErrno(port_error::InvalidSettings, "Cannot read the line settings of " + m_device, errno);

    // Raw bytes; parity and framing errors and breaks marked in the data (FF 00 x),
    // a data byte FF doubled, nothing stripped or translated.
    t.c_iflag = PARMRK;
    if (p.parity != 'N')
        t.c_iflag |= INPCK;
    if (handshaking & 1)
        t.c_iflag |= IXON | IXOFF;
    t.c_oflag = 0;
    t.c_lflag = 0;
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CREAD | CLOCAL | sizeFlag(p.dataBits);
    switch (p.parity) {
    case 'E': t.c_cflag |= PARENB; break;
    case 'O': t.c_cflag |= PARENB | PARODD; break;
    case 'M': t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 'S': t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    if (p.stopBits == 2)
        t.c_cflag |= CSTOPB;
    if (handshaking & 2)
        t.c_cflag |= CRTSCTS;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    ::cfsetispeed(&t, speedConstant(p.speed));
    ::cfsetospeed(&t, speedConstant(p.speed));
    if (::tcsetattr(m_fd, TCSANOW, &t) != 0) {
        const int err = errno;
        // A pseudo-terminal drops the parity bits; when nothing else was to change, the
        // C library calls that a rejected request. Everything but the parity is in force.
        termios now{};
        const tcflag_t parityBits = PARENB | PARODD | CMSPAR;
        if (err != EINVAL || ::tcgetattr(m_fd, &now) != 0 || now.c_iflag != t.c_iflag ||
            (now.c_cflag & ~parityBits) != (t.c_cflag & ~parityBits))
            return failErrno(port_error::InvalidSettings, "Cannot apply the line settings to " + m_device, err);
    }
    termios applied{};
    m_parityIgnored = p.parity != 'N' && ::tcgetattr(m_fd, &applied) == 0 && (applied.c_cflag & PARENB) == 0;
    return true;
}

bool PosixSerialPort::setSettings(const std::string& text)
{
    LineParameters params;
    std::string why;
    if (!parseLineParameters(text, params, &why))
        return fail(port_error::InvalidSettings, why);
    if (m_fd >= 0 && !applyLineSettings(params, m_handshaking))
        return false;
    m_params = params;
    m_settingsText = text;
    return true;
}

bool PosixSerialPort::setCommPort(int number)
{
    if (m_fd >= 0)
        return fail(port_error::PortAlreadyOpen, "Port already open");
    m_commPort = number;
    return true;
}

bool PosixSerialPort::setPortOpen(bool open)
{
    if (!open) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        m_buffer.clear();
        m_parser.reset();
        m_pending.clear();
        m_newData = false;
        m_sendWatch = false;
        return true;
    }
    if (m_fd >= 0)
        return fail(port_error::PortAlreadyOpen, "Port already open");

    const int fd = ::open(m_device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        std::string text = "Cannot open " + m_device + ": " + std::strerror(err);
        // Serial devices belong to a group (dialout on Debian): say how to join it.
        if (const std::string hint = err == EACCES ? accessProblem(m_device) : std::string(); !hint.empty())
            text += "\n" + hint;
        return fail(port_error::DeviceNotAvailable, text);
    }
    if (!::isatty(fd)) {
        ::close(fd);
        return fail(port_error::DeviceNotAvailable, m_device + " is not a serial device");
    }
    ::ioctl(fd, TIOCEXCL);  // keep other programs off the reader while we hold it; best effort
    m_fd = fd;
    if (!applyLineSettings(m_params, m_handshaking)) {
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    ::tcflush(m_fd, TCIFLUSH);

    m_buffer.clear();
    m_parser.reset();
    m_pending.clear();
    m_newData = false;
    m_sendWatch = false;
    m_noModemLines = false;
    m_noCounters = false;
    m_assigned = {};

    // Opening raises RTS and DTR by itself; put them where the properties say.
    // A device without modem lines is still usable for plain bytes.
    for (const auto& [bit, on] : {std::pair{TIOCM_RTS, m_rts}, std::pair{TIOCM_DTR, m_dtr}}) {
        int bits = bit;
        if (!m_noModemLines && ::ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &bits) != 0 && notSupported(errno))
            m_noModemLines = true;
    }
    m_countsValid = readErrorCounts(m_counts);
    m_lastModemBits = modemBits();
    return true;
}

bool PosixSerialPort::output(const std::string& bytes)
{
    if (m_fd < 0)
        return fail(port_error::PortNotOpen, "Port is not open");
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += std::size_t(n);
            continue;
        }
        const int err = n < 0 ? errno : EAGAIN;
        if (err == EINTR)
            continue;
        if (err == EAGAIN || err == EWOULDBLOCK) {
            pollfd pfd{m_fd, POLLOUT, 0};
            const int ready = ::poll(&pfd, 1, kWriteWaitMs);
            if (ready > 0)
                continue;
            if (ready < 0 && errno == EINTR)
                continue;
            return fail(port_error::WriteFailed,
                        "Writing to " + m_device + " timed out: the output buffer stays full (handshaking?)");
        }
        if (deviceGone(err)) {
            closeAfterFailure("Writing to " + m_device + " failed", err);
            m_sendWatch = false;
            return fail(port_error::WriteFailed, lastError().description);
        }
        return failErrno(port_error::WriteFailed, "Writing to " + m_device + " failed", err);
    }
    m_sendWatch = true;
    return true;
}

bool PosixSerialPort::drain()
{
    if (m_fd < 0)
        return false;
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
        if (n > 0) {
            acceptDriverBytes(chunk, std::size_t(n));
            continue;
        }
        if (n == 0) {
            // Nothing more waiting, or the device was hung up (unplugged adapter,
            // closed pseudo-terminal): a hung-up device reads as empty too.
            pollfd pfd{m_fd, POLLIN, 0};
            if (::poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                closeAfterFailure("Reading from " + m_device + " failed", EIO);
                return false;
            }
            return true;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return true;
        const int err = errno;
        if (deviceGone(err))
            closeAfterFailure("Reading from " + m_device + " failed", err);
        else
            failErrno(port_error::ReadFailed, "Reading from " + m_device + " failed", err);
        return false;
    }
}

void PosixSerialPort::acceptDriverBytes(const char* data, std::size_t size)
{
    std::vector<LineMarkParser::Item> items;
    m_parser.feed(data, size, items);
    for (const auto& item : items)
        takeItem(item);
}

void PosixSerialPort::takeItem(const LineMarkParser::Item& item)
{
    if (!item.marked) {
        m_buffer += char(item.value);
        m_newData = true;
        if (char(item.value) == kEofCharacter)
            m_pending.push_back(comm_event::Eof);
        return;
    }
    // A marked byte: the driver's counters tell a break from a parity or a
    // framing error. Without counters a marked 0 is taken for a break and
    // anything else for a parity error.
    enum class Kind { Break, Parity, Frame } kind = item.value == 0 ? Kind::Break : Kind::Parity;
    ErrorCounts now;
    if (m_countsValid && readErrorCounts(now)) {
        const int breaks = now.brk - m_counts.brk - m_assigned.brk;
        const int parity = now.parity - m_counts.parity - m_assigned.parity;
        const int frames = now.frame - m_counts.frame - m_assigned.frame;
        if (item.value == 0 && breaks > 0) {
            kind = Kind::Break;
            ++m_assigned.brk;
        } else if (parity > 0) {
            kind = Kind::Parity;
            ++m_assigned.parity;
        } else if (frames > 0) {
            kind = Kind::Frame;
            ++m_assigned.frame;
        }
    }
    switch (kind) {
    case Kind::Break:
        m_pending.push_back(comm_event::Break);  // a break carries no data
        break;
    case Kind::Parity:
        ++m_flagged;
        m_pending.push_back(comm_event::RxParity);
        m_buffer += parityReplace().empty() ? char(item.value) : parityReplace()[0];
        m_newData = true;
        break;
    case Kind::Frame:
        ++m_flagged;
        m_pending.push_back(comm_event::Frame);
        m_buffer += char(item.value);
        m_newData = true;
        break;
    }
}

std::string PosixSerialPort::input()
{
    if (m_fd < 0) {
        fail(port_error::PortNotOpen, "Port is not open");
        return {};
    }
    drain();
    return takeInput(m_buffer);
}

int PosixSerialPort::inBufferCount()
{
    if (m_fd < 0) {
        fail(port_error::PortNotOpen, "Port is not open");
        return 0;
    }
    if (!drain())
        return int(m_buffer.size());
    // What arrived after the read above is counted too; the next read takes it.
    int waiting = 0;
    if (::ioctl(m_fd, FIONREAD, &waiting) != 0 || waiting < 0)
        waiting = 0;
    return int(m_buffer.size()) + waiting;
}

bool PosixSerialPort::clearInBuffer()
{
    if (m_fd < 0)
        return fail(port_error::PortNotOpen, "Port is not open");
    m_buffer.clear();
    m_parser.reset();
    m_newData = false;
    if (::tcflush(m_fd, TCIFLUSH) != 0)
        return failErrno(port_error::ReadFailed, "Cannot empty the receive buffer of " + m_device, errno);
    return true;
}

int PosixSerialPort::outBufferCount()
{
    if (m_fd < 0) {
        fail(port_error::PortNotOpen, "Port is not open");
        return 0;
    }
    int queued = 0;
    if (::ioctl(m_fd, TIOCOUTQ, &queued) != 0) {
        failErrno(port_error::WriteFailed, "Cannot count the output waiting on " + m_device, errno);
        return 0;
    }
    return std::max(queued, 0);
}

bool PosixSerialPort::clearOutBuffer()
{
    if (m_fd < 0)
        return fail(port_error::PortNotOpen, "Port is not open");
    if (::tcflush(m_fd, TCOFLUSH) != 0)
        return failErrno(port_error::WriteFailed, "Cannot empty the transmit buffer of " + m_device, errno);
    return true;
}

bool PosixSerialPort::setModemLine(int bit, bool on, const char* name)
{
    if (m_fd < 0)
        return true;  // applied when the port opens
    const std::string what = std::string(name) + " cannot be set on " + m_device + " (no modem control lines)";
    if (m_noModemLines)
        return fail(port_error::LineControlFailed, what);
    int bits = bit;
    if (::ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &bits) != 0) {
        const int err = errno;
        if (notSupported(err)) {
            m_noModemLines = true;
            return failErrno(port_error::LineControlFailed, what, err);
        }
        return failErrno(port_error::LineControlFailed, std::string(name) + " cannot be set on " + m_device, err);
    }
    return true;
}

bool PosixSerialPort::setRTSEnable(bool on)
{
    m_rts = on;
    return setModemLine(TIOCM_RTS, on, "RTS");
}

bool PosixSerialPort::setDTREnable(bool on)
{
    m_dtr = on;
    return setModemLine(TIOCM_DTR, on, "DTR");
}

bool PosixSerialPort::setHandshaking(int mode)
{
    if (mode < 0 || mode > 3)
        return fail(port_error::InvalidValue, "Invalid property value: Handshaking");
    if (m_fd >= 0 && !applyLineSettings(m_params, mode))
        return false;
    m_handshaking = mode;
    return true;
}

int PosixSerialPort::modemBits()
{
    if (m_fd < 0 || m_noModemLines)
        return -1;
    int bits = 0;
    if (::ioctl(m_fd, TIOCMGET, &bits) != 0) {
        if (notSupported(errno))
            m_noModemLines = true;
        return -1;
    }
    return bits;
}

bool PosixSerialPort::cdHolding()
{
    if (m_fd < 0)
        return fail(port_error::PortNotOpen, "Port is not open");
    const int bits = modemBits();
    return bits >= 0 && (bits & TIOCM_CAR);
}

bool PosixSerialPort::ctsHolding()
{
    if (m_fd < 0)
        return fail(port_error::PortNotOpen, "Port is not open");
    const int bits = modemBits();
    return bits >= 0 && (bits & TIOCM_CTS);
}

bool PosixSerialPort::dsrHolding()
{
    if (m_fd < 0)
        return fail(port_error::PortNotOpen, "Port is not open");
    const int bits = modemBits();
    return bits >= 0 && (bits & TIOCM_DSR);
}

bool PosixSerialPort::readErrorCounts(ErrorCounts& counts)
{
    if (m_fd < 0 || m_noCounters)
        return false;
    serial_icounter_struct ic{};
    if (::ioctl(m_fd, TIOCGICOUNT, &ic) != 0) {
        if (notSupported(errno))
            m_noCounters = true;
        return false;
    }
    counts.cts = ic.cts;
    counts.dsr = ic.dsr;
    counts.rng = ic.rng;
    counts.dcd = ic.dcd;
    counts.frame = ic.frame;
    counts.overrun = ic.overrun + ic.buf_overrun;
    counts.parity = ic.parity;
    counts.brk = ic.brk;
    return true;
}

std::vector<int> PosixSerialPort::pollEvents()
{
    if (m_fd < 0)
        return {};
    drain();
    std::vector<int> found;
    found.swap(m_pending);
    if (m_fd < 0)
        return found;  // the device went away while reading; the error says so

    ErrorCounts now;
    if (m_countsValid && readErrorCounts(now)) {
        // Errors the marked bytes did not account for (and those that leave no mark).
        if (now.brk - m_counts.brk > m_assigned.brk)
            found.push_back(comm_event::Break);
        if (now.frame - m_counts.frame > m_assigned.frame)
            found.push_back(comm_event::Frame);
        if (now.parity - m_counts.parity > m_assigned.parity)
            found.push_back(comm_event::RxParity);
        if (now.overrun != m_counts.overrun)
            found.push_back(comm_event::Overrun);
        if (now.cts != m_counts.cts)
            found.push_back(comm_event::Cts);
        if (now.dsr != m_counts.dsr)
            found.push_back(comm_event::Dsr);
        if (now.dcd != m_counts.dcd)
            found.push_back(comm_event::Cd);
        if (now.rng != m_counts.rng)
            found.push_back(comm_event::Ring);
        m_counts = now;
        m_assigned = {};
    }

    const int bits = modemBits();
    if (bits >= 0) {
        if (m_lastModemBits >= 0) {
            const int changed = bits ^ m_lastModemBits;
            if (changed & TIOCM_CTS)
                found.push_back(comm_event::Cts);
            if (changed & TIOCM_DSR)
                found.push_back(comm_event::Dsr);
            if (changed & TIOCM_CAR)
                found.push_back(comm_event::Cd);
            if ((changed & TIOCM_RNG) && (bits & TIOCM_RNG))
                found.push_back(comm_event::Ring);
        }
        m_lastModemBits = bits;
    }

    if (m_newData && rThreshold() > 0 && m_buffer.size() >= std::size_t(rThreshold()))
        found.push_back(comm_event::Receive);
    m_newData = false;

    if (m_sendWatch && sThreshold() > 0) {
        int queued = 0;
        if (::ioctl(m_fd, TIOCOUTQ, &queued) != 0 || queued < sThreshold()) {
            found.push_back(comm_event::Send);
            m_sendWatch = false;
        }
    }

    // Each event once per poll: many parity errors in one burst are one parity
    // event, so the convention switches once, not once per byte.
    std::vector<int> unique;
    for (int e : found)
        if (std::find(unique.begin(), unique.end(), e) == unique.end())
            unique.push_back(e);
    return unique;
}

}  // namespace puolukka
