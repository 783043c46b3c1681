// SPDX-License-Identifier: MIT
#pragma once

#include "core/Clock.h"
#include "lan/serve/PrinterServer.h"

#include <QHostAddress>
#include <QString>
#include <QThread>

#include <filesystem>
#include <future>

// serve-printer on a thread of its own, on a free port of 127.0.0.1, so the
// LAN control on the calling thread can block on it. port() is 0 when it
// could not listen.
class ServedPrinter {
public:
    explicit ServedPrinter(const std::filesystem::path& dir, int deadlineMs = PrinterServer::RequestDeadlineMs)
    {
        std::promise<quint16> ready;
        auto port = ready.get_future();
        QObject::connect(&m_thread, &QThread::started, [&] {
            m_server = new PrinterServer(dir, m_clock, deadlineMs);
            ready.set_value(m_server->listen(QHostAddress::LocalHost, 0) ? m_server->port() : 0);
        });
        QObject::connect(&m_thread, &QThread::finished, [this] { delete m_server; });
        m_thread.start();
        m_port = port.get();
    }
    ~ServedPrinter()
    {
        m_thread.quit();
        m_thread.wait();
    }
    ServedPrinter(const ServedPrinter&) = delete;
    ServedPrinter& operator=(const ServedPrinter&) = delete;

    QString address() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    quint16 port() const { return m_port; }

private:
    // The served printer's replies carry the real time, as a printer's do.
    SystemClock m_clock;
    QThread m_thread;
    PrinterServer* m_server = nullptr;
    quint16 m_port = 0;
};
