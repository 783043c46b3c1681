// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <ctime>
#include <functional>
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

    // Runs before every pause: the busy wait blocks the event loop, and a
    // service watchdog must hear from the bridge meanwhile. May be empty.
    std::function<void()> onWait;
};

// The Italian short date, a blank, the long time, "dd/mm/yyyy hh:mm:ss"
// (08/12/2026 14:05:09), whatever locale the process runs under: the
// back-office reads the records' dates this way.
std::string dateTimeText(const std::tm& time);
// "yyyymmddnnss": year, month, day, minute, second (no hour).
std::string renewalStamp(const std::tm& time);
