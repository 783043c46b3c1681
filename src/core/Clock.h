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
    // The wall time, to set against the time stamps of files.
    virtual std::chrono::system_clock::time_point wallNow() const = 0;
    // The steady time, for intervals (the service watchdog's pace).
    virtual std::chrono::steady_clock::time_point steadyNow() const = 0;
    // Sleeps without processing events (the busy-printer pause); tells
    // stillWorking() first.
    virtual void sleepFor(std::chrono::milliseconds duration) = 0;

    // The bridge is at work and not stuck: said between records, between
    // files, before every pause and in every slice of a printer wait, so a
    // service watchdog hears from it however long the work takes.
    void stillWorking()
    {
        if (onWorking)
            onWorking();
    }
    // May be empty.
    std::function<void()> onWorking;
};

class SystemClock final : public Clock {
public:
    std::tm localNow() const override;
    std::chrono::system_clock::time_point wallNow() const override;
    std::chrono::steady_clock::time_point steadyNow() const override;
    void sleepFor(std::chrono::milliseconds duration) override;
};

// The Italian short date, a blank, the long time, "dd/mm/yyyy hh:mm:ss"
// (08/12/2026 14:05:09), whatever locale the process runs under: the
// back-office reads the records' dates this way.
std::string dateTimeText(const std::tm& time);
// "yyyymmddnnss": year, month, day, minute, second (no hour).
std::string renewalStamp(const std::tm& time);
