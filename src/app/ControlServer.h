// SPDX-License-Identifier: MIT
#pragma once

#include "core/Job.h"

#include <QObject>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class Bridge;
class QLocalServer;
class QLocalSocket;

// Answers `tessiro ctl` for one running bridge (protocol in
// ControlProtocol.h): a local socket in the user's runtime folder, named
// from the program directory, that only the bridge's own user can reach. A request runs on the main thread between two
// ticks and does exactly what the window's button or menu entry does.
//
// The server never waits on a client: requests are read as they arrive, and
// a connection that has not finished within the client timeout is dropped.
class ControlServer : public QObject {
    Q_OBJECT
public:
    explicit ControlServer(Bridge& bridge, QObject* parent = nullptr);
    ~ControlServer() override;

    // Starts listening on socketPath(). A socket file left behind by a bridge
    // that died is replaced; a live one, or a file that is no socket, is left
    // alone. False, with why(), when the control is not available; the
    // bridge itself runs on without it.
    bool listen();
    const std::string& why() const { return m_why; }
    // Stops answering: the socket goes and no request still pending runs.
    void close();
    std::filesystem::path socketPath() const;

    // "mostra": brings the window to the front. Left empty without a window.
    std::function<void()> showWindow;
    // Each request served, with "OK" or the refusal, for the operations log.
    std::function<void(const std::string& command, const std::string& outcome)> onRequest;

    void setClientTimeout(std::chrono::milliseconds timeout) { m_clientTimeout = timeout; }

    // The reply to one request, before framing: data lines (UTF-8) and
    // either success or the reason of the refusal.
    struct Reply {
        std::vector<std::string> lines;
        bool ok = true;
        std::string error;
    };
    // Runs one request (a command of OperatorCommands.h by its ctl name, with
    // its option if it takes one); what a request over the socket runs.
    Reply run(const std::string& request);

    // `stato`: the bridge's state as data lines.
    void addState(Reply& reply) const;
    // `stato --json`: the same facts as `stato`, one JSON object (UTF-8).
    std::string stateJson() const;

private:
    // The last command file run and how it ended, as the bridge's jobs
    // tell it.
    struct LastFile {
        std::string name;
        std::string outcome; // "eseguito", "non riuscito", "non eseguito", "scartato"
        bool running = false;
    };
    // The files that ended on one day of the bridge's clock (local time).
    struct DayCounts {
        int year = -1;
        int dayOfYear = -1;
        int run = 0;
        int failed = 0;
        int notRun = 0; // asked nothing of the printer, or discarded
    };
    // The counts of today: zeros when no file has ended today yet.
    DayCounts today() const;
    void jobDone(const Job& job);
    int filesWaiting() const;
    long long uptimeSeconds() const;

    void acceptClients();
    void readRequest(QLocalSocket* socket);
    void answer(QLocalSocket* socket, const Reply& reply);

    Bridge& m_bridge;
    QLocalServer* m_server = nullptr;
    std::string m_why;
    std::chrono::milliseconds m_clientTimeout;
    int m_clients = 0;
    // A command is running; a message box it opens lets events through, and
    // a second request must not start inside it.
    bool m_running = false;
    bool m_closed = false;
    LastFile m_lastFile;
    DayCounts m_day;
    // On the bridge's steady clock, for the uptime.
    std::chrono::steady_clock::time_point m_started;
    // Ends with the server, so the bridge never tells a server that is gone.
    JobFeed::Subscription m_jobs;
};
