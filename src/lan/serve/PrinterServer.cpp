// SPDX-License-Identifier: MIT
#include "lan/serve/PrinterServer.h"

#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QHttpServerResponse>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <sys/socket.h>
#include <optional>

namespace {

// The largest request body taken: a receipt of thousands of lines is a few
// hundred kilobytes.
constexpr qint64 MaxBodyBytes = 1024 * 1024;
// The largest request line and headers taken.
constexpr qsizetype MaxHeadBytes = 16 * 1024;

bool allDigits(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 18)
        return false;
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

} // namespace

// Reads one connection's bytes ahead of the HTTP server, which holds a whole
// request in memory before it looks at it and keeps a connection for as
// long as the client likes. From the request line and headers alone it
// refuses a body over MaxBodyBytes (413), a body without a length (411) and
// headers without end (431), before any of the body is read; it closes the
// connection once the reply to a request that asked for it (Connection:
// close, or HTTP/1.0 without keep-alive) is written; and it drops a
// connection that has not brought a whole request within the deadline,
// counted from the connection or from the last reply.
//
// Its slot is connected before the server's, which reads all that is there
// each time: so the bytes it finds at each call are new ones.
class RequestGuard : public QObject {
public:
    RequestGuard(QTcpSocket* socket, int deadlineMs, const std::function<void(const QString&)>& notice)
        : QObject(socket), m_socket(socket), m_notice(notice)
    {
        m_deadline.setSingleShot(true);
        m_deadline.setInterval(deadlineMs);
        connect(&m_deadline, &QTimer::timeout, socket, &QTcpSocket::abort);
        connect(socket, &QTcpSocket::readyRead, this, &RequestGuard::bytesArrived);
        connect(socket, &QTcpSocket::bytesWritten, this, &RequestGuard::bytesWritten);
        m_deadline.start();
    }

private:
    enum class Phase { Head, Body, Answering };

    void bytesArrived()
    {
        if (m_refused) {
            m_socket->readAll();
            return;
        }
        const qint64 available = m_socket->bytesAvailable();
        qint64 offset = 0;
        while (offset < available && !m_refused) {
            if (m_phase == Phase::Body) {
                // A body passes to the server uncopied; only counted.
                const qint64 n = std::min(m_remaining, available - offset);
                m_remaining -= n;
                offset += n;
                if (m_remaining == 0)
                    whole();
                continue;
            }
            if (m_phase == Phase::Answering) {
                // The next request, sent before this reply went out.
                m_phase = Phase::Head;
            }
            const qint64 want = std::min<qint64>(available - offset, MaxHeadBytes + 4 - m_head.size());
            const QByteArray chunk = m_socket->peek(offset + want).mid(offset);
            const qsizetype from = std::max<qsizetype>(0, m_head.size() - 3);
            m_head += chunk;
            const qsizetype end = m_head.indexOf("\r\n\r\n", from);
            if (end < 0) {
                offset += chunk.size();
                if (m_head.size() > MaxHeadBytes)
                    refuse("431 Request Header Fields Too Large", "request headers over 16 KB");
                continue;
            }
            offset += chunk.size() - (m_head.size() - (end + 4));
            m_head.truncate(end);
            readHead();
            m_head.clear();
        }
    }

    void readHead()
    {
        QList<QByteArray> lines = m_head.split('\n');
        for (QByteArray& line : lines)
            line = line.trimmed();
        while (!lines.isEmpty() && lines.front().isEmpty())
            lines.removeFirst(); // blank lines before a request are allowed
        if (lines.isEmpty())
            return refuse("400 Bad Request", "empty request");
        const bool http10 = lines.front().endsWith(" HTTP/1.0");
        bool close = false, keepAlive = false, chunked = false;
        std::optional<qint64> length;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon <= 0)
                return refuse("400 Bad Request", "header line without a name");
            const QByteArray name = lines[i].left(colon).trimmed().toLower();
            const QByteArray value = lines[i].mid(colon + 1).trimmed();
            if (name == "content-length") {
                if (!allDigits(value) || (length && *length != value.toLongLong()))
                    return refuse("400 Bad Request", "bad Content-Length");
                length = value.toLongLong();
            } else if (name == "transfer-encoding") {
                chunked = true;
            } else if (name == "connection") {
                for (const QByteArray& token : value.toLower().split(',')) {
                    close = close || token.trimmed() == "close";
                    keepAlive = keepAlive || token.trimmed() == "keep-alive";
                }
            }
        }
        if (chunked)
            return refuse("411 Length Required", "a body without Content-Length");
        if (length.value_or(0) > MaxBodyBytes)
            return refuse("413 Payload Too Large", "a body of " + QString::number(*length) + " bytes, over 1 MB");
        m_closeAfterReply = m_closeAfterReply || close || (http10 && !keepAlive);
        m_remaining = length.value_or(0);
        m_phase = Phase::Body;
        if (m_remaining == 0)
            whole();
    }

    // The request is in: the server answers it now, however long it takes.
    void whole()
    {
        m_phase = Phase::Answering;
        m_deadline.stop();
    }

    void bytesWritten()
    {
        if (m_refused) {
            // The refusal is out: the server's side is closed, and what the
            // client still sends is read and thrown away until it closes
            // its own (or the deadline), so it reads the refusal instead
            // of a reset.
            if (m_socket->bytesToWrite() == 0)
                ::shutdown(int(m_socket->socketDescriptor()), SHUT_WR);
            return;
        }
        if (m_phase != Phase::Answering || m_socket->bytesToWrite() > 0)
            return;
        // The reply is out.
        if (m_closeAfterReply) {
            m_socket->disconnectFromHost();
            return;
        }
        m_phase = Phase::Head;
        m_deadline.start();
    }

    // Answers with `status` and closes; the HTTP server never sees this
    // request, and none of its body is kept.
    void refuse(const QByteArray& status, const QString& why)
    {
        m_refused = true;
        const QByteArray text = status + "\n";
        m_socket->write("HTTP/1.1 " + status + "\r\nContent-Type: text/plain\r\nContent-Length: " +
                        QByteArray::number(text.size()) + "\r\nConnection: close\r\n\r\n" + text);
        m_socket->readAll();
        m_deadline.start();
        if (m_notice)
            m_notice(QStringLiteral("refused from %1: %2 (%3)")
                         .arg(m_socket->peerAddress().toString(), QString::fromLatin1(status), why));
    }

    QTcpSocket* m_socket;
    const std::function<void(const QString&)>& m_notice;
    QTimer m_deadline;
    Phase m_phase = Phase::Head;
    QByteArray m_head;
    qint64 m_remaining = 0;
    bool m_closeAfterReply = false;
    bool m_refused = false;
};

class GuardedTcpServer : public QTcpServer {
public:
    GuardedTcpServer(int deadlineMs, const std::function<void(const QString&)>& notice, QObject* parent)
        : QTcpServer(parent), m_deadlineMs(deadlineMs), m_notice(notice)
    {}

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        // Before the HTTP server connects its own reader.
        new RequestGuard(socket, m_deadlineMs, m_notice);
        addPendingConnection(socket);
    }

private:
    int m_deadlineMs;
    const std::function<void(const QString&)>& m_notice;
};

PrinterServer::PrinterServer(const std::filesystem::path& programDir, Clock& clock, int requestDeadlineMs)
    : m_service(programDir, clock), m_http(std::make_unique<QHttpServer>())
{
    m_tcp = new GuardedTcpServer(requestDeadlineMs, onRequest, this);
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
