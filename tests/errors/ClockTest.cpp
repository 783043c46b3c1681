#include "errors/Clock.h"
#include "support/FakeClock.h"

#include <gtest/gtest.h>

#include <cctype>
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
                         ::testing::Values("C", "POSIX", "C.UTF-8", "it_IT.UTF-8", "it_IT", "en_US.UTF-8", "de_DE.UTF-8"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name;
                             for (const char* p = info.param; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

} // namespace
