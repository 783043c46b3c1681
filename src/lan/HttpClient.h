// SPDX-License-Identifier: MIT
#pragma once

#include "lan/LanReply.h"

#include <QByteArray>
#include <QString>

#include <QDeadlineTimer>

#include <chrono>
#include <functional>
#include <optional>

// Where the LAN printer listens: http:// or https://, host and port.
struct LanEndpoint {
    bool tls = false;
    QString host;
    quint16 port = 80;

    // "http://HOST[:PORT]" or "https://HOST[:PORT]", a trailing "/" allowed;
    // nullopt with `why` set for anything else.
    static std::optional<LanEndpoint> parse(const QString& address, QString* why = nullptr);
    QString address() const; // as parse() takes it
};

// One POST to the printer's service over a plain socket, waiting without
// running the application's event loop: nothing else of the bridge (a timer
// tick, a control command) runs in the middle of a send. The network access
// manager would need a running loop, nested here, which would let them in. Over https the
// certificate must be the pinned one (its SHA-256 fingerprint); a TLS error
// is accepted for that certificate only, never for another.
class HttpClient {
public:
    static constexpr const char* ServicePath = "/cgi-bin/fpmate.cgi";

    explicit HttpClient(LanEndpoint endpoint, QString pinnedFingerprint = {});

    // `serviceTimeoutMs` goes in the query (how long the service waits for
    // the fiscal unit); `clientTimeoutMs` bounds the whole exchange here.
    HttpOutcome post(const QByteArray& body, int serviceTimeoutMs, int clientTimeoutMs) const;

    const LanEndpoint& endpoint() const { return m_endpoint; }
    const QString& pin() const { return m_pin; }

    // Told before every slice of a wait on the printer (WaitSlice), so the
    // service watchdog hears from a bridge that waits long. May be empty.
    std::function<void()> whileWaiting;

private:
    LanEndpoint m_endpoint;
    QString m_pin;
};

// The longest stretch a wait on the printer blocks without telling anyone.
inline constexpr std::chrono::milliseconds WaitSlice{250};
// One slice of a wait: done, not yet (the slice ran out), or failed.
enum class SliceResult { Done, Again, Failed };
// Waits in slices of at most WaitSlice until `slice` (given the slice's
// milliseconds) is done or fails, or the deadline passes; `working` (may be
// empty) is told before each slice. True when done.
bool waitInSlices(const QDeadlineTimer& deadline, const std::function<SliceResult(int ms)>& slice,
                  const std::function<void()>& working);

// The SHA-256 fingerprint ("AB:CD:...") of the certificate the https
// endpoint shows, read without trusting it, or nullopt with `why` set.
std::optional<QString> fetchFingerprint(const LanEndpoint& endpoint, int timeoutMs, QString* why);
