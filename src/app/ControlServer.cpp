// SPDX-License-Identifier: MIT
#include "app/ControlServer.h"

#include "app/ControlProtocol.h"
#include "bridge/Bridge.h"
#include "bridge/OperatorCommands.h"
#include "commands/Interprete.h"
#include "config/Text.h"
#include "core/Clock.h"
#include "core/OperatorWindow.h"
#include "core/SharedState.h"
#include "errors/ErrorHandler.h"
#include "lan/LanLedger.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QScopedValueRollback>
#include <QTimer>

#include <exception>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A window text as one JSON string: decoded, bounded, line breaks as "\n".
QString jsonText(const std::string& cp1252)
{
    QString text = fromCp1252(cp1252.substr(0, control::MaxText));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    while (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text;
}

// The date and time the last error text begins with ("" when none).
std::string errorTime(const std::string& lastErrorText)
{
    return lastErrorText.substr(0, lastErrorText.find("\r\n"));
}

// A text of the window (windows-1252, CR LF) as terminal lines: decoded, cut
// to a bounded length, control characters shown as "?" so that no printer
// text can drive the operator's terminal.
std::vector<std::string> displayLines(const std::string& cp1252)
{
    QString text = fromCp1252(cp1252.substr(0, control::MaxText));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    std::vector<std::string> lines;
    for (QString line : text.split(QLatin1Char('\n'))) {
        for (QChar& c : line)
            if (c.category() == QChar::Other_Control)
                c = QLatin1Char('?');
        lines.push_back(line.toStdString());
    }
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    return lines;
}

void addText(ControlServer::Reply& reply, const std::string& name, const std::string& cp1252)
{
    const std::vector<std::string> lines = displayLines(cp1252);
    if (lines.empty()) {
        reply.lines.push_back(name + ": (empty)");
        return;
    }
    reply.lines.push_back(name + ":");
    for (const std::string& line : lines)
        reply.lines.push_back("  " + line);
}

// The outcome as `ctl stato` names it.
const char* outcomeName(Job::Outcome outcome)
{
    switch (outcome) {
    case Job::Outcome::Run: return "eseguito";
    case Job::Outcome::Failed: return "non riuscito";
    case Job::Outcome::NotRun: return "non eseguito";
    case Job::Outcome::Discarded: return "scartato";
    }
    return "";
}

bool sameUser(qintptr descriptor)
{
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0)
        return false;
    return peer.uid == ::geteuid();
}

