#include "app/clock.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <thread>

namespace puolukka {

void RealClock::sleepMs(int ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void RealClock::sleepUs(std::int64_t us)
{
    if (us > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(us));
}

std::int64_t RealClock::nowUs() const
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

double RealClock::timeOfDaySeconds() const
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    const double fraction =
        double(duration_cast<microseconds>(now.time_since_epoch()).count() % 1000000) / 1e6;
    return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + fraction;
}

double VirtualClock::timeOfDaySeconds() const
{
    return std::fmod(m_startTimeOfDay + double(m_nowUs) / 1e6, 86400.0);
}

}  // namespace puolukka
