// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

#include <filesystem>
#include <memory>
#include <string>

class Clock;
class SimulatedPrinter;

// The simulated printer of a program folder behind the LAN printers' XML
// service: each request is read whole, checked, and played element by
// element on the simulator (its roll, state, trace and faults), and put on
// its roll and counters in one durable commit at the end; the reply
// carries the success flag, error keyword, status and status digits a
// printer of the series sends. A failure stops the document where it
// happened, as on a printer. The simulator's port is opened for each request
// and closed after it, so the folder's other users see it free between
// requests. Not thread-safe: one request at a time.
class SimService {
public:
    // A receipt's reply carries the date and time of `clock`.
    SimService(const std::filesystem::path& programDir, Clock& clock);
    ~SimService();

    // The reply to one request body (UTF-8 XML).
    QByteArray handle(const QByteArray& body);
    // What the last request could not do on the simulator's side (its port
    // would not open), for the server's own output; empty when nothing.
    const std::string& lastProblem() const { return m_problem; }
    // The last request was a document the simulator printed (or refused)
    // whose reply guasti.ini asks to lose (PerdiRisposta): the server drops
    // the connection instead of answering, as a printer whose reply never
    // reached the client.
    bool replyLost() const { return m_replyLost; }

private:
    struct Request;
    QByteArray play(const Request& request);

    std::unique_ptr<SimulatedPrinter> m_printer;
    Clock& m_clock;
    std::string m_problem;
    bool m_replyLost = false;
};

// The keyword and status a printer of the series answers for a simulator
// code (0: success).
struct ServiceFailure {
    const char* keyword;
    int status;
};
ServiceFailure serviceFailureFor(int16_t simCode);
