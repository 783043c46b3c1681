#include "errors/Clock.h"
#include "support/FakeClock.h"

#include <gtest/gtest.h>

namespace {

class LogTime : public ::testing::Test {
protected:
    FakeClock clock;
};

TEST_F(LogTime, DateTimeTextIsTheLocaleShortDateABlankAndLongTime)
{
    // The tests run under the C locale: %x is mm/dd/yy.
    EXPECT_EQ(dateTimeText(clock.localNow()), "12/08/26 14:05:09");
}

TEST_F(LogTime, RenewalStampHasNoHour)
{
    EXPECT_EQ(renewalStamp(clock.localNow()), "202612080509");
    clock.now.tm_hour = 3;
    EXPECT_EQ(renewalStamp(clock.localNow()), "202612080509");
}

TEST_F(LogTime, RenewalStampPadsEveryField)
{
    clock.now.tm_year = 2027 - 1900;
    clock.now.tm_mon = 0;
    clock.now.tm_mday = 2;
    clock.now.tm_min = 3;
    clock.now.tm_sec = 4;
    EXPECT_EQ(renewalStamp(clock.localNow()), "202701020304");
}

} // namespace
