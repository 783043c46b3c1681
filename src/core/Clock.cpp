// SPDX-License-Identifier: MIT
#include "core/Clock.h"

#include <algorithm>
#include <cstdio>
#include <thread>

std::tm SystemClock::localNow() const
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

std::chrono::system_clock::time_point SystemClock::wallNow() const
{
    return std::chrono::system_clock::now();
}

std::chrono::steady_clock::time_point SystemClock::steadyNow() const
{
    return std::chrono::steady_clock::now();
}

void SystemClock::sleepFor(std::chrono::milliseconds duration)
{
    stillWorking();
    std::this_thread::sleep_for(duration);
}

std::string dateTimeText(const std::tm& time)
{
    // Numbers only, never the C library's locale: a till whose Italian locale
    // is not generated would otherwise write month first with a two-digit
    // year, which the back-office reads as another day.
    char buffer[64];
    const int n = std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d %02d:%02d:%02d", time.tm_mday, time.tm_mon + 1,
                                time.tm_year + 1900, time.tm_hour, time.tm_min, time.tm_sec);
    return n > 0 ? std::string(buffer, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buffer - 1))
                 : std::string();
}

std::string renewalStamp(const std::tm& time)
{
    char buffer[32];
    const size_t n = std::strftime(buffer, sizeof buffer, "%Y%m%d%M%S", &time);
    return std::string(buffer, n);
}