// True when the client has closed its end: it gave up waiting, and a command
// it was told had not run must not run now. A client that only shut down its
// sending side still reads the reply and is served.
bool clientGone(QLocalSocket* socket)
{
    pollfd p{static_cast<int>(socket->socketDescriptor()), 0, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

// A command run over the socket: its state report and the window's
// showing go into the reply.
class ControlCaller : public CommandCaller {
public:
    ControlCaller(const ControlServer& server, ControlServer::Reply& reply) : m_server(server), m_reply(reply) {}
    Kind kind() const override { return Kind::Control; }
    bool showWindow() override
    {
        if (!m_server.showWindow)
            return false;
        m_server.showWindow();
        return true;
    }
    void reportState(bool json) override
    {
        if (json)
            m_reply.lines.push_back(m_server.stateJson());
        else
            m_server.addState(m_reply);
    }

private:
    const ControlServer& m_server;
    ControlServer::Reply& m_reply;
};

} // namespace

ControlServer::ControlServer(Bridge& bridge, QObject* parent)
    : QObject(parent), m_bridge(bridge), m_server(new QLocalServer(this)), m_clientTimeout(control::ServerClientTimeout)
{
    connect(m_server, &QLocalServer::newConnection, this, &ControlServer::acceptClients);
    m_started = m_bridge.clock().steadyNow();
    m_jobs = m_bridge.jobs().subscribe({[this](const Job& job) { m_lastFile = {job.name, {}, true}; },
                                        [this](const Job& job) { jobDone(job); }});
}

long long ControlServer::uptimeSeconds() const
{
    return std::chrono::duration_cast<std::chrono::seconds>(m_bridge.clock().steadyNow() - m_started).count();
}

void ControlServer::jobDone(const Job& job)
{
    m_lastFile.running = false;
    m_lastFile.outcome = outcomeName(job.outcome);
    m_day = today();
    ++(job.outcome == Job::Outcome::Run      ? m_day.run
       : job.outcome == Job::Outcome::Failed ? m_day.failed
                                             : m_day.notRun);
}

ControlServer::DayCounts ControlServer::today() const
{
    const std::tm now = m_bridge.clock().localNow();
    if (now.tm_year == m_day.year && now.tm_yday == m_day.dayOfYear)
        return m_day;
    DayCounts fresh;
    fresh.year = now.tm_year;
    fresh.dayOfYear = now.tm_yday;
    return fresh;
}

int ControlServer::filesWaiting() const
{
    int count = 0;
    std::error_code ec;
    for (fs::directory_iterator it(m_bridge.state().dropDir(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code typeEc;
        if (!name.empty() && name.front() != '.' && it->symlink_status(typeEc).type() == fs::file_type::regular)
            ++count;
    }
    return count;
}

ControlServer::~ControlServer()
{
    // The connections go with the server, while the count they keep is
    // still there; closing also removes the socket file.
    m_server->close();
    delete m_server;
}

fs::path ControlServer::socketPath() const
{
    return control::socketPath(m_bridge.state().programDir);
}

bool ControlServer::listen()
{
    const fs::path path = socketPath();
    const std::string name = path.string();
    if (!control::prepareSocketFolder(path.parent_path(), m_why))
        return false;
    if (name.size() > control::MaxSocketPath) {
        m_why = "the control socket path " + name + " is longer than the system allows (" +
                std::to_string(control::MaxSocketPath) + " bytes); tessiro ctl is not available for this folder";
        return false;
    }

    std::error_code ec;
    const fs::file_type type = fs::symlink_status(path, ec).type();
    if (type == fs::file_type::socket) {
        QLocalSocket probe;
        probe.connectToServer(QString::fromStdString(name));
        if (probe.waitForConnected(1000)) {
            probe.abort();
            m_why = "another process answers on " + name + "; tessiro ctl is not available for this bridge";
            return false;
        }
        // Left by a bridge that ended without closing it.
        fs::remove(path, ec);
        if (ec) {
            m_why = "cannot remove the old control socket " + name + ": " + ec.message();
            return false;
        }
    } else if (type != fs::file_type::not_found) {
        m_why = name + " exists and is not a socket; tessiro ctl is not available for this folder";
        return false;
    }

    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(QString::fromStdString(name))) {
        m_why = "cannot listen on " + name + ": " + m_server->errorString().toStdString();
        return false;
    }
    m_why.clear();
    return true;
}

void ControlServer::close()
{
    m_closed = true;
    m_server->close();
}

void ControlServer::acceptClients()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        ++m_clients;
        connect(socket, &QObject::destroyed, this, [this] { --m_clients; });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);

        auto* deadline = new QTimer(socket);
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        deadline->start(m_clientTimeout);

        if (m_clients > control::MaxClients) {
            answer(socket, {{}, false, "too many control connections at once; try again"});
            continue;
        }
        if (!sameUser(socket->socketDescriptor())) {
            answer(socket, {{}, false, "the bridge runs as another user"});
            continue;
        }
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
        if (socket->bytesAvailable() > 0)
            readRequest(socket);
    }
}

