// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QSslConfiguration>
#include <QThread>

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// A stand-in for a LAN printer's web service on 127.0.0.1, on a thread of
// its own (the LAN control blocks the test's thread while it waits). It
// records each request body and answers from a queue: a reply body (HTTP
// 200), a raw HTTP text, or silence; with the queue empty it answers
// `fallback`.
class FakeServiceWorker;

class FakeService {
public:
    struct Answer {
        enum class Kind { Body, Raw, Silence };
        Kind kind = Kind::Body;
        QByteArray bytes;
        static Answer body(QByteArray b) { return {Kind::Body, std::move(b)}; }
        static Answer raw(QByteArray b) { return {Kind::Raw, std::move(b)}; }
        static Answer silence() { return {Kind::Silence, {}}; }
    };

    FakeService();
    // Over TLS with the certificate and key of `tls` (https://).
    explicit FakeService(const QSslConfiguration& tls);
    ~FakeService();

    quint16 port() const { return m_port; }
    std::string address() const
    {
        return (m_tls ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(m_port);
    }

    // A server configuration from a PEM certificate and key of tests/lan/data.
    static QSslConfiguration tlsFrom(const char* certificateFile, const char* keyFile);

    void push(Answer answer);
    void setFallback(Answer answer);
    std::vector<QByteArray> requests() const;
    // The body of the last request, or empty.
    QByteArray last() const;
    void clear();

    // Replies of the service, built for tests.
    static QByteArray success(const QString& printerStatus = QStringLiteral("00110"));
    static QByteArray failure(const QString& keyword, int status, const QString& printerStatus = QString());

private:
    friend class FakeServiceWorker;
    Answer next();
    void record(QByteArray body);

    mutable std::mutex m_mutex;
    std::deque<Answer> m_queue;
    Answer m_fallback;
    std::vector<QByteArray> m_requests;
    void start(const std::optional<QSslConfiguration>& tls);

    bool m_tls = false;
    FakeServiceWorker* m_worker = nullptr;
    QThread m_thread;
    quint16 m_port = 0;
};
