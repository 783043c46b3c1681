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
    // Tray hosts cut long tips; the condition's first words are what matters.
    QString text = m_condition.left(200);
    if (m_condition.size() > 200)
        text += QStringLiteral("...");
    m_icon->setToolTip(m_caption + QStringLiteral("\nErrore in sospeso") +
                       (m_since.isEmpty() ? QString() : QStringLiteral(" dal ") + m_since) + QStringLiteral(":\n") +
                       text);
}

void TrayIcon::notify(const QString& title, const QString& text, bool warning)
{
    m_lastNotificationTitle = title;
    m_lastNotification = text;
    if (m_icon->isVisible() && QSystemTrayIcon::supportsMessages())
        m_icon->showMessage(title, text, warning ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information,
                            warning ? 10000 : 5000);
}

void TrayIcon::showErrorState(bool standing, const QString& condition, const QString& since, const QString& advice)
{
    const bool rises = standing && !m_error;
    const bool lifted = !standing && m_error;
    if (standing == m_error && (!standing || (condition == m_condition && since == m_since)))
        return;
    m_error = standing;
    m_condition = standing ? condition : QString();
    m_since = standing ? since : QString();
    m_icon->setIcon(standing ? m_errorIcon : m_normal);
    applyTip();
    if (rises)
        notify(condition.isEmpty() ? QStringLiteral("Errore") : condition, advice.isEmpty() ? condition : advice, true);
    else if (lifted)
        notify(QStringLiteral("Risolto"), advice.isEmpty() ? QStringLiteral("La stampa riprende.") : advice, false);
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
