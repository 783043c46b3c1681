// SPDX-License-Identifier: MIT
#include "lan/HttpClient.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QSslCertificate>
#include <QSslSocket>
#include <QUrl>

#include <memory>

namespace {

// A reply larger than this is no reply of the service.
constexpr qsizetype MaxReply = 1 << 20;

QString fingerprintOf(const QSslCertificate& certificate)
{
    return QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
}

int remaining(const QDeadlineTimer& deadline)
{
    return int(std::max<qint64>(0, deadline.remainingTime()));
}

HttpOutcome failed(HttpOutcome::Kind kind, const QString& error)
{
    HttpOutcome o;
    o.kind = kind;
    o.error = error;
    return o;
}

// A socket wait (waitForReadyRead and the like) in slices: a slice that ran
// out while the socket is still usable is waited again.
bool socketWait(QAbstractSocket& socket, const QDeadlineTimer& deadline, const std::function<void()>& working,
                const std::function<bool(int ms)>& wait)
{
    return waitInSlices(
        deadline,
        [&](int ms) {
            if (wait(ms))
                return SliceResult::Done;
            // Still connected: the slice ran out with nothing to read yet.
            return socket.state() == QAbstractSocket::ConnectedState ? SliceResult::Again : SliceResult::Failed;
        },
        working);
}

// A connection (and, over https, its handshake) waited for in slices. A
// connect wait that runs out gives the attempt up, so a slice that ran out
// before the deadline starts the attempt again and goes on waiting.
bool connectWait(QAbstractSocket& socket, const QDeadlineTimer& deadline, const std::function<void()>& working,
                 const std::function<void()>& start, const std::function<bool(int ms)>& wait)
{
    start();
    return waitInSlices(
        deadline,
        [&](int ms) {
            if (wait(ms))
                return SliceResult::Done;
            if (deadline.hasExpired())
                return SliceResult::Failed;
            if (socket.state() == QAbstractSocket::UnconnectedState) {
                if (socket.error() != QAbstractSocket::SocketTimeoutError)
                    return SliceResult::Failed; // refused, unreachable, a TLS failure
                start();
            }
            return SliceResult::Again; // still connecting, or the handshake goes on
        },
        working);
}

struct Connection {
    std::unique_ptr<QSslSocket> socket = std::make_unique<QSslSocket>();
    QString tlsProblem;
    QString accepted;
};

// Connects (and, over https, completes the handshake); an empty optional on
// success, else the failed outcome.
std::optional<HttpOutcome> connectTo(Connection& c, const LanEndpoint& endpoint, const QString& pin,
                                     const QDeadlineTimer& deadline, bool readOnly,
                                     const std::function<void()>& working = {})
{
    QSslSocket& socket = *c.socket;
    if (!endpoint.tls) {
        if (!connectWait(
                socket, deadline, working, [&] { socket.connectToHost(endpoint.host, endpoint.port); },
                [&](int ms) { return socket.waitForConnected(ms); }))
            return failed(socket.error() == QAbstractSocket::SocketTimeoutError ? HttpOutcome::Kind::Timeout
                                                                                : HttpOutcome::Kind::NoConnection,
                          QStringLiteral("collegamento non riuscito (%1)").arg(socket.errorString()));
        return std::nullopt;
    }
    if (!QSslSocket::supportsSsl())
        return failed(HttpOutcome::Kind::Tls, QStringLiteral("TLS not available on this system"));
    // The printers show a self-signed certificate: its errors are accepted
    // when, and only when, the certificate is the one pinned at set-up.
    QObject::connect(&socket, &QSslSocket::sslErrors, &socket, [&c, pin, readOnly](const QList<QSslError>& errors) {
        const QString seen = fingerprintOf(c.socket->peerCertificate());
        QStringList texts;
        for (const QSslError& e : errors)
            texts << e.errorString();
        if (readOnly || (!pin.isEmpty() && seen == pin)) {
            c.accepted = texts.join(QStringLiteral("; "));
            c.socket->ignoreSslErrors(errors);
            return;
        }
        c.tlsProblem = pin.isEmpty()
                           ? QStringLiteral("no certificate pinned (%1)").arg(texts.join(QStringLiteral("; ")))
                           : QStringLiteral("certificate %1 is not the pinned %2 (%3)")
                                 .arg(seen, pin, texts.join(QStringLiteral("; ")));
    });
    if (!connectWait(
            socket, deadline, working, [&] { socket.connectToHostEncrypted(endpoint.host, endpoint.port); },
            [&](int ms) { return socket.waitForEncrypted(ms); })) {
        if (!c.tlsProblem.isEmpty())
            return failed(HttpOutcome::Kind::Tls, c.tlsProblem);
        if (socket.error() == QAbstractSocket::SocketTimeoutError)
            return failed(HttpOutcome::Kind::Timeout,
                          QStringLiteral("collegamento non riuscito (%1)").arg(socket.errorString()));
        const bool tls = socket.state() == QAbstractSocket::ConnectedState ||
                         socket.error() == QAbstractSocket::SslHandshakeFailedError ||
                         socket.error() == QAbstractSocket::SslInternalError;
        return failed(tls ? HttpOutcome::Kind::Tls : HttpOutcome::Kind::NoConnection, socket.errorString());
    }
    // A certificate that a CA vouches for raises no error: it must still be
    // the pinned one.
    if (!readOnly && fingerprintOf(socket.peerCertificate()) != pin)
        return failed(
            HttpOutcome::Kind::Tls,
            QStringLiteral("certificate %1 is not the pinned %2").arg(fingerprintOf(socket.peerCertificate()), pin));
    return std::nullopt;
}

// Reads an HTTP/1.1 reply: status line, headers, then a body of
// Content-Length bytes, chunked, or up to the end of the connection. Every
// outcome says the request was sent whole: the printer may have printed it.
HttpOutcome readHttp(QSslSocket& socket, const QDeadlineTimer& deadline, const std::function<void()>& working)
{
    auto failed = [](HttpOutcome::Kind kind, const QString& error) {
        HttpOutcome o = ::failed(kind, error);
        o.requestSent = true;
        return o;
    };
    QByteArray data;
    auto fill = [&]() -> bool {
        if (socket.bytesAvailable() == 0 &&
            !socketWait(socket, deadline, working, [&](int ms) { return socket.waitForReadyRead(ms); }))
            return false;
        data += socket.readAll();
        return data.size() <= MaxReply;
    };
    auto timedOut = [&] { return deadline.hasExpired() || socket.error() == QAbstractSocket::SocketTimeoutError; };
    auto incomplete = [&](const QString& what) {
        if (timedOut())
            return failed(HttpOutcome::Kind::Timeout, QStringLiteral("risposta non completa entro il tempo"));
        return failed(HttpOutcome::Kind::NoConnection, QStringLiteral("%1 (%2)").arg(what, socket.errorString()));
    };

    qsizetype headerEnd;
    while ((headerEnd = data.indexOf("\r\n\r\n")) < 0) {
        if (!fill())
            return incomplete(QStringLiteral("collegamento chiuso prima della risposta"));
    }
    const QList<QByteArray> lines = data.left(headerEnd).split('\n');
    const QList<QByteArray> statusParts = lines.value(0).trimmed().split(' ');
    bool ok = false;
    HttpOutcome out;
    out.kind = HttpOutcome::Kind::Replied;
    out.requestSent = true;
    out.httpStatus = statusParts.value(1).toInt(&ok);
    if (!statusParts.value(0).startsWith("HTTP/") || !ok)
        return failed(HttpOutcome::Kind::NoConnection, QStringLiteral("risposta non HTTP"));
    qsizetype length = -1;
    bool chunked = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "content-length") {
            length = value.toLongLong(&ok);
            if (!ok)
                length = -1;
        } else if (name == "transfer-encoding" && value.toLower().contains("chunked"))
            chunked = true;
    }
    data.remove(0, headerEnd + 4);

    if (chunked) {
        QByteArray body;
        for (;;) {
            qsizetype eol;
            while ((eol = data.indexOf("\r\n")) < 0)
                if (!fill())
                    return incomplete(QStringLiteral("collegamento chiuso a risposta iniziata"));
            const qsizetype size = data.left(eol).split(';').value(0).trimmed().toLongLong(&ok, 16);
            if (!ok || size < 0 || size > MaxReply)
                return failed(HttpOutcome::Kind::NoConnection, QStringLiteral("blocco non valido nella risposta"));
            while (data.size() < eol + 2 + size + 2)
                if (!fill())
                    return incomplete(QStringLiteral("collegamento chiuso a risposta iniziata"));
            if (size == 0)
                break;
            body += data.mid(eol + 2, size);
            data.remove(0, eol + 2 + size + 2);
        }
        out.body = body;
        return out;
    }
    if (length >= 0) {
        if (length > MaxReply)
            return failed(HttpOutcome::Kind::NoConnection, QStringLiteral("risposta troppo grande"));
        while (data.size() < length)
            if (!fill())
                return incomplete(QStringLiteral("collegamento chiuso a risposta iniziata"));
        out.body = data.left(length);
        return out;
    }
    while (socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
        if (!fill())
            break;
    }
    if (timedOut() && socket.state() == QAbstractSocket::ConnectedState)
        return failed(HttpOutcome::Kind::Timeout, QStringLiteral("risposta non completa entro il tempo"));
    out.body = data;
    return out;
}

} // namespace

