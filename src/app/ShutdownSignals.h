// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

#include <csignal>

class QSocketNotifier;

// SIGTERM and SIGINT as a Qt signal on the main thread (SIGHUP as
// reloadRequested, for `systemctl reload` and `kill -HUP`), so the bridge ends
// through its normal exit path once the running tick is done. The handler
// only writes the signal's number into a pipe (self-pipe); everything else
// happens in the event loop. One instance at a time; the previous handlers
// come back when it is destroyed.
class ShutdownSignals : public QObject {
    Q_OBJECT
public:
    explicit ShutdownSignals(QObject* parent = nullptr);
    ~ShutdownSignals() override;

    // False when the pipe or the handlers could not be set up.
    bool installed() const { return m_installed; }

signals:
    void received(int signalNumber);
    void reloadRequested();

private:
    void drain();

    QSocketNotifier* m_notifier = nullptr;
    struct sigaction m_previousTerm {};
    struct sigaction m_previousInt {};
    struct sigaction m_previousHup {};
    bool m_installed = false;
};
