// The dump's collection of names and values, stepped with a fake clock.
#include <gtest/gtest.h>

#include "DeviceTestUtil.h"
#include "device/DeviceDump.h"

#include <atomic>

using testutil::FakeClock;
using testutil::U16;

namespace {

TEST(DeviceDumpTest, WithoutAnOpenPortItEndsAtOnceAndUnreadValuesStay)
{
    FakeClock clock;
    cActionManager manager;
    manager.BuildRegisterMap();
    ModbusAction *known = manager.Shell.FindVariable(MString(u"Reg.ChargeI"));
    known->Value = MString(u"1,5");

    const uint32_t start = clock.Now();
    DumpOutcome outcome;
    const auto entries = CollectDumpEntries(manager, &outcome);
    EXPECT_EQ(clock.Now(), start);  // no fixed count of passes to sit out
    EXPECT_EQ(outcome.Unread, 120);
    EXPECT_FALSE(outcome.ConnectionLost);  // there was none to lose

    ASSERT_EQ(entries.size(), 120u);
    for (size_t i = 0; i < entries.size(); ++i) {
        ModbusAction *v = manager.Shell.Actions.At(static_cast<int>(i));
        EXPECT_EQ(v->State, mbsRequested);  // every variable was asked for
        EXPECT_EQ(U16(entries[i].first), U16(v->Name));
        EXPECT_EQ(U16(entries[i].second), v == known ? u"1,5" : u"--");
    }
}

TEST(DeviceDumpTest, AStopRequestEndsTheDumpAtOnce)
{
    FakeClock clock;
    cActionManager manager;
    manager.BuildRegisterMap();
    for (int i = 0; ModbusAction *v = manager.Shell.Actions.At(i); ++i)
        v->Value = MString::FromInt(i);
    const std::atomic<bool> stop{true};
    const uint32_t start = clock.Now();
    DumpOutcome outcome;
    const auto entries = CollectDumpEntries(manager, &outcome, &stop);
    EXPECT_EQ(clock.Now(), start);  // no sleep at all
    EXPECT_TRUE(outcome.Stopped);
    ASSERT_EQ(entries.size(), 120u);
    EXPECT_EQ(U16(entries[119].second), u"119");  // earlier texts stay
    EXPECT_EQ(U16(entries[119].first), u"Extremes.bReset");
}

}  // namespace