std::optional<LanEndpoint> LanEndpoint::parse(const QString& address, QString* why)
{
    const auto fail = [why](const QString& text) -> std::optional<LanEndpoint> {
        if (why)
            *why = text;
        return std::nullopt;
    };
    const QUrl url(address.trimmed(), QUrl::StrictMode);
    if (!url.isValid())
        return fail(QStringLiteral("not an address: %1").arg(address));
    LanEndpoint e;
    if (url.scheme() == QLatin1String("https"))
        e.tls = true;
    else if (url.scheme() != QLatin1String("http"))
        return fail(QStringLiteral("the address must start with http:// or https://"));
    if (url.host().isEmpty())
        return fail(QStringLiteral("the address has no host"));
    if (!url.userInfo().isEmpty() || url.hasQuery() || url.hasFragment() ||
        (!url.path().isEmpty() && url.path() != QLatin1String("/")))
        return fail(QStringLiteral("give only http(s)://HOST[:PORT]; the service's path is added by tessiro"));
    e.host = url.host();
    const int port = url.port(e.tls ? 443 : 80);
    if (port < 1 || port > 65535)
        return fail(QStringLiteral("bad port"));
    e.port = quint16(port);
    return e;
}

QString LanEndpoint::address() const
{
    const bool defaultPort = port == (tls ? 443 : 80);
    const QString host_ = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return (tls ? QStringLiteral("https://") : QStringLiteral("http://")) + host_ +
           (defaultPort ? QString() : QStringLiteral(":%1").arg(port));
}

