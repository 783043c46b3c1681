// SPDX-License-Identifier: MIT
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

} // namespace
