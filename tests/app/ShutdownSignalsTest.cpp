// SPDX-License-Identifier: MIT
#include "app/ShutdownSignals.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <csignal>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<int> deliver(ShutdownSignals& shutdown, int signalNumber)
{
    std::vector<int> received;
    QObject::connect(&shutdown, &ShutdownSignals::received, [&](int n) { received.push_back(n); });
    std::raise(signalNumber);
    for (int i = 0; i < 100 && received.empty(); ++i)
        QCoreApplication::processEvents();
    return received;
}

class ShutdownSignalsDelivery : public ::testing::TestWithParam<int> {};

TEST_P(ShutdownSignalsDelivery, SignalArrivesThroughTheEventLoop)
{
    ShutdownSignals shutdown;
    ASSERT_TRUE(shutdown.installed());
    EXPECT_EQ(deliver(shutdown, GetParam()), std::vector<int>{GetParam()});
}

INSTANTIATE_TEST_SUITE_P(Signals, ShutdownSignalsDelivery, ::testing::Values(SIGTERM, SIGINT),
                         rownames::by([](int signal) { return std::string("SIG") + sigabbrev_np(signal); }));

TEST(ShutdownSignalsReload, HangupAsksForAReloadAndEndsNothing)
{
    ShutdownSignals shutdown;
    ASSERT_TRUE(shutdown.installed());
    int reloads = 0;
    QObject::connect(&shutdown, &ShutdownSignals::reloadRequested, [&] { ++reloads; });
    EXPECT_TRUE(deliver(shutdown, SIGHUP).empty());
    EXPECT_EQ(reloads, 1);
}

TEST(ShutdownSignalsLifetime, PreviousHandlersComeBackWhenDestroyed)
{
    struct sigaction before {};
    ::sigaction(SIGTERM, nullptr, &before);
    {
        ShutdownSignals shutdown;
        ASSERT_TRUE(shutdown.installed());
        struct sigaction during {};
        ::sigaction(SIGTERM, nullptr, &during);
        EXPECT_NE(during.sa_handler, before.sa_handler);
    }
    struct sigaction after {};
    ::sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

} // namespace