void ControlServer::readRequest(QLocalSocket* socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > static_cast<qint64>(control::MaxRequest)) {
            disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
            answer(socket, {{}, false, "request too long"});
        }
        return;
    }
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
    QByteArray line = socket->readLine(static_cast<qint64>(control::MaxRequest) + 2);
    if (line.size() > static_cast<qsizetype>(control::MaxRequest) + 1 || !line.endsWith('\n')) {
        answer(socket, {{}, false, "request too long"});
        return;
    }
    line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    const std::string command = line.trimmed().toStdString();

    Reply reply;
    if (m_closed) {
        reply = {{}, false, "the bridge is ending"};
    } else if (m_running) {
        reply = {{}, false, "the bridge is running another control command; try again"};
    } else if (clientGone(socket)) {
        if (onRequest)
            onRequest(command, "not run: the client had gone");
        socket->abort();
        socket->deleteLater();
        return;
    } else {
        const QScopedValueRollback<bool> running(m_running, true);
        try {
            reply = run(command);
        } catch (const std::exception& e) {
            reply = {{}, false, std::string("internal failure: ") + e.what()};
        } catch (...) {
            reply = {{}, false, "internal failure"};
        }
    }
    if (onRequest)
        onRequest(command, reply.ok ? std::string(control::StatusOk) : reply.error);
    answer(socket, reply);
}

void ControlServer::answer(QLocalSocket* socket, const Reply& reply)
{
    QByteArray bytes;
    for (const std::string& line : reply.lines) {
        bytes.append(control::DataPrefix.data(), static_cast<qsizetype>(control::DataPrefix.size()));
        bytes.append(line.data(), static_cast<qsizetype>(line.size()));
        bytes.append('\n');
    }
    if (reply.ok) {
        bytes.append(control::StatusOk.data(), static_cast<qsizetype>(control::StatusOk.size()));
    } else {
        bytes.append(control::StatusError.data(), static_cast<qsizetype>(control::StatusError.size()));
        std::string error = reply.error;
        for (char& c : error)
            if (c == '\n' || c == '\r')
                c = ' ';
        bytes.append(error.data(), static_cast<qsizetype>(error.size()));
    }
    bytes.append('\n');
    // Buffered: the socket sends it as the client reads, and the deadline
    // ends a client that never does.
    socket->write(bytes);
    socket->disconnectFromServer();
}

ControlServer::Reply ControlServer::run(const std::string& request)
{
    // A request is a command's name, or its name and its one option.
    const std::size_t space = request.find(' ');
    const std::string_view name = std::string_view(request).substr(0, space);
    const OperatorCommand* command = findControlCommand(name);
    const bool withOption = space != std::string::npos;
    if (!command ||
        (withOption && (command->option.empty() || std::string_view(request).substr(space + 1) != command->option))) {
        std::string shown = request.substr(0, 64);
        for (char& c : shown)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                c = '?';
        return {{}, false, "unknown command \"" + shown + "\""};
    }

    Reply reply;
    ControlCaller caller(*this, reply);
    CommandCall call{m_bridge, caller, withOption, {}};
    command->run(call);
    if (!call.refusal.empty())
        return {{}, false, call.refusal};

    if (command->liftsError && m_bridge.state().errorState) {
        reply.ok = false;
        reply.error = "the command ran, but an error stands again";
        addText(reply, "last-error", m_bridge.state().lastErrorText);
    }
    return reply;
}

