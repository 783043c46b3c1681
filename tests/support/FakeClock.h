// SPDX-License-Identifier: MIT
#pragma once

#include "core/Clock.h"

#include <chrono>
#include <ctime>

// A clock that stands still unless told otherwise; sleeping only adds to
// `slept` and moves every time on, so busy waits cost nothing in tests.
// advance() moves the times on without counting as a sleep.
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
        std::tm copy = now;
        wall = std::chrono::system_clock::from_time_t(std::mktime(&copy));
    }
    std::tm localNow() const override { return now; }
    std::chrono::system_clock::time_point wallNow() const override { return wall; }
    std::chrono::steady_clock::time_point steadyNow() const override
    {
        return std::chrono::steady_clock::time_point{} + std::chrono::hours(1) + slept + moved;
    }
    void sleepFor(std::chrono::milliseconds d) override
    {
        stillWorking();
        slept += d;
        wall += d;
        now.tm_sec += static_cast<int>(d.count() / 1000);
        std::mktime(&now);
    }
    void advance(std::chrono::milliseconds d)
    {
        moved += d;
        wall += d;
    }

    std::tm now{};
    // Set by a test whose files carry real time stamps.
    std::chrono::system_clock::time_point wall;
    std::chrono::milliseconds slept{0};
    std::chrono::milliseconds moved{0};
};
