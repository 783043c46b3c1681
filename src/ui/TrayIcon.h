// SPDX-License-Identifier: MIT
#pragma once

#include <QIcon>
#include <QObject>
#include <QTimer>

#include <functional>

class QSystemTrayIcon;

// The icon that stands for the hidden main window in the notification tray.
// When no tray host is running, the icon is remembered as wanted and a timer
// looks for a host every few seconds; the icon appears as soon as one does.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    static constexpr int PollInterval = 3000; // ms between looks for a tray host

    TrayIcon(const QIcon& icon, const QIcon& error, QObject* parent = nullptr);

    // The icon's tip: the main window's caption.
    void setTip(const QString& tip);
    QString tip() const;

    // MettiInTray: adds the icon. Adding it again keeps the one icon.
    void MettiInTray();
    // TogliDaTray: removes the icon and stops looking for a host.
    void TogliDaTray();

    // The state the icon shows: the program's icon and the caption while all
    // is well; while an error stands the error icon and a tip that names
    // the printer's condition in words and since when. When an error rises,
    // a notification titled with the condition says what to do (`advice`);
    // when it is lifted, one titled "Risolto" says what follows.
    void showErrorState(bool standing, const QString& condition, const QString& since = QString(),
                        const QString& advice = QString());
    bool showsError() const { return m_error; }
    // The icon and the notifications as the tray host got them, for tests.
    QIcon currentIcon() const;
    QString lastNotification() const { return m_lastNotification; }
    QString lastNotificationTitle() const { return m_lastNotificationTitle; }

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
    void applyTip();
    void notify(const QString& title, const QString& text, bool warning);

    QSystemTrayIcon* m_icon;
    QIcon m_normal, m_errorIcon;
    QString m_caption, m_condition, m_since, m_lastNotification, m_lastNotificationTitle;
    bool m_error = false;
    QTimer m_poll;
    bool m_wanted = false;
};