HttpClient::HttpClient(LanEndpoint endpoint, QString pinnedFingerprint)
    : m_endpoint(std::move(endpoint)), m_pin(std::move(pinnedFingerprint))
{}

HttpOutcome HttpClient::post(const QByteArray& body, int serviceTimeoutMs, int clientTimeoutMs) const
{
    const QDeadlineTimer deadline(clientTimeoutMs);
    Connection c;
    if (auto failure = connectTo(c, m_endpoint, m_pin, deadline, false, whileWaiting))
        return *failure;
    QSslSocket& socket = *c.socket;

    const QByteArray host = (m_endpoint.host.contains(QLatin1Char(':')) ? "[" + m_endpoint.host.toUtf8() + "]"
                                                                        : m_endpoint.host.toUtf8()) +
                            ":" + QByteArray::number(m_endpoint.port);
    QByteArray request = "POST " + QByteArray(ServicePath) +
                         "?devid=local_printer&timeout=" + QByteArray::number(serviceTimeoutMs) + " HTTP/1.1\r\n";
    request += "Host: " + host + "\r\n";
    request += "Content-Type: text/xml; charset=utf-8\r\n";
    request += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    request += "Connection: close\r\n\r\n";
    request += body;
    socket.write(request);
    // Until the last byte is out, the service cannot have taken the
    // document (it reads Content-Length bytes before it acts): a failure
    // here leaves it safe to send again.
    while (socket.bytesToWrite() > 0) {
        if (!socketWait(socket, deadline, whileWaiting, [&](int ms) { return socket.waitForBytesWritten(ms); }))
            return failed(deadline.hasExpired() ? HttpOutcome::Kind::Timeout : HttpOutcome::Kind::NoConnection,
                          QStringLiteral("invio del documento interrotto (%1)").arg(socket.errorString()));
    }
    HttpOutcome outcome = readHttp(socket, deadline, whileWaiting);
    outcome.acceptedTlsErrors = c.accepted;
    socket.abort();
    return outcome;
}

bool waitInSlices(const QDeadlineTimer& deadline, const std::function<SliceResult(int ms)>& slice,
                  const std::function<void()>& working)
{
    for (;;) {
        if (working)
            working();
        const int ms = int(std::min<qint64>(WaitSlice.count(), remaining(deadline)));
        switch (slice(ms)) {
        case SliceResult::Done: return true;
        case SliceResult::Failed: return false;
        case SliceResult::Again: break;
        }
        if (deadline.hasExpired())
            return false;
    }
}

std::optional<QString> fetchFingerprint(const LanEndpoint& endpoint, int timeoutMs, QString* why)
{
    const QDeadlineTimer deadline(timeoutMs);
    Connection c;
    if (auto failure = connectTo(c, endpoint, {}, deadline, true)) {
        if (why)
            *why = failure->error;
        return std::nullopt;
    }
    const QSslCertificate certificate = c.socket->peerCertificate();
    c.socket->abort();
    if (certificate.isNull()) {
        if (why)
            *why = QStringLiteral("the printer showed no certificate");
        return std::nullopt;
    }
    return fingerprintOf(certificate);
}
