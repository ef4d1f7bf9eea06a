#include <gtest/gtest.h>

#include "platform/rtl/work_meter.h"

TEST(WorkMeter, AllowsWhatTheInputAndGrantsPayFor)
{
    const uint64_t input = 1000;
    const uint64_t allowance = TWorkMeter::BaseAllowance + input * TWorkMeter::PerInputByte;
    struct Case {
        uint64_t granted, charged;
        bool refused;
    } cases[] = {
        {0, allowance, false},
        {0, allowance + 1, true},
        {500, allowance + 500, false},
        {500, allowance + 501, true},
        {UINT64_MAX, UINT64_MAX - 1, false},  // grants saturate instead of wrapping
        {0, UINT64_MAX, true},
    };
    for (const Case& c : cases) {
        TWorkMeter meter(input);
        meter.Grant(c.granted);
        // Charged in two parts: what counts is the sum.
        const auto charge = [&] {
            meter.Charge(c.charged / 2);
            meter.Charge(c.charged - c.charged / 2);
        };
        if (c.refused) {
            EXPECT_THROW(charge(), EWorkSpent) << c.granted << " " << c.charged;
        } else {
            EXPECT_NO_THROW(charge()) << c.granted << " " << c.charged;
        }
    }
    // A count times a cost that does not fit charges everything.
    EXPECT_EQ(TWorkMeter::Product(uint64_t(1) << 40, uint64_t(1) << 40), UINT64_MAX);
    TWorkMeter huge(UINT64_MAX);
    EXPECT_EQ(huge.Allowance(), UINT64_MAX);
}

TEST(WorkMeter, ScopesShareTheOutermostLoadsMeter)
{
    EXPECT_EQ(TWorkScope::Current(), nullptr);
    ChargeWork(UINT64_MAX);  // outside a load nothing is counted
    {
        TWorkScope outer(10);
        EXPECT_EQ(TWorkScope::Current(), &outer.Meter());
        {
            // A picture inside a picture: its bytes are counted already.
            TWorkScope inner(1u << 30);
            EXPECT_EQ(&inner.Meter(), &outer.Meter());
            GrantWork(7);
            ChargeWork(3);
        }
        EXPECT_EQ(TWorkScope::Current(), &outer.Meter());
        EXPECT_EQ(outer.Meter().Allowance(), TWorkMeter::BaseAllowance + 10 * TWorkMeter::PerInputByte + 7);
        EXPECT_EQ(outer.Meter().Spent(), 3u);
        EXPECT_THROW(ChargeWork(outer.Meter().Allowance()), EWorkSpent);
    }
    EXPECT_EQ(TWorkScope::Current(), nullptr);
}

TEST(WorkMeter, OnlyTheOutermostLoadRefusesWithItsOwnError)
{
    struct EInner {};
    struct EOuter {};
    const auto spend = [] { ChargeWork(UINT64_MAX); };
    EXPECT_THROW(MeteredLoad(1, spend, [] { throw EOuter(); }), EOuter);
    EXPECT_THROW(MeteredLoad(
                     1, [&] { MeteredLoad(1, spend, [] { throw EInner(); }); }, [] { throw EOuter(); }),
                 EOuter);
    // Grants for output widen the allowance in proportion.
    TWorkMeter meter(0);
    meter.GrantOutput(100);
    EXPECT_EQ(meter.Allowance(), TWorkMeter::BaseAllowance + 100 * TWorkMeter::PerOutputByte);
}
