// SPDX-License-Identifier: MIT
#include "ui/TrayIcon.h"

#include <QSystemTrayIcon>

TrayIcon::TrayIcon(const QIcon& icon, QObject* parent)
    : QObject(parent), m_icon(new QSystemTrayIcon(icon, this))
{
    hostAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    m_poll.setInterval(PollInterval);
    connect(&m_poll, &QTimer::timeout, this, &TrayIcon::checkHost);
    // No context menu: a right click on the icon does nothing.
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            emit leftClicked();
    });
}

void TrayIcon::setTip(const QString& tip)
{
    m_icon->setToolTip(tip);
}

QString TrayIcon::tip() const
{
    return m_icon->toolTip();
}

void TrayIcon::MettiInTray()
{
    m_wanted = true;
    if (hostAvailable()) {
        m_poll.stop();
        if (!m_icon->isVisible())
            m_icon->show();
    } else if (!m_poll.isActive()) {
        m_poll.start();
    }
}

void TrayIcon::TogliDaTray()
{
    m_wanted = false;
    m_poll.stop();
    m_icon->hide();
}

bool TrayIcon::isShown() const
{
    return m_wanted && m_icon->isVisible();
}

bool TrayIcon::isWaitingForHost() const
{
    return m_wanted && !m_icon->isVisible();
}

void TrayIcon::checkHost()
{
    if (!isWaitingForHost()) {
        m_poll.stop();
        return;
    }
    if (!hostAvailable())
        return;
    m_poll.stop();
    m_icon->show();
    emit hostAppeared();
}
