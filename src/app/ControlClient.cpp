// SPDX-License-Identifier: MIT
#include "app/ControlClient.h"

#include "app/ControlProtocol.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

ControlReply failure(ControlReply::Status status, std::string message)
{
    ControlReply r;
    r.status = status;
    r.message = std::move(message);
    return r;
}

std::string seconds(std::chrono::milliseconds timeout)
{
    return std::to_string((timeout.count() + 999) / 1000) + " s";
}

// Whether a reply of `stato` says an error stands.
bool errorStands(const std::string& command, const std::vector<std::string>& lines)
{
    if (command == control::StatoJson) {
        if (lines.empty())
            return false;
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(lines.front()));
        return doc.object().value(QStringLiteral("error_state")).toBool();
    }
    for (const std::string& line : lines)
        if (line == "error-state: yes")
            return true;
    return false;
}

} // namespace

control::SocketPlaces control::socketPlaces()
{
    SocketPlaces places;
    places.uid = ::geteuid();
    places.userRun = fs::path("/run/user") / std::to_string(places.uid);
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"))
        places.runtimeDir = runtime;
    if (const char* cache = std::getenv("XDG_CACHE_HOME"))
        places.cacheHome = cache;
    if (const char* home = std::getenv("HOME"); home && *home)
        places.home = home;
    else if (const passwd* entry = ::getpwuid(places.uid); entry && entry->pw_dir)
        places.home = entry->pw_dir;
    return places;
}

control::SocketFolder control::chooseSocketFolder(const SocketPlaces& places)
{
    // Every socket is named by 32 hexadecimal digits and ".sock".
    constexpr std::size_t SocketName = 1 + 32 + 5;
    const auto absolute = [](const std::string& text) { return !text.empty() && text.front() == '/'; };

    if (absolute(places.runtimeDir))
        return {fs::path(places.runtimeDir) / "tessiro", {}};
    // The system makes the user's runtime folder, owned by the user and
    // closed to others, at login; one made by someone else, or a link, is
    // passed over.
    struct stat st {};
    if (::lstat(places.userRun.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == places.uid &&
        (st.st_mode & 022) == 0)
        return {places.userRun / "tessiro", {}};
    // Else the user's cache folder: inside the home, where no other user can
    // make a folder first, and meant for what need not be kept (a socket
    // means nothing once its bridge is gone).
    fs::path cache;
    if (absolute(places.cacheHome))
        cache = fs::path(places.cacheHome) / "tessiro";
    else if (absolute(places.home))
        cache = fs::path(places.home) / ".cache" / "tessiro";
    if (!cache.empty() && cache.string().size() + SocketName <= MaxSocketPath)
        return {cache, {}};
    // No home, or one too deep for a socket address: the shared temporary
    // folder, under a name another user could take first. Such a folder is
    // refused, never used, so the socket cannot be stolen, only blocked.
    const fs::path tmp = fs::path("/tmp") / ("tessiro-" + std::to_string(places.uid));
    const std::string why = cache.empty() ? "no home folder is known"
                                          : cache.string() + " makes the control socket's path longer than " +
                                                std::to_string(MaxSocketPath) + " bytes";
    return {tmp, "control socket in " + tmp.string() + " (" + why +
                     "); another user who makes that folder first blocks tessiro ctl: set XDG_RUNTIME_DIR to a "
                     "private folder to avoid it"};
}

fs::path control::socketFolder()
{
    return chooseSocketFolder(socketPlaces()).path;
}

fs::path control::socketPath(const fs::path& programDir)
{
    std::error_code ec;
    fs::path canonical = fs::weakly_canonical(fs::absolute(programDir, ec), ec);
    if (ec)
        canonical = fs::absolute(programDir, ec).lexically_normal();
    const std::string bytes = canonical.string();
    const QByteArray digest = QCryptographicHash::hash(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())),
                                                       QCryptographicHash::Sha256)
                                  .toHex()
                                  .left(32);
    return socketFolder() / (digest.toStdString() + ".sock");
}

bool control::prepareSocketFolder(const fs::path& folder, std::string& why)
{
    // The folders above it too (a new home's .cache), closed to others.
    fs::path missing;
    for (const fs::path& part : folder.parent_path()) {
        missing /= part;
        if (::mkdir(missing.c_str(), 0700) != 0 && errno != EEXIST)
            break; // said below, as the folder's own failure
    }
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        why = "cannot create the control socket folder " + folder.string() + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) {
        why = "cannot look at the control socket folder " + folder.string() + ": " + std::strerror(errno);
        return false;
    }
    // A folder put there by someone else (or a link to one) under /tmp could
    // let them take the socket's place.
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        why = folder.string() + " is not a folder of this user; tessiro ctl is not available";
        return false;
    }
    if ((st.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) {
        why = "cannot make " + folder.string() + " private: " + std::strerror(errno);
        return false;
    }
    return true;
}

