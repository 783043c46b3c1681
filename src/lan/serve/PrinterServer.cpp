// SPDX-License-Identifier: MIT
#include "lan/serve/PrinterServer.h"

#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QHttpServerResponse>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

// Gives every connection a deadline: the HTTP server itself waits for a
// request's bytes for ever.
class GuardedTcpServer : public QTcpServer {
public:
    GuardedTcpServer(int deadlineMs, QObject* parent) : QTcpServer(parent), m_deadlineMs(deadlineMs) {}

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        QTimer::singleShot(m_deadlineMs, socket, [socket] { socket->abort(); });
        addPendingConnection(socket);
    }

private:
    int m_deadlineMs;
};

PrinterServer::PrinterServer(const std::filesystem::path& programDir, int requestDeadlineMs)
    : m_service(programDir), m_http(std::make_unique<QHttpServer>())
{
    m_tcp = new GuardedTcpServer(requestDeadlineMs, this);
    m_http->route(QStringLiteral("/cgi-bin/fpmate.cgi"),
                  [this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
                      answer(request, std::move(responder));
                  });
}

void PrinterServer::answer(const QHttpServerRequest& request, QHttpServerResponder&& responder)
{
    if (request.method() != QHttpServerRequest::Method::Post) {
        responder.write(QHttpServerResponder::StatusCode::MethodNotAllowed);
        return;
    }
    const QByteArray reply = m_service.handle(request.body());
    if (onRequest) {
        QString line = QStringLiteral("%1 bytes from %2 -> ")
                           .arg(request.body().size())
                           .arg(request.remoteAddress().toString());
        const qsizetype start = reply.indexOf("<response");
        line += QString::fromUtf8(reply.mid(start, reply.indexOf('>', start) - start + 1));
        if (!m_service.lastProblem().empty())
            line += QStringLiteral(" (") + QString::fromStdString(m_service.lastProblem()) + QLatin1Char(')');
        if (m_service.replyLost())
            line += QStringLiteral(" (reply lost: PerdiRisposta)");
        onRequest(line);
    }
    if (m_service.replyLost()) {
        // The document is printed; the client never hears of it.
        responder.socket()->abort();
        return;
    }
    responder.write(reply, QByteArrayLiteral("text/xml; charset=utf-8"));
}

PrinterServer::~PrinterServer() = default;

bool PrinterServer::listen(const QHostAddress& address, quint16 port)
{
    if (!m_tcp->listen(address, port)) {
        m_why = m_tcp->errorString();
        return false;
    }
    m_http->bind(m_tcp);
    m_port = m_tcp->serverPort();
    return true;
}

bool parseListen(const QString& text, QHostAddress* address, quint16* port, QString* why)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0) {
        *why = QStringLiteral("--listen needs HOST:PORT, e.g. 127.0.0.1:8080");
        return false;
    }
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    bool ok = false;
    const uint p = text.mid(colon + 1).toUInt(&ok);
    if (!ok || p > 65535) {
        *why = QStringLiteral("--listen: bad port \"%1\"").arg(text.mid(colon + 1));
        return false;
    }
    if (host == QLatin1String("localhost"))
        host = QStringLiteral("127.0.0.1");
    if (!address->setAddress(host)) {
        *why = QStringLiteral("--listen: \"%1\" is not an IP address").arg(host);
        return false;
    }
    *port = quint16(p);
    return true;
}
