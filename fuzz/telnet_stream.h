// The two ends of an RFC 2217 connection as the fuzz targets see them: a
// socketpair, the Telnet stream that went over it taken apart, and well-formed
// pieces of stream made by the targets themselves.
#pragma once

#include <sys/socket.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_input.h"
#include "ports/rfc2217_protocol.h"

namespace puolukka::fuzz {

// A Telnet stream taken apart: its data, its commands one a line, and whether
// one of them asked to purge the data.
struct TelnetStream {
    std::string data;
    std::string commands;
    bool purged = false;
};

// Reads the stream in pieces of the given size (the whole stream in one when it is larger).
inline TelnetStream readTelnet(const std::string& bytes, std::size_t piece)
{
    rfc2217::TelnetReader reader;
    std::vector<rfc2217::TelnetItem> items;
    for (std::size_t pos = 0; pos < bytes.size(); pos += piece)
        reader.feed(bytes.data() + pos, std::min(piece, bytes.size() - pos), items);
    TelnetStream s;
    for (const auto& item : items) {
        if (item.kind == rfc2217::TelnetItem::Kind::Data)
            s.data += item.bytes;
        else
            s.commands += std::to_string(item.verb) + " " + std::to_string(item.option) + " " + item.bytes + "\n";
        if (item.kind == rfc2217::TelnetItem::Kind::Subnegotiation && item.option == rfc2217::kOptComPort &&
            !item.bytes.empty() && static_cast<unsigned char>(item.bytes[0]) == rfc2217::kPurgeData)
            s.purged = true;
    }
    return s;
}

inline TelnetStream readTelnet(const std::string& bytes) { return readTelnet(bytes, bytes.size() + 1); }

// True when the stream ends between commands: a byte sent after it is data.
inline bool endsClean(const std::string& bytes)
{
    return readTelnet(bytes + 'x').data == readTelnet(bytes).data + 'x';
}

// Doubles every FF, as every Telnet sender must (RFC 854). Written here on its
// own, so that the targets do not check the program's escaping against itself.
inline std::string doubleIac(const std::string& bytes)
{
    std::string out;
    for (const char c : bytes) {
        out += c;
        if (static_cast<unsigned char>(c) == 0xFF)
            out += c;
    }
    return out;
}

// A well-formed piece of Telnet stream from the input: data, an option command
// (WILL, WONT, DO, DONT), a subnegotiation (mostly COM-PORT-OPTION, RFC 2217) or
// a command of its own (SE, NOP ... GA). Appends the data it carries to `data`.
inline std::string telnetPiece(FuzzInput& in, std::string& data)
{
    switch (in.number(0, 3)) {
    case 0: {
        const std::string bytes = in.piece();
        data += bytes;
        return doubleIac(bytes);
    }
    case 1:
        return {'\xFF', char(in.number(0xFB, 0xFE)), char(in.byte())};
    case 2: {
        std::string body(1, in.flag() ? char(rfc2217::kOptComPort) : char(in.byte()));
        body += in.piece();
        return "\xFF\xFA" + doubleIac(body) + "\xFF\xF0";
    }
    default:
        return {'\xFF', char(in.number(0xF0, 0xF9))};
    }
}

// A connected pair of stream sockets: the program's end and the far end.
inline std::pair<int, int> socketPair()
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        std::abort();
    return {fds[0], fds[1]};
}

// Sends all of the bytes unless the other end has gone; true when all went.
inline bool sendAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

// Appends whatever is waiting on the socket, without waiting.
inline void drain(int fd, std::string& into)
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n <= 0)
            return;
        into.append(buffer, std::size_t(n));
    }
}

}  // namespace puolukka::fuzz
