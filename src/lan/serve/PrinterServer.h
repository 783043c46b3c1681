// SPDX-License-Identifier: MIT
#pragma once

#include "lan/SimService.h"

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <filesystem>
#include <functional>
#include <memory>

class Clock;
class QHttpServer;
class QHttpServerRequest;
class QHttpServerResponder;
class GuardedTcpServer;

// `serve-printer`: the simulated printer of a program folder served over
// HTTP as the LAN printers serve their XML service (POST
// /cgi-bin/fpmate.cgi). Requests are answered one at a time on the thread
// that owns the server; a connection that has not brought a whole request
// within RequestDeadlineMs (from its start or from the last reply) is
// dropped, so a client that stops sending holds nothing up. A body over
// 1 MB is refused (413) from the headers, unread; a connection is closed
// after the reply when the request asks for it (Connection: close, HTTP/1.0).
class PrinterServer : public QObject {
public:
    static constexpr int RequestDeadlineMs = 10000;

    // The simulated printer answers with the time of `clock`.
    PrinterServer(const std::filesystem::path& programDir, Clock& clock,
                  int requestDeadlineMs = RequestDeadlineMs);
    ~PrinterServer() override;

    // False with why() set when the address cannot be listened on.
    bool listen(const QHostAddress& address, quint16 port);
    quint16 port() const { return m_port; }
    const QString& why() const { return m_why; }

    // Each request and what became of it, one line (for the server's output).
    std::function<void(const QString& line)> onRequest;

private:
    void answer(const QHttpServerRequest& request, QHttpServerResponder&& responder);

    SimService m_service;
    std::unique_ptr<QHttpServer> m_http;
    GuardedTcpServer* m_tcp = nullptr;
    quint16 m_port = 0;
    QString m_why;
};

// "HOST:PORT" of --listen ("127.0.0.1:8080", "[::1]:0", "0.0.0.0:80").
bool parseListen(const QString& text, QHostAddress* address, quint16* port, QString* why);
