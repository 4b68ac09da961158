#include "core/MicroTask.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "testkit/FakeClock.h"

using testkit::FakeClock;

namespace {

// A task that records its runs into a shared log.
class LogTask : public MicroTaskBase {
public:
    LogTask(std::string name, std::vector<std::string> &log) : name_(std::move(name)), log_(log) {}
    void Run() override
    {
        log_.push_back(name_);
        if (onRun)
            onRun();
    }
    void Register(uint16_t divider, uint32_t periodMs) { TaskManager.Register(this, divider, periodMs); }
    std::function<void()> onRun;

private:
    std::string name_;
    std::vector<std::string> &log_;
};

class SchedulerTest : public ::testing::Test {
protected:
    MicroTmCore &Core() { return *MicroTaskManager::Core(); }
    MicroTaskInfo &Entry(int i) { return *Core().Tasks.At(i); }

    FakeClock clock{1000};
    MicroTaskManager manager;  // keeps one core for the whole test
    std::vector<std::string> log;
};

TEST(SchedulerCoreTest, HandlesShareOneCoreThatLivesWhileAnyHandleDoes)
{
    const uint16_t before = MicroTaskManager::RefCount();
    {
        MicroTaskManager a;
        MicroTmCore *core = MicroTaskManager::Core();
        ASSERT_NE(core, nullptr);
        {
            MicroTaskManager b = a;  // a copy is a handle of its own
            EXPECT_EQ(MicroTaskManager::RefCount(), before + 2);
            EXPECT_EQ(MicroTaskManager::Core(), core);
        }
        EXPECT_EQ(MicroTaskManager::Core(), core);
    }
    EXPECT_EQ(MicroTaskManager::RefCount(), before);
    if (before == 0) {
        EXPECT_EQ(MicroTaskManager::Core(), nullptr);
    }
}

TEST_F(SchedulerTest, EmptyTickDoesNothing)
{
    EXPECT_FALSE(manager.Tick());
    EXPECT_EQ(Core().CycleCount, 0u);
    EXPECT_EQ(Core().Cursor, 0u);
}

TEST_F(SchedulerTest, PeriodTaskIsFirstDueTenMsAfterRegistration)
{
    LogTask a("a", log);
    a.Register(0, 100);
    EXPECT_EQ(Entry(0).NextDue, 1010u);
    clock.Set(1009);
    EXPECT_FALSE(manager.Tick());
    clock.Set(1010);
    EXPECT_TRUE(manager.Tick());
    EXPECT_EQ(log.size(), 1u);
    EXPECT_EQ(Entry(0).NextDue, 1110u);  // on time: phase kept
}

TEST_F(SchedulerTest, CursorRestartsAfterRegisterAndUnregister)
{
    LogTask a("a", log), b("b", log);
    a.Register(0, 0);
    // A single entry: the cursor wraps to it and a pass is counted.
    EXPECT_TRUE(manager.Tick());
    EXPECT_EQ(Core().Cursor, 0u);
    EXPECT_EQ(Core().CycleCount, 1u);

    b.Register(0, 0);
    EXPECT_EQ(Core().Cursor, 0u);
    manager.Tick();  // looks at entry 1 first
    EXPECT_EQ(log.back(), "b");
    manager.Unregister(&a);
    EXPECT_EQ(Core().Cursor, 0u);
}

TEST_F(SchedulerTest, RotationRunsOneTaskPerTickInTurn)
{
    LogTask engine("engine", log), shell("shell", log), gui("gui", log);
    engine.Register(0, 5);
    shell.Register(0, 5);
    gui.Register(0, 300);
    for (int i = 0; i < 33; ++i) {
        clock.Advance(10);
        manager.Tick();
    }
    // Both 5 ms tasks are due at every visit and alternate; the 300 ms task takes
    // one slot once its period has passed.
    ASSERT_EQ(log.size(), 33u);
    std::vector<size_t> guiTicks;
    for (size_t i = 0; i < log.size(); ++i) {
        if (log[i] == "gui") {
            guiTicks.push_back(i);
            continue;
        }
        if (i > 0 && log[i - 1] != "gui") {
            EXPECT_NE(log[i], log[i - 1]) << "at tick " << i;
        }
    }
    // Due at its first visit, then 300 ms (30 ticks) later, give or take its turn.
    ASSERT_EQ(guiTicks.size(), 2u);
    EXPECT_LE(guiTicks[0], 2u);
    EXPECT_GE(guiTicks[1] - guiTicks[0], 29u);
    EXPECT_LE(guiTicks[1] - guiTicks[0], 31u);
    EXPECT_EQ(log[0], "shell");  // cursor 0 after registration: entry 1 first
}

TEST_F(SchedulerTest, BacklogAfterAStallIsCappedAtOneSecond)
{
    LogTask a("a", log);
    a.Register(0, 100);
    clock.Set(1010);
    ASSERT_TRUE(manager.Tick());
    clock.Set(1110 + 5000);  // held up for 5 s
    ASSERT_TRUE(manager.Tick());
    EXPECT_EQ(Entry(0).NextDue, clock.Now() - 900);

    // Catch-up turns at an unchanged clock: 10 more, then nothing until the next period.
    int catchUp = 0;
    while (manager.Tick() && catchUp < 100)
        ++catchUp;
    EXPECT_EQ(catchUp, 10);
    clock.Advance(99);
    EXPECT_FALSE(manager.Tick());
    clock.Advance(1);
    EXPECT_TRUE(manager.Tick());
}

TEST_F(SchedulerTest, PeriodsSurviveTheWrapOfTheTickCounter)
{
    clock.Set(0xFFFFFFF0u);
    LogTask a("a", log);
    a.Register(0, 10);  // due at 0xFFFFFFFA
    clock.Set(0xFFFFFFF9u);
    EXPECT_FALSE(manager.Tick());
    clock.Set(0xFFFFFFFAu);
    EXPECT_TRUE(manager.Tick());
    clock.Set(3);  // next due at 4, after the wrap
    EXPECT_FALSE(manager.Tick());
    clock.Set(4);
    EXPECT_TRUE(manager.Tick());
    EXPECT_EQ(log.size(), 2u);
}

TEST_F(SchedulerTest, TaskUnregisteredInsideATickIsRemovedByALaterTick)
{
    LogTask a("a", log), b("b", log);
    a.Register(0, 0);
    b.Register(0, 0);
    b.onRun = [&] { manager.Unregister(&a); };
    ASSERT_TRUE(manager.Tick());  // runs b (entry 1), which unregisters a
    EXPECT_EQ(Core().Tasks.Count(), 2);
    EXPECT_TRUE(Entry(0).Removed);
    EXPECT_EQ(Entry(0).Task, nullptr);

    // Cursor 0 again: the next tick looks at entry 1 (b) and runs it; the one after
    // reaches a's entry, removes it and runs nothing.
    b.onRun = nullptr;
    log.clear();
    ASSERT_TRUE(manager.Tick());
    EXPECT_EQ(log, std::vector<std::string>{"b"});
    ASSERT_TRUE(manager.Tick());
    EXPECT_EQ(log, std::vector<std::string>{"b"});
    EXPECT_EQ(Core().Tasks.Count(), 1);
}

TEST_F(SchedulerTest, DoubleRegistrationMakesTwoEntriesAndUnregisterMarksTheFirst)
{
    auto a = std::make_unique<LogTask>("a", log);
    a->Register(0, 0);
    a->Register(0, 0);
    ASSERT_EQ(Core().Tasks.Count(), 2);
    manager.Unregister(a.get());
    EXPECT_TRUE(Entry(0).Removed);
    EXPECT_FALSE(Entry(1).Removed);
    EXPECT_EQ(Entry(1).Task, a.get());

    // Destroying the task must leave no entry that still points at it.
    a->Register(0, 0);
    a.reset();
    for (int i = 0; i < Core().Tasks.Count(); ++i)
        EXPECT_EQ(Entry(i).Task, nullptr);
    for (int i = 0; i < 6; ++i)
        manager.Tick();
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(Core().Tasks.Count(), 0);
}

TEST_F(SchedulerTest, DividerTaskRunsOnPassesThatAreMultiples)
{
    struct Case {
        uint16_t divider;
        std::vector<uint32_t> passes;  // CycleCount values at which it ran, passes 1..9
    };
    const Case cases[] = {
        {3, {3, 6, 9}},
        {0, {1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {1, {1, 2, 3, 4, 5, 6, 7, 8, 9}},
    };
    for (const Case &c : cases) {
        MicroTaskManager local;
        LogTask a("a", log);
        a.Register(c.divider, 0);
        Core().CycleCount = 0;
        std::vector<uint32_t> ran;
        a.onRun = [&] { ran.push_back(Core().CycleCount); };
        for (int i = 0; i < 9; ++i)
            manager.Tick();
        EXPECT_EQ(ran, c.passes) << "divider " << c.divider;
        manager.Unregister(&a);
        manager.Tick();  // removes the entry
    }
}

TEST_F(SchedulerTest, NestedTicksRunAPeriodTaskAgainOnlyWhenItFallsDue)
{
    // A task that waits the way a blocking command does: it ticks the scheduler
    // while the clock moves on, one millisecond per nested tick.
    LogTask waiter("waiter", log), other("other", log);
    waiter.Register(0, 5);
    other.Register(0, 5);
    bool waiting = false;
    waiter.onRun = [&] {
        if (waiting)
            return;
        waiting = true;
        for (int i = 0; i < 8; ++i) {
            clock.Advance(1);
            manager.Tick();
        }
        waiting = false;
    };
    clock.Set(1010);
    manager.Tick();  // entry 1: other
    ASSERT_EQ(log, std::vector<std::string>{"other"});
    manager.Tick();  // waiter, with nested ticks inside
    // Inside the wait (1011..1018): other is due again at 1015, waiter at 1015 too.
    const std::vector<std::string> expected = {"other", "waiter", "other", "waiter"};
    EXPECT_EQ(log, expected);
}

}  // namespace
