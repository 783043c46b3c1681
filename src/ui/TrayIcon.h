// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

class QIcon;
class QSystemTrayIcon;

// The icon that stands for the hidden main window in the notification tray.
// When no tray host is running, the icon is remembered as wanted and a timer
// looks for a host every few seconds; the icon appears as soon as one does.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    static constexpr int PollInterval = 3000; // ms between looks for a tray host

    TrayIcon(const QIcon& icon, QObject* parent = nullptr);

    // The icon's tip: the main window's caption.
    void setTip(const QString& tip);
    QString tip() const;

    // MettiInTray: adds the icon. Adding it again keeps the one icon.
    void MettiInTray();
    // TogliDaTray: removes the icon and stops looking for a host.
    void TogliDaTray();

    // True while the icon stands in a tray.
    bool isShown() const;
    // True while the icon is asked for but no tray host runs.
    bool isWaitingForHost() const;

    // One look for a tray host; adds the waiting icon when one is there.
    void checkHost();

    // Whether a tray host runs now. Tests replace it.
    std::function<bool()> hostAvailable;

signals:
    // The operator released the left button on the icon.
    void leftClicked();
    // A tray host turned up while the icon was waiting for one.
    void hostAppeared();

private:
    QSystemTrayIcon* m_icon;
    QTimer m_poll;
    bool m_wanted = false;
};
