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
// records each request (its target and body) and answers from a queue: a
// reply body (HTTP 200), a raw HTTP text (empty: the connection dropped
// without a word), or silence; an answer pushed for requests containing a
// text waits for the first such request; with nothing queued it answers
// `fallback`.
class FakeServiceWorker;

class FakeService {
public:
    struct Answer {
        enum class Kind { Body, Raw, Silence, BodyThenRefuse };
        Kind kind = Kind::Body;
        QByteArray bytes;
        static Answer body(QByteArray b) { return {Kind::Body, std::move(b)}; }
        static Answer raw(QByteArray b) { return {Kind::Raw, std::move(b)}; }
        static Answer silence() { return {Kind::Silence, {}}; }
        // A reply body, and from then on every connection is refused.
        static Answer bodyThenRefuse(QByteArray b) { return {Kind::BodyThenRefuse, std::move(b)}; }
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
    // `answer` for the first request whose body contains `needle`, ahead of
    // the plain queue.
    void pushFor(QByteArray needle, Answer answer);
    void setFallback(Answer answer);
    std::vector<QByteArray> requests() const;
    // The request targets ("/cgi-bin/fpmate.cgi?devid=...&timeout=..."), in order.
    std::vector<QByteArray> targets() const;
    // The body of the last request, or empty.
    QByteArray last() const;
    void clear();

    // Replies of the service, built for tests.
    static QByteArray success(const QString& printerStatus = QStringLiteral("00110"));
    // A fiscal receipt's success with the printer's numbers: receipt, Z and
    // amount as the service writes them ("3,50").
    static QByteArray receipt(int number, int z, const QString& amount);
    static QByteArray failure(const QString& keyword, int status, const QString& printerStatus = QString());

private:
    friend class FakeServiceWorker;
    Answer next(const QByteArray& body);
    void record(QByteArray target, QByteArray body);

    mutable std::mutex m_mutex;
    std::deque<Answer> m_queue;
    std::deque<std::pair<QByteArray, Answer>> m_keyed;
    Answer m_fallback;
    std::vector<QByteArray> m_requests;
    std::vector<QByteArray> m_targets;
    void start(const std::optional<QSslConfiguration>& tls);

    bool m_tls = false;
    FakeServiceWorker* m_worker = nullptr;
    QThread m_thread;
    quint16 m_port = 0;
};
