#pragma once

#include <cstdint>

namespace puolukka {

// Every wait of the program goes through a clock, so that tests can run a
// 250-record phonebook transfer in virtual time, without sleeping.
class Clock {
public:
    virtual ~Clock() = default;
    // Blocks the calling thread for ms milliseconds (nothing else runs meanwhile).
    virtual void sleepMs(int ms) = 0;
    // Blocks for us microseconds; the phonebook loops poll the port in small steps.
    virtual void sleepUs(std::int64_t us) = 0;
    // A monotonic time in microseconds; the virtual card times its bytes by it.
    virtual std::int64_t nowUs() const = 0;
    // Seconds since midnight, as the shutdown deadline wants them.
    virtual double timeOfDaySeconds() const = 0;
};

// The machine's own clock.
class RealClock final : public Clock {
public:
    void sleepMs(int ms) override;
    void sleepUs(std::int64_t us) override;
    std::int64_t nowUs() const override;
    double timeOfDaySeconds() const override;
};

// Time that passes only when someone sleeps: sleeping advances it at once.
class VirtualClock final : public Clock {
public:
    explicit VirtualClock(double startTimeOfDay = 12 * 3600.0) : m_startTimeOfDay(startTimeOfDay) {}
    void sleepMs(int ms) override { if (ms > 0) m_nowUs += std::int64_t(ms) * 1000; }
    void sleepUs(std::int64_t us) override { if (us > 0) m_nowUs += us; }
    std::int64_t nowUs() const override { return m_nowUs; }
    double timeOfDaySeconds() const override;
    void advanceUs(std::int64_t us) { m_nowUs += us; }

private:
    double m_startTimeOfDay;
    std::int64_t m_nowUs = 0;
};

}  // namespace puolukka
