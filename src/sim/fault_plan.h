#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace puolukka::sim {

// The faults of real lines, cards and adapters that the virtual reader can be
// made to suffer (VirtualReaderPort::setFaultPlan).
enum class Fault {
    DroppedByte,  // a character never arrives (noise ate its start bit): neither echo nor card sees it
    FlippedByte,  // one data bit of a character is flipped, so its parity bit no longer fits
    ParityError,  // the parity bit alone is flipped: the character is intact, but flagged
    NullStorm,    // the card sends a long run of NULL bytes (60) before an answer
    CardRemoved,  // the card is pulled out of the reader and pushed back in a moment later
    CardReset,    // the card resets by itself (a dip in its supply) and sends its answer-to-reset again
    PortGone,     // the USB serial adapter is pulled out: the port closes and cannot be opened until it is back
};
inline constexpr int kFaultKinds = 7;

std::string_view faultName(Fault kind);

// A seeded, deterministic schedule of faults. The reader asks it at every
// opportunity whether a fault strikes: for the byte faults and the sudden ones
// (card removed, card reset, port gone) at each character on the line, either
// way; for NULL storms at each answer of the card. The same seed and the same
// program give the same faults at the same characters, so a run can be replayed.
class FaultPlan {
public:
    explicit FaultPlan(std::uint64_t seed = 1) : m_state(seed) {}

    // The chance of the fault at each of its opportunities (0 to 1).
    void setChance(Fault kind, double chance) { m_chance[index(kind)] = chance; }
    // Faults strike only while the plan is armed. What a fault set going (a
    // card to be pushed back, an adapter to come back) still follows.
    void arm(bool armed) { m_armed = armed; }
    bool armed() const { return m_armed; }
    // The fault strikes once at its opportunity after the next skip ones, armed
    // or not (for tests: skip = 7 with a header written hits its 3rd answer byte).
    void strikeNext(Fault kind, int skip = 0) { m_forced[index(kind)] = skip + 1; }

    // For the reader: whether the fault strikes at this opportunity; counted when it does.
    bool strikes(Fault kind);
    // A whole number from low to high, from the same schedule: how long a storm
    // is, which bit flips, when a card comes back.
    std::int64_t pick(std::int64_t low, std::int64_t high);

    // How many of the fault have struck so far.
    int injected(Fault kind) const { return m_injected[index(kind)]; }
    int injectedTotal() const;

private:
    static std::size_t index(Fault kind) { return std::size_t(kind); }
    std::uint64_t next();

    std::uint64_t m_state;
    std::array<double, kFaultKinds> m_chance{};
    std::array<int, kFaultKinds> m_injected{};
    std::array<int, kFaultKinds> m_forced{};  // opportunities until a forced strike; 0: none
    bool m_armed = true;
};

}  // namespace puolukka::sim
