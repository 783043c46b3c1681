// SPDX-License-Identifier: MIT
#include "errors/Clock.h"

#include <thread>

std::tm SystemClock::localNow() const
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

void SystemClock::sleepFor(std::chrono::milliseconds duration)
{
    std::this_thread::sleep_for(duration);
}

std::string dateTimeText(const std::tm& time)
{
    char buffer[128];
    const size_t n = std::strftime(buffer, sizeof buffer, "%x %X", &time);
    return std::string(buffer, n);
}

std::string renewalStamp(const std::tm& time)
{
    char buffer[32];
    const size_t n = std::strftime(buffer, sizeof buffer, "%Y%m%d%M%S", &time);
    return std::string(buffer, n);
}
