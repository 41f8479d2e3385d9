#pragma once

#include <functional>

#include "app/clock.h"

namespace puolukka::test {

// Virtual time whose every sleep also runs something else (a device server in
// the same thread), so a port waiting for the server's answers makes progress.
// With a step, a sleep runs it once per step of virtual time, as a server of
// its own would keep running while the program waits.
class PumpingClock final : public Clock {
public:
    PumpingClock(VirtualClock& base, std::function<void()> onSleep, std::int64_t stepUs = 0)
        : m_base(base), m_onSleep(std::move(onSleep)), m_stepUs(stepUs)
    {
    }
    void sleepMs(int ms) override { sleepUs(std::int64_t(ms) * 1000); }
    void sleepUs(std::int64_t us) override
    {
        for (std::int64_t left = us; m_stepUs > 0 && left > m_stepUs; left -= m_stepUs)
            m_base.sleepUs(m_stepUs), us -= m_stepUs, m_onSleep();
        m_base.sleepUs(us), m_onSleep();
    }
    std::int64_t nowUs() const override { return m_base.nowUs(); }
    double timeOfDaySeconds() const override { return m_base.timeOfDaySeconds(); }

private:
    VirtualClock& m_base;
    std::function<void()> m_onSleep;
    std::int64_t m_stepUs;
};

}  // namespace puolukka::test
