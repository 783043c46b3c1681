// SPDX-License-Identifier: MIT
#include "lan/FakeService.h"

#include <QEventLoop>
#include <QFile>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>

#include <future>

class FakeServiceWorker : public QObject {
public:
    FakeServiceWorker(FakeService& owner, std::promise<quint16>& ready, const std::optional<QSslConfiguration>& tls)
        : m_owner(owner)
    {
        if (tls) {
            auto* server = new QSslServer(this);
            server->setSslConfiguration(*tls);
            m_server = server;
        } else {
            m_server = new QTcpServer(this);
        }
        m_server->listen(QHostAddress::LocalHost, 0);
        ready.set_value(m_server->serverPort());
        connect(m_server, &QTcpServer::pendingConnectionAvailable, this, [this] {
            while (QTcpSocket* socket = m_server->nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { serve(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

private:
    void serve(QTcpSocket* socket)
    {
        QByteArray& data = m_buffers[socket];
        data += socket->readAll();
        const qsizetype headerEnd = data.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        qsizetype length = 0;
        for (const QByteArray& line : data.left(headerEnd).split('\n')) {
            const QByteArray l = line.trimmed().toLower();
            if (l.startsWith("content-length:"))
                length = l.mid(15).trimmed().toLongLong();
        }
        if (data.size() < headerEnd + 4 + length)
            return;
        const QByteArray body = data.mid(headerEnd + 4, length);
        m_owner.record(data.left(data.indexOf("\r\n")).split(' ').value(1), body);
        m_buffers.remove(socket);
        const FakeService::Answer answer = m_owner.next(body);
        switch (answer.kind) {
        case FakeService::Answer::Kind::Silence: return; // the client's deadline ends it
        case FakeService::Answer::Kind::Raw: socket->write(answer.bytes); break;
        case FakeService::Answer::Kind::BodyThenRefuse: m_server->close(); [[fallthrough]];
        case FakeService::Answer::Kind::Body:
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\nContent-Length: " +
                          QByteArray::number(answer.bytes.size()) + "\r\nConnection: close\r\n\r\n" + answer.bytes);
            break;
        }
        socket->disconnectFromHost();
    }

    FakeService& m_owner;
    QTcpServer* m_server = nullptr;
    QHash<QTcpSocket*, QByteArray> m_buffers;
};

FakeService::FakeService() : m_fallback(Answer::body(success()))
{
    start(std::nullopt);
}

FakeService::FakeService(const QSslConfiguration& tls) : m_fallback(Answer::body(success())), m_tls(true)
{
    start(tls);
}

QSslConfiguration FakeService::tlsFrom(const char* certificateFile, const char* keyFile)
{
    const QString dir = QStringLiteral(TESSIRO_LAN_TEST_DATA "/");
    QFile cert(dir + QLatin1String(certificateFile));
    QFile key(dir + QLatin1String(keyFile));
    cert.open(QIODevice::ReadOnly);
    key.open(QIODevice::ReadOnly);
    QSslConfiguration c = QSslConfiguration::defaultConfiguration();
    c.setLocalCertificate(QSslCertificate(cert.readAll()));
    c.setPrivateKey(QSslKey(key.readAll(), QSsl::Rsa));
    c.setPeerVerifyMode(QSslSocket::VerifyNone);
    return c;
}

void FakeService::start(const std::optional<QSslConfiguration>& tls)
{
    std::promise<quint16> ready;
    auto port = ready.get_future();
    QObject::connect(&m_thread, &QThread::started, [&] { m_worker = new FakeServiceWorker(*this, ready, tls); });
    // Deleted on its own thread, where its sockets live.
    QObject::connect(&m_thread, &QThread::finished, [this] { delete m_worker; });
    m_thread.start();
    m_port = port.get();
}

FakeService::~FakeService()
{
    m_thread.quit();
    m_thread.wait();
}

void FakeService::push(Answer answer)
{
    std::lock_guard lock(m_mutex);
    m_queue.push_back(std::move(answer));
}

void FakeService::setFallback(Answer answer)
{
    std::lock_guard lock(m_mutex);
    m_fallback = std::move(answer);
}

void FakeService::pushFor(QByteArray needle, Answer answer)
{
    std::lock_guard lock(m_mutex);
    m_keyed.emplace_back(std::move(needle), std::move(answer));
}

std::vector<QByteArray> FakeService::targets() const
{
    std::lock_guard lock(m_mutex);
    return m_targets;
}

std::vector<QByteArray> FakeService::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

QByteArray FakeService::last() const
{
    std::lock_guard lock(m_mutex);
    return m_requests.empty() ? QByteArray() : m_requests.back();
}

void FakeService::clear()
{
    std::lock_guard lock(m_mutex);
    m_requests.clear();
    m_targets.clear();
}

FakeService::Answer FakeService::next(const QByteArray& body)
{
    std::lock_guard lock(m_mutex);
    for (auto it = m_keyed.begin(); it != m_keyed.end(); ++it)
        if (body.contains(it->first)) {
            Answer a = std::move(it->second);
            m_keyed.erase(it);
            return a;
        }
    if (m_queue.empty())
        return m_fallback;
    Answer a = std::move(m_queue.front());
    m_queue.pop_front();
    return a;
}

void FakeService::record(QByteArray target, QByteArray body)
{
    std::lock_guard lock(m_mutex);
    m_targets.push_back(std::move(target));
    m_requests.push_back(std::move(body));
}

QByteArray FakeService::success(const QString& printerStatus)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?><soapenv:Envelope "
                          "xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body><response "
                          "success=\"true\" code=\"\" status=\"2\"><addInfo><elementList>lastCommand,printerStatus</"
                          "elementList><lastCommand>74</lastCommand><printerStatus>%1</printerStatus></addInfo></"
                          "response></soapenv:Body></soapenv:Envelope>")
        .arg(printerStatus)
        .toUtf8();
}

QByteArray FakeService::receipt(int number, int z, const QString& amount)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?><soapenv:Envelope "
                          "xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body><response "
                          "success=\"true\" code=\"\" status=\"2\"><addInfo><elementList>lastCommand,printerStatus,"
                          "fiscalReceiptNumber,fiscalReceiptAmount,fiscalReceiptDate,fiscalReceiptTime,zRepNumber</"
                          "elementList><lastCommand>74</lastCommand><printerStatus>00110</printerStatus>"
                          "<fiscalReceiptNumber>%1</fiscalReceiptNumber><fiscalReceiptAmount>%3</fiscalReceiptAmount>"
                          "<fiscalReceiptDate>8/12/2026</fiscalReceiptDate><fiscalReceiptTime>14:30</fiscalReceiptTime>"
                          "<zRepNumber>%2</zRepNumber></addInfo></response></soapenv:Body></soapenv:Envelope>")
        .arg(number)
        .arg(z)
        .arg(amount)
        .toUtf8();
}

QByteArray FakeService::failure(const QString& keyword, int status, const QString& printerStatus)
{
    const QString info = printerStatus.isEmpty()
                             ? QString()
                             : QStringLiteral("<addInfo><elementList>printerStatus</elementList><printerStatus>%1</"
                                              "printerStatus></addInfo>")
                                   .arg(printerStatus);
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?><soapenv:Envelope "
                          "xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body><response "
                          "success=\"false\" code=\"%1\" status=\"%2\">%3</response></soapenv:Body></soapenv:Envelope>")
        .arg(keyword)
        .arg(status)
        .arg(info)
        .toUtf8();
}
