// SPDX-License-Identifier: MIT
#include "app/SystemdNotify.h"

#include "config/Text.h"
#include "core/Clock.h"
#include "core/SharedState.h"

#include <QtGlobal>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

SystemdNotify::SystemdNotify(const Clock& clock, QByteArray socketName, const QByteArray& watchdogUsec,
                             const QByteArray& watchdogPid)
    : m_clock(clock), m_socket(std::move(socketName))
{
    bool ok = false;
    const qulonglong usec = watchdogUsec.toULongLong(&ok);
    if (!ok || usec == 0 || m_socket.isEmpty())
        return;
    if (!watchdogPid.isEmpty()) {
        bool pidOk = false;
        if (watchdogPid.toLongLong(&pidOk) != ::getpid() || !pidOk)
            return;
    }
    m_watchdog = std::chrono::milliseconds(usec / 1000);
}

SystemdNotify SystemdNotify::fromEnvironment(const Clock& clock)
{
    return SystemdNotify(clock, qgetenv("NOTIFY_SOCKET"), qgetenv("WATCHDOG_USEC"), qgetenv("WATCHDOG_PID"));
}

bool SystemdNotify::send(const std::string& message) const
{
    if (m_socket.isEmpty())
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const bool abstract = m_socket.startsWith('@');
    if (static_cast<std::size_t>(m_socket.size()) >= sizeof address.sun_path || (m_socket[0] != '/' && !abstract))
        return false;
    std::memcpy(address.sun_path, m_socket.constData(), static_cast<std::size_t>(m_socket.size()));
    if (abstract)
        address.sun_path[0] = '\0';
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) +
                                               static_cast<std::size_t>(m_socket.size()));

    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    // Never waits: a manager that does not read its queue must not stop the
    // bridge; a message that does not fit is lost, the next one goes out.
    const ssize_t sent = ::sendto(fd, message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT,
                                  reinterpret_cast<const sockaddr*>(&address), length);
    ::close(fd);
    return sent == static_cast<ssize_t>(message.size());
}

void SystemdNotify::keepAlive()
{
    if (m_watchdog.count() <= 0)
        return;
    const auto now = m_clock.steadyNow();
    if (m_lastPing && now - *m_lastPing < m_watchdog / 4)
        return;
    m_lastPing = now;
    send("WATCHDOG=1");
}

std::string ServiceReporter::statusOf(const SharedState& state)
{
    if (!state.errorState)
        return "STATUS=In attesa di file";
    QString message = fromCp1252(state.lastErrorText.substr(0, 200));
    message.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    for (QChar& c : message)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    return "STATUS=Errore in sospeso: " + message.toStdString();
}

void ServiceReporter::report(const SharedState& state)
{
    if (!m_notify.enabled())
        return;
    std::string status = statusOf(state);
    if (!m_ready || status != m_status) {
        m_notify.send(m_ready ? status : "READY=1\n" + status);
        m_ready = true;
        m_status = std::move(status);
    }
    m_notify.keepAlive();
}