ControlReply askBridge(const fs::path& programDir, const std::string& command, std::chrono::milliseconds timeout)
{
    const fs::path path = control::socketPath(programDir);
    const std::string dir = programDir.string();
    if (command.size() > control::MaxRequest || command.find_first_of("\r\n") != std::string::npos)
        return failure(ControlReply::Status::BadReply, "the command is not a single short line");

    // The server cannot listen on a longer path either (sun_path).
    if (path.string().size() > control::MaxSocketPath)
        return failure(ControlReply::Status::NoBridge,
                       "no bridge can be reached on " + dir + ": the control socket's path is too long");

    const QDeadlineTimer deadline(timeout.count());
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(path.string()));
    if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
        switch (socket.error()) {
        case QLocalSocket::ServerNotFoundError:
            return failure(ControlReply::Status::NoBridge, "no bridge is running on " + dir);
        case QLocalSocket::ConnectionRefusedError:
            return failure(ControlReply::Status::NoBridge,
                           "no bridge is running on " + dir + " (its control socket was left behind)");
        case QLocalSocket::SocketAccessError:
            return failure(ControlReply::Status::NoBridge, "the bridge on " + dir + " belongs to another user (" +
                                                               path.string() + ": permission denied)");
        case QLocalSocket::SocketTimeoutError:
            return failure(ControlReply::Status::NoAnswer,
                           "the bridge on " + dir + " did not accept the connection within " + seconds(timeout));
        default:
            return failure(ControlReply::Status::NoBridge,
                           "cannot reach a bridge on " + dir + ": " + socket.errorString().toStdString());
        }
    }

    const std::string request = command + "\n";
    socket.write(request.data(), static_cast<qint64>(request.size()));
    if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime())) && socket.bytesToWrite() > 0)
        return failure(ControlReply::Status::NoAnswer,
                       "the bridge on " + dir + " did not take the request within " + seconds(timeout));

    ControlReply reply;
    qint64 received = 0;
    for (;;) {
        while (socket.canReadLine()) {
            QByteArray line = socket.readLine();
            received += line.size();
            line.chop(1);
            const std::string text = line.toStdString();
            if (text.rfind(control::DataPrefix, 0) == 0) {
                reply.lines.push_back(text.substr(control::DataPrefix.size()));
            } else if (text == control::StatusOk) {
                reply.status = ControlReply::Status::Done;
                return reply;
            } else if (text.rfind(control::StatusError, 0) == 0) {
                reply.status = ControlReply::Status::Refused;
                reply.message = text.substr(control::StatusError.size());
                return reply;
            } else {
                return failure(ControlReply::Status::BadReply,
                               "the program on " + path.string() + " does not speak the control protocol");
            }
        }
        if (received + socket.bytesAvailable() > static_cast<qint64>(control::MaxReply))
            return failure(ControlReply::Status::BadReply, "the reply from " + path.string() + " is too long");
        if (socket.state() != QLocalSocket::ConnectedState && socket.bytesAvailable() == 0)
            return failure(ControlReply::Status::BadReply,
                           "the bridge on " + dir + " closed the connection without an answer");
        if (deadline.hasExpired() || !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            if (socket.canReadLine())
                continue;
            if (socket.state() != QLocalSocket::ConnectedState)
                return failure(ControlReply::Status::BadReply,
                               "the bridge on " + dir + " closed the connection without an answer");
            return failure(ControlReply::Status::NoAnswer,
                           "the bridge on " + dir + " did not answer within " + seconds(timeout) +
                               " (a batch may be under way); the command runs only if it had already started");
        }
    }
}

int runControl(const fs::path& programDir, const std::string& command, std::ostream& out, std::ostream& err,
               std::chrono::milliseconds timeout)
{
    const ControlReply reply = askBridge(programDir, command, timeout);
    for (const std::string& line : reply.lines)
        out << line << '\n';
    out.flush();
    switch (reply.status) {
    case ControlReply::Status::Done:
        // For monitoring: `stato` fails while an error stands.
        return errorStands(command, reply.lines) ? ExitControlRefused : 0;
    case ControlReply::Status::Refused:
        err << "tessiro: " << command << ": " << reply.message << '\n';
        return ExitControlRefused;
    case ControlReply::Status::BadReply: err << "tessiro: " << reply.message << '\n'; return ExitControlRefused;
    case ControlReply::Status::NoBridge:
    case ControlReply::Status::NoAnswer: break;
    }
    err << "tessiro: " << reply.message << '\n';
    return ExitNoBridge;
}
