// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <ctime>
#include <string>

// "Now" and the pause, so the core never reads the wall clock or sleeps
// directly and tests stay exact and fast.
class Clock {
public:
    virtual ~Clock() = default;
    // The local date and time.
    virtual std::tm localNow() const = 0;
    // Sleeps without processing events (the busy-printer pause).
    virtual void sleepFor(std::chrono::milliseconds duration) = 0;
};

class SystemClock final : public Clock {
public:
    std::tm localNow() const override;
    void sleepFor(std::chrono::milliseconds duration) override;
};

// The system locale's short date, a blank, long time, as the C library's
// LC_TIME gives them ("%x %X"): 08/12/2026 14:05:09 under it_IT.
std::string dateTimeText(const std::tm& time);
// "yyyymmddnnss": year, month, day, minute, second (no hour).
std::string renewalStamp(const std::tm& time);
