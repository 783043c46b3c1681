// SPDX-License-Identifier: MIT
#include "ui/TrayIcon.h"

#include <QSystemTrayIcon>

TrayIcon::TrayIcon(const QIcon& icon, const QIcon& error, QObject* parent)
    : QObject(parent), m_icon(new QSystemTrayIcon(icon, this)), m_normal(icon), m_errorIcon(error)
{
    hostAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    m_poll.setInterval(PollInterval);
    connect(&m_poll, &QTimer::timeout, this, &TrayIcon::checkHost);
    // No context menu: a right click on the icon does nothing.
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            emit leftClicked();
    });
    // The error's notification covers the icon for a while; a click on it
    // is the operator reaching for the window all the same.
    connect(m_icon, &QSystemTrayIcon::messageClicked, this, &TrayIcon::leftClicked);
}

void TrayIcon::setTip(const QString& tip)
{
    m_caption = tip;
    applyTip();
}

void TrayIcon::applyTip()
{
    if (!m_error) {
        m_icon->setToolTip(m_caption);
        return;
    }
    // Tray hosts cut long tips; the error's first lines are what matters.
    QString text = m_errorText.left(240);
    if (m_errorText.size() > 240)
        text += QStringLiteral("...");
    m_icon->setToolTip(m_caption + QStringLiteral("\nErrore in sospeso:\n") + text);
}

void TrayIcon::showErrorState(bool standing, const QString& errorText)
{
    const bool rises = standing && !m_error;
    if (standing == m_error && (!standing || errorText == m_errorText))
        return;
    m_error = standing;
    m_errorText = standing ? errorText : QString();
    m_icon->setIcon(standing ? m_errorIcon : m_normal);
    applyTip();
    if (rises) {
        m_lastNotification = m_errorText;
        if (m_icon->isVisible() && QSystemTrayIcon::supportsMessages())
            m_icon->showMessage(m_caption, m_errorText, QSystemTrayIcon::Warning, 10000);
    }
}

QIcon TrayIcon::currentIcon() const
{
    return m_icon->icon();
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
