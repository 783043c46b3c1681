// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

#include <chrono>
#include <optional>
#include <string>

class Clock;
struct SharedState;

// The service manager's notification protocol, for the user unit's
// Type=notify and WatchdogSec=: datagrams such as "READY=1", "STATUS=..."
// and "WATCHDOG=1" sent to the socket named in NOTIFY_SOCKET (a path, or an
// abstract name written with a leading "@"). Without NOTIFY_SOCKET every
// call does nothing, so the bridge runs the same outside systemd.
class SystemdNotify {
public:
    // `socketName` and the watchdog's `watchdogUsec` and `watchdogPid` as
    // the environment gives them (NOTIFY_SOCKET, WATCHDOG_USEC, WATCHDOG_PID).
    // keepAlive() paces itself by the steady time of `clock` (the bridge's,
    // so tests move it).
    SystemdNotify(const Clock& clock, QByteArray socketName, const QByteArray& watchdogUsec,
                  const QByteArray& watchdogPid);
    // From the process environment.
    static SystemdNotify fromEnvironment(const Clock& clock);

    bool enabled() const { return !m_socket.isEmpty(); }
    // Sends one message; false when there is no socket or the send failed.
    bool send(const std::string& message) const;

    // The watchdog's period for this process; zero when no watchdog is asked
    // for (or it is meant for another process).
    std::chrono::milliseconds watchdogInterval() const { return m_watchdog; }
    // "WATCHDOG=1", at most once per quarter of the period: safe to call
    // from every wait, however often.
    void keepAlive();

private:
    const Clock& m_clock;
    QByteArray m_socket;
    std::chrono::milliseconds m_watchdog{0};
    std::optional<std::chrono::steady_clock::time_point> m_lastPing;
};

// What the service manager hears from the bridge: "READY=1" with the first
// report (after the first tick), then "STATUS=" each time the error state
// changes, and the watchdog on every report.
class ServiceReporter {
public:
    explicit ServiceReporter(SystemdNotify& notify) : m_notify(notify) {}
    void report(const SharedState& state);

    // The STATUS= text for a state: idle, or the standing error's text on
    // one line.
    static std::string statusOf(const SharedState& state);

private:
    SystemdNotify& m_notify;
    bool m_ready = false;
    std::string m_status;
};