void ControlServer::addState(Reply& reply) const
{
    const SharedState& state = m_bridge.state();
    OperatorWindow& window = m_bridge.window();
    reply.lines.push_back(std::string("error-state: ") + (state.errorState ? "yes" : "no"));
    reply.lines.push_back(std::string("batch-running: ") + (state.batchRunning ? "yes" : "no"));
    if (state.batchRunning) {
        const std::vector<std::string> name = displayLines(state.currentFileName());
        if (!name.empty())
            reply.lines.push_back("current-file: " + name.front());
    }
    if (!state.printerDescription.empty())
        reply.lines.push_back("printer: " + state.printerDescription);
    const LanLedger ledger(state.programDir);
    if (ledger.last())
        reply.lines.push_back("printer-numbers: " + ledger.last()->describe().toStdString());
    if (!ledger.doubts().empty())
        reply.lines.push_back("printer-doubts: " + std::to_string(ledger.doubts().size()));
    if (!ledger.lastVerdict().empty())
        addText(reply, "printer-doubt-outcome", ledger.lastVerdict());
    // The panels as the operator sees them, never the widgets' names.
    addText(reply, "errore stampante", window.printerErrorText());
    addText(reply, "errore programma", window.programErrorText());
    addText(reply, "last-error", state.lastErrorText);
    reply.lines.push_back("files-waiting: " + std::to_string(filesWaiting()));
    if (!m_lastFile.name.empty() && !m_lastFile.running) {
        const std::vector<std::string> name = displayLines(m_lastFile.name);
        reply.lines.push_back("last-file: " + (name.empty() ? std::string() : name.front()) + " (" +
                              m_lastFile.outcome + ")");
    }
    const DayCounts day = today();
    reply.lines.push_back("files-today: " + std::to_string(day.run) + " eseguiti, " + std::to_string(day.failed) +
                          " non riusciti, " + std::to_string(day.notRun) + " non eseguiti");
    reply.lines.push_back("uptime: " + std::to_string(uptimeSeconds()) + " s");
    reply.lines.push_back("version: " TESSIRO_VERSION);
}

std::string ControlServer::stateJson() const
{
    const SharedState& state = m_bridge.state();
    OperatorWindow& window = m_bridge.window();
    QJsonObject o;
    o[QStringLiteral("error_state")] = state.errorState;
    o[QStringLiteral("printer_error")] = jsonText(window.printerErrorText());
    o[QStringLiteral("program_error")] = jsonText(window.programErrorText());
    o[QStringLiteral("last_error")] = jsonText(state.lastErrorText);
    const std::string when = errorTime(state.lastErrorText);
    o[QStringLiteral("last_error_time")] = when.empty() ? QJsonValue() : QJsonValue(fromCp1252(when));
    o[QStringLiteral("files_waiting")] = filesWaiting();
    o[QStringLiteral("batch_running")] = state.batchRunning;
    o[QStringLiteral("current_file")] = state.batchRunning ? QJsonValue(fromCp1252(state.currentFileName()))
                                                           : QJsonValue();
    const bool done = !m_lastFile.name.empty() && !m_lastFile.running;
    o[QStringLiteral("last_file")] = done ? QJsonValue(fromCp1252(m_lastFile.name)) : QJsonValue();
    o[QStringLiteral("last_file_outcome")] = done ? QJsonValue(QString::fromStdString(m_lastFile.outcome))
                                                  : QJsonValue();
    o[QStringLiteral("uptime_seconds")] = static_cast<qint64>(uptimeSeconds());
    o[QStringLiteral("version")] = QStringLiteral(TESSIRO_VERSION);
    // Since midnight, local time.
    const DayCounts day = today();
    o[QStringLiteral("files_run_today")] = day.run;
    o[QStringLiteral("files_failed_today")] = day.failed;
    o[QStringLiteral("files_not_run_today")] = day.notRun;
    if (!state.printerDescription.empty())
        o[QStringLiteral("printer")] = QString::fromStdString(state.printerDescription);
    // The LAN printer's own numbers, kept beside Stampante.ini.
    const LanLedger ledger(state.programDir);
    const auto& last = ledger.last();
    const auto count = [](long n) { return n >= 0 ? QJsonValue(qint64(n)) : QJsonValue(); };
    o[QStringLiteral("last_receipt_number")] = last ? count(last->receipt) : QJsonValue();
    o[QStringLiteral("last_z_number")] = last ? count(last->z) : QJsonValue();
    o[QStringLiteral("last_receipt_amount")] = last && !last->amount.isEmpty() ? QJsonValue(last->amount)
                                                                               : QJsonValue();
    o[QStringLiteral("receipts_in_doubt")] = qint64(ledger.doubts().size());
    o[QStringLiteral("doubt_outcome")] = ledger.lastVerdict().empty() ? QJsonValue()
                                                                      : QJsonValue(fromCp1252(ledger.lastVerdict()));
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}
