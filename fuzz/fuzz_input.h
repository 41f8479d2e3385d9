// Helpers shared by the fuzz targets: taking one input apart into the values a
// target needs, and a scratch folder for targets that go through real files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace puolukka::fuzz {

// Reads an input from the front: small numbers, flags and byte runs. A used-up
// input reads as zeros and empty runs, so every input is a valid one.
class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    bool empty() const { return m_pos >= m_size; }
    std::size_t left() const { return m_size - m_pos; }

    std::uint8_t byte() { return empty() ? 0 : m_data[m_pos++]; }
    bool flag() { return (byte() & 1) != 0; }
    // A number from low to high (inclusive), from one byte, or two for a wider range.
    int number(int low, int high)
    {
        const unsigned span = unsigned(high - low) + 1;
        unsigned value = byte();
        if (span > 256)
            value = (value << 8) | byte();
        return low + int(value % span);
    }
    // Up to n bytes.
    std::string bytes(std::size_t n)
    {
        n = n < left() ? n : left();
        std::string out(reinterpret_cast<const char*>(m_data + m_pos), n);
        m_pos += n;
        return out;
    }
    // A length byte, then that many bytes.
    std::string piece() { return bytes(byte()); }
    std::string rest() { return bytes(left()); }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

// A folder of this process under the temporary folder ($TMPDIR, else /tmp),
// made on first use and removed when the process ends normally. Targets that
// read or write real files do it only here.
inline const std::filesystem::path& scratchFolder()
{
    static const std::filesystem::path folder = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/puolukka_fuzz_XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(scratchFolder(), ignored);
        });
        return std::filesystem::path(pattern);
    }();
    return folder;
}

inline void writeFile(const std::filesystem::path& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out.flush()) {
        std::perror(path.c_str());
        std::abort();
    }
}

inline std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Ends the run loudly when a property does not hold; the fuzzer keeps the input.
inline void check(bool holds, const char* what)
{
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

}  // namespace puolukka::fuzz
