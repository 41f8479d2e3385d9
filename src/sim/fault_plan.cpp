#include "sim/fault_plan.h"

#include <numeric>

namespace puolukka::sim {

namespace {

constexpr std::string_view kNames[kFaultKinds] = {
    "dropped byte", "flipped byte", "parity error", "NULL byte storm", "card removed", "card reset", "port gone",
};

}  // namespace

std::string_view faultName(Fault kind)
{
    const auto i = std::size_t(kind);
    return i < std::size(kNames) ? kNames[i] : std::string_view("?");
}

// SplitMix64: the same numbers from the same seed on every machine and
// standard library, which std::uniform_real_distribution does not promise.
std::uint64_t FaultPlan::next()
{
    std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

bool FaultPlan::strikes(Fault kind)
{
    const std::size_t i = index(kind);
    bool strike = false;
    if (m_forced[i] > 0) {
        strike = --m_forced[i] == 0;
    } else if (m_armed && m_chance[i] > 0) {
        strike = double(next() >> 11) * 0x1.0p-53 < m_chance[i];
    }
    m_injected[i] += strike;
    return strike;
}

std::int64_t FaultPlan::pick(std::int64_t low, std::int64_t high)
{
    if (high <= low)
        return low;
    return low + std::int64_t(next() % std::uint64_t(high - low + 1));
}

int FaultPlan::injectedTotal() const { return std::accumulate(m_injected.begin(), m_injected.end(), 0); }

}  // namespace puolukka::sim
