// SPDX-License-Identifier: MIT
#include "core/Clock.h"
#include "support/FakeClock.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <clocale>
#include <string>

namespace {

class LogTime : public ::testing::Test {
protected:
    FakeClock clock;
};

TEST_F(LogTime, DateTimeTextIsDayMonthFourDigitYearAndTheTime)
{
    EXPECT_EQ(dateTimeText(clock.localNow()), "08/12/2026 14:05:09");
}

TEST_F(LogTime, SingleDigitPartsArePaddedWithZeros)
{
    clock.now.tm_mday = 1;
    clock.now.tm_mon = 0;
    clock.now.tm_hour = 7;
    clock.now.tm_min = 3;
    clock.now.tm_sec = 4;
    EXPECT_EQ(dateTimeText(clock.localNow()), "01/01/2026 07:03:04");
}

TEST_F(LogTime, RenewalStampHasNoHour)
{
    EXPECT_EQ(renewalStamp(clock.localNow()), "202612080509");
    clock.now.tm_hour = 3;
    EXPECT_EQ(renewalStamp(clock.localNow()), "202612080509");
}

// The process locale a till may run under, installed or not: a locale that
// is not generated leaves the C library at "C", which is the case the
// records must survive.
class LogTimeUnderLocale : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override { m_saved = std::setlocale(LC_ALL, nullptr); }
    void TearDown() override { std::setlocale(LC_ALL, m_saved.c_str()); }

    FakeClock m_clock;
    std::string m_saved;
};

TEST_P(LogTimeUnderLocale, RecordsCarryTheSameDateText)
{
    std::setlocale(LC_ALL, GetParam());
    EXPECT_EQ(dateTimeText(m_clock.localNow()), "08/12/2026 14:05:09");
}

INSTANTIATE_TEST_SUITE_P(Locales, LogTimeUnderLocale,
                         ::testing::Values("C", "POSIX", "C.UTF-8", "it_IT.UTF-8", "it_IT", "en_US.UTF-8",
                                           "de_DE.UTF-8"),
                         rownames::by([](const char* locale) { return locale; }));

// The Italian locale itself, generated for the test when the machine has
// its sources (a till usually has not): the records read as the Italian
// short date and long time give them.
TEST(LogTimeItalian, MatchesTheItalianShortDateAndLongTime)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("it_IT.UTF-8"));
    QProcess localedef;
    localedef.start(QStringLiteral("localedef"), {QStringLiteral("-i"), QStringLiteral("it_IT"), QStringLiteral("-f"),
                                                  QStringLiteral("UTF-8"), target});
    if (!localedef.waitForFinished(60000) || localedef.exitStatus() != QProcess::NormalExit || !QFile::exists(target))
        GTEST_SKIP() << "the it_IT locale cannot be generated here";

    const std::string saved = std::setlocale(LC_ALL, nullptr);
    const QByteArray savedPath = qgetenv("LOCPATH");
    qputenv("LOCPATH", QFile::encodeName(dir.path()));
    const bool italian = std::setlocale(LC_ALL, "it_IT.UTF-8") != nullptr;
    FakeClock clock;
    char local[64] = {};
    const std::tm now = clock.localNow();
    if (italian)
        std::strftime(local, sizeof local, "%x %X", &now);
    const std::string text = dateTimeText(now);
    std::setlocale(LC_ALL, saved.c_str());
    if (savedPath.isNull())
        qunsetenv("LOCPATH");
    else
        qputenv("LOCPATH", savedPath);

    ASSERT_TRUE(italian);
    EXPECT_EQ(std::string(local), "08/12/2026 14:05:09");
    EXPECT_EQ(text, local);
}

} // namespace
