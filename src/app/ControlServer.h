// SPDX-License-Identifier: MIT
#pragma once

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
// ControlProtocol.h): a local socket in the program directory that only the
// bridge's own user can reach. A request runs on the main thread between two
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
    // Runs one command; what a request over the socket runs.
    Reply run(const std::string& command);

private:
    void acceptClients();
    void readRequest(QLocalSocket* socket);
    void answer(QLocalSocket* socket, const Reply& reply);
    void addState(Reply& reply) const;

    Bridge& m_bridge;
    QLocalServer* m_server = nullptr;
    std::string m_why;
    std::chrono::milliseconds m_clientTimeout;
    int m_clients = 0;
    // A command is running; a message box it opens lets events through, and
    // a second request must not start inside it.
    bool m_running = false;
};
