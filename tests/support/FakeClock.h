// SPDX-License-Identifier: MIT
#pragma once

#include "core/Clock.h"

#include <chrono>
#include <ctime>

// A clock that stands still unless told otherwise; sleeping only adds to
// `slept` and moves both times on, so busy waits cost nothing in tests.
class FakeClock : public Clock {
public:
    FakeClock()
    {
        now.tm_year = 2026 - 1900;
        now.tm_mon = 11;
        now.tm_mday = 8;
        now.tm_hour = 14;
        now.tm_min = 5;
        now.tm_sec = 9;
        now.tm_isdst = -1;
    }
    std::tm localNow() const override { return now; }
    std::chrono::steady_clock::time_point steadyNow() const override
    {
        return std::chrono::steady_clock::time_point{} + std::chrono::hours(1) + slept;
    }
    void sleepFor(std::chrono::milliseconds d) override
    {
        stillWorking();
        slept += d;
        now.tm_sec += static_cast<int>(d.count() / 1000);
        std::mktime(&now);
    }

    std::tm now{};
    std::chrono::milliseconds slept{0};
};
