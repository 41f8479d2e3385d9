#pragma once

#include <functional>

#include "app/clock.h"

namespace puolukka::test {

// Virtual time whose every sleep also runs something else (a device server in
// the same thread), so a port waiting for the server's answers makes progress.
class PumpingClock final : public Clock {
public:
    PumpingClock(VirtualClock& base, std::function<void()> onSleep) : m_base(base), m_onSleep(std::move(onSleep)) {}
    void sleepMs(int ms) override { m_base.sleepMs(ms), m_onSleep(); }
    void sleepUs(std::int64_t us) override { m_base.sleepUs(us), m_onSleep(); }
    std::int64_t nowUs() const override { return m_base.nowUs(); }
    double timeOfDaySeconds() const override { return m_base.timeOfDaySeconds(); }

private:
    VirtualClock& m_base;
    std::function<void()> m_onSleep;
};

}  // namespace puolukka::test
