// SPDX-License-Identifier: MIT
#include "bridge/RecordingPrinter.h"
#include "app/SystemdNotify.h"
#include "bridge/Bridge.h"
#include "core/SharedState.h"
#include "lan/HttpClient.h"
#include "support/FakeClock.h"
#include "support/FakeWindow.h"
#include "support/Files.h"
#include "support/ProgramFolder.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstring>
#include <ostream>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// A datagram socket standing in for the service manager's.
class ManagerSocket {
public:
    explicit ManagerSocket(const std::string& name)
    {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, name.data(), name.size());
        if (name.front() == '@')
            address.sun_path[0] = '\0';
        const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size());
        m_bound = ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), length) == 0;
    }
    ~ManagerSocket() { ::close(m_fd); }
    ManagerSocket(const ManagerSocket&) = delete;
    ManagerSocket& operator=(const ManagerSocket&) = delete;

    bool bound() const { return m_bound; }
    // Every message waiting, in order.
    std::vector<std::string> received()
    {
        std::vector<std::string> out;
        char buffer[4096];
        for (ssize_t n; (n = ::recv(m_fd, buffer, sizeof buffer, 0)) >= 0;)
            out.emplace_back(buffer, static_cast<std::size_t>(n));
        return out;
    }

private:
    int m_fd = -1;
    bool m_bound = false;
};

class Notify : public ::testing::Test {
protected:
    std::string socketName() const { return m_tmp.filePath(QStringLiteral("notify")).toStdString(); }
    SystemdNotify notifier(const QByteArray& usec = {}, const QByteArray& pid = {}) const
    {
        return SystemdNotify(m_watchClock, QByteArray::fromStdString(socketName()), usec, pid);
    }

    QTemporaryDir m_tmp;
    FakeClock m_watchClock;
};

TEST_F(Notify, WithoutASocketNothingIsSent)
{
    SystemdNotify none(m_watchClock, {}, "180000000", {});
    EXPECT_FALSE(none.enabled());
    EXPECT_FALSE(none.send("READY=1"));
    EXPECT_EQ(none.watchdogInterval().count(), 0);
}

TEST_F(Notify, AMessageReachesThePathSocket)
{
    ManagerSocket manager(socketName());
    ASSERT_TRUE(manager.bound());
    EXPECT_TRUE(notifier().send("READY=1"));
    EXPECT_EQ(manager.received(), std::vector<std::string>{"READY=1"});
}

TEST_F(Notify, AMessageReachesAnAbstractSocket)
{
    const std::string name = "@tessiro-test-" + std::to_string(::getpid());
    ManagerSocket manager(name);
    ASSERT_TRUE(manager.bound());
    EXPECT_TRUE(SystemdNotify(m_watchClock, QByteArray::fromStdString(name), {}, {}).send("STATUS=x"));
    EXPECT_EQ(manager.received(), std::vector<std::string>{"STATUS=x"});
}

struct WatchdogCase {
    const char* name;
    QByteArray usec;
    bool ownPid;
    QByteArray otherPid;
    long long expectedMs;
};

std::ostream& operator<<(std::ostream& out, const WatchdogCase& c)
{
    return out << c.name;
}

class NotifyWatchdog : public Notify, public ::testing::WithParamInterface<WatchdogCase> {};

TEST_P(NotifyWatchdog, PeriodComesFromTheEnvironmentForThisProcessOnly)
{
    const WatchdogCase& c = GetParam();
    const QByteArray pid = c.ownPid ? QByteArray::number(::getpid()) : c.otherPid;
    EXPECT_EQ(notifier(c.usec, pid).watchdogInterval().count(), c.expectedMs);
}

INSTANTIATE_TEST_SUITE_P(Environments, NotifyWatchdog,
                         ::testing::Values(WatchdogCase{"NoWatchdog", {}, false, {}, 0},
                                           WatchdogCase{"ThreeMinutes", "180000000", false, {}, 180000},
                                           WatchdogCase{"ForThisProcess", "180000000", true, {}, 180000},
                                           WatchdogCase{"ForAnotherProcess", "180000000", false, "1", 0},
                                           WatchdogCase{"NotANumber", "tre minuti", false, {}, 0}),
                         rownames::byName);

TEST_F(Notify, KeepAliveIsSentOnceAQuarterPeriodHoweverOftenItIsCalled)
{
    ManagerSocket manager(socketName());
    SystemdNotify notify = notifier("180000000");
    for (int i = 0; i < 50; ++i)
        notify.keepAlive();
    EXPECT_EQ(manager.received().size(), 1u) << "rapid calls are merged";
    m_watchClock.slept += 45s - 1ms;
    notify.keepAlive();
    EXPECT_EQ(manager.received().size(), 0u) << "sent again before a quarter period";
    m_watchClock.slept += 1ms;
    notify.keepAlive();
    EXPECT_EQ(manager.received(), std::vector<std::string>{"WATCHDOG=1"}) << "not sent again after a quarter period";
}

// The watchdog hears from a bridge that works, however long the work takes:
// in every slice of a wait on the printer, between records and between
// files. The printer's calls take a quarter period each on the fake clock.
class NotifyWhileWorking : public Notify, public ProgramFolder {
protected:
    void SetUp() override { m_clock.onWorking = [this] { m_notify.keepAlive(); }; }

    ManagerSocket m_manager{socketName()};
    // On the bridge's clock. WatchdogSec=4: a ping a second.
    SystemdNotify m_notify{m_clock, QByteArray::fromStdString(socketName()), "4000000", {}};
};

TEST_F(NotifyWhileWorking, PrinterWaitOfNSlicesSendsAtLeastNPings)
{
    constexpr int Slices = 12;
    int slices = 0;
    std::size_t pings = 0;
    const bool done = waitInSlices(
        QDeadlineTimer(QDeadlineTimer::Forever),
        [&](int ms) {
            EXPECT_LE(std::chrono::milliseconds(ms), WaitSlice);
            pings += m_manager.received().size();
            m_clock.slept += 1s; // the printer answers nothing for a while
            return ++slices == Slices ? SliceResult::Done : SliceResult::Again;
        },
        [this] { m_clock.stillWorking(); });
    ASSERT_TRUE(done);
    EXPECT_GE(pings + m_manager.received().size(), std::size_t(Slices));
}

TEST_F(NotifyWhileWorking, PingsGoOutBetweenRecordsAndBetweenFiles)
{
    configure({"Eps_COM=1", "Eps_Setting=9600,N,8,1"});
    bridgetest::RecordingPrinter printer;
    Bridge bridge(m_state, m_window, m_clock, printer);
    bridge.start();
    // Each record and each file takes the printer a whole second and never
    // waits on a busy printer: only the pings of the work itself go out.
    std::size_t pings = 0;
    printer.onCall = [&] {
        pings += m_manager.received().size();
        m_clock.slept += 1s;
    };
    testfiles::write(m_state.dropDir() / "a.txt", "V1:1\r\nV1:2\r\nV1:3\r\n");
    testfiles::write(m_state.dropDir() / "b.txt", "V1:4\r\n");
    m_manager.received();

    bridge.tick();

    ASSERT_EQ(printer.count("OpenCmd"), 4);
    EXPECT_GE(pings + m_manager.received().size(), 4u);
}

TEST_F(Notify, ReadyAfterTheFirstReportThenStatusOnEveryChangeOfTheErrorState)
{
    ManagerSocket manager(socketName());
    SystemdNotify notify = notifier();
    ServiceReporter reporter(notify);
    SharedState state;

    reporter.report(state);
    reporter.report(state);
    EXPECT_EQ(manager.received(), std::vector<std::string>{"READY=1\nSTATUS=In attesa di file"});

    state.errorState = true;
    state.lastErrorText = "08/12/2026 14:05:09\r\nREPARTO INESISTENTE \x80";
    reporter.report(state);
    reporter.report(state);
    EXPECT_EQ(
        manager.received(),
        std::vector<std::string>{"STATUS=Errore in sospeso: 08/12/2026 14:05:09 REPARTO INESISTENTE \xE2\x82\xAC"});

    state.errorState = false;
    reporter.report(state);
    EXPECT_EQ(manager.received(), std::vector<std::string>{"STATUS=In attesa di file"});
}

} // namespace
