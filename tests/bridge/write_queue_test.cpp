// The bridge's write queue on a clock the test moves: the last value wins, one write per
// name, a set the device holds is not written, and the save after the quiet time, spaced.
#include <gtest/gtest.h>

#include "bridge/WriteQueue.h"

namespace {

using Outcome = WriteQueue::Outcome;

constexpr uint32_t kMinute = 60000;

class QueueOnFakeClock : public testing::Test {
protected:
    WriteQueue::Write Set(const std::string &name, const std::string &text, uint32_t type = mbtFloat)
    {
        WriteQueue::Write w;
        w.Name = name;
        w.Text = text;
        w.Stored = StoredValue(type, text);
        return w;
    }
    // Takes the next write and ends it; returns its name and text, or "" when none is due.
    std::string Carry(Outcome outcome = Outcome::Ok)
    {
        std::optional<WriteQueue::Write> w = queue_.Next();
        if (!w)
            return "";
        if (w->Unchanged)
            return "unchanged " + w->Name + "=" + w->Text;
        queue_.Finished(outcome);
        return (w->Save ? "save " : "") + w->Name + "=" + w->Text;
    }
    // Moves the clock by steps of a second and says when the save went out (ms from now).
    int64_t SaveWithin(uint32_t ms)
    {
        for (uint32_t t = 0; t <= ms; t += 1000, now_ += 1000)
            if (queue_.SaveDue())
                return t;
        return -1;
    }

    uint32_t now_ = 0xFFFFF000;  // wraps during the test
    SaveTiming timing_{5000, 10 * kMinute, kMinute};
    WriteQueue queue_{timing_, [this] { return now_; }};
};

TEST_F(QueueOnFakeClock, TheNewestSetOfANameReplacesTheWaitingOneAndGoesBehindTheOthers)
{
    EXPECT_FALSE(queue_.Add(Set("Reg.ChargeMaxU", "14.1")));
    EXPECT_FALSE(queue_.Add(Set("Reg.ChargeI", "3")));
    // A burst: each set replaces the one before, still one write of the name.
    for (int i = 0; i < 1000; ++i) {
        const std::optional<WriteQueue::Write> replaced = queue_.Add(Set("Reg.ChargeMaxU", "10." + std::to_string(i)));
        ASSERT_TRUE(replaced);
        EXPECT_EQ(replaced->Text, i == 0 ? "14.1" : "10." + std::to_string(i - 1));
    }
    EXPECT_EQ(queue_.Waiting(), 2u);
    EXPECT_EQ(Carry(), "Reg.ChargeI=3");
    EXPECT_EQ(Carry(), "Reg.ChargeMaxU=10.999");
    EXPECT_EQ(Carry(), "");

    // A set while the name's write is under way waits behind it: it is newer.
    queue_.Add(Set("Reg.ChargeMaxU", "12"));
    ASSERT_TRUE(queue_.Next());
    EXPECT_FALSE(queue_.Next()) << "one write at a time";
    EXPECT_FALSE(queue_.Add(Set("Reg.ChargeMaxU", "13")));
    queue_.Finished(Outcome::Ok);
    EXPECT_EQ(Carry(), "Reg.ChargeMaxU=13");
}

TEST_F(QueueOnFakeClock, ASetTheDeviceHoldsIsNeitherWrittenNorSaved)
{
    queue_.Holds("Reg.ChargeMaxU", StoredValue(mbtFloat, "14.4"));
    // The same float, however written; another one is written.
    for (const char *same : {"14.4", "14.40", "14,4", "+14.4", " 14.4"}) {
        queue_.Add(Set("Reg.ChargeMaxU", same));
        EXPECT_EQ(Carry(), std::string("unchanged Reg.ChargeMaxU=") + same);
    }
    EXPECT_FALSE(queue_.Unsaved());
    EXPECT_EQ(SaveWithin(20000), -1);
    queue_.Add(Set("Reg.ChargeMaxU", "14.39"));
    EXPECT_EQ(Carry(), "Reg.ChargeMaxU=14.39");
    // What was written is what the device holds now.
    queue_.Add(Set("Reg.ChargeMaxU", "14.39"));
    EXPECT_EQ(Carry(), "unchanged Reg.ChargeMaxU=14.39");

    // A set back to the device's value after another one waits: the waiting one is
    // replaced and nothing goes out.
    queue_.Add(Set("Reg.ChargeMaxU", "15"));
    ASSERT_TRUE(queue_.Add(Set("Reg.ChargeMaxU", "14.39")));
    EXPECT_EQ(Carry(), "unchanged Reg.ChargeMaxU=14.39");

    // Not known: a write that failed, a value without bytes, a command, or one seen too long ago.
    queue_.Add(Set("Reg.ChargeMaxU", "20"));
    EXPECT_EQ(Carry(Outcome::Failed), "Reg.ChargeMaxU=20");
    queue_.Add(Set("Reg.ChargeMaxU", "14.39"));
    EXPECT_EQ(Carry(), "Reg.ChargeMaxU=14.39");
    queue_.Holds("Do1.State", StoredValue(mbtUShort, "1"), 1000);
    queue_.Add(Set("Do1.State", "1", mbtUShort));
    EXPECT_EQ(Carry(), "unchanged Do1.State=1");
    queue_.Holds("Do1.State", StoredValue(mbtUShort, "1"), 1000);
    now_ += 1001;
    queue_.Add(Set("Do1.State", "1", mbtUShort));
    EXPECT_EQ(Carry(), "Do1.State=1");
    WriteQueue::Write command = Set("Extremes.bReset", "1", mbtUShort);
    command.Command = true;
    queue_.Holds("Extremes.bReset", StoredValue(mbtUShort, "1"));
    queue_.Add(command);
    EXPECT_EQ(Carry(), "Extremes.bReset=1");
    // ... and a command may change every value, so none is known after it.
    queue_.Add(Set("Reg.ChargeMaxU", "14.39"));
    EXPECT_EQ(Carry(), "Reg.ChargeMaxU=14.39");
}

TEST_F(QueueOnFakeClock, SavesFiveSecondsAfterTheLastWriteAndNotMoreOftenThanEveryTenMinutes)
{
    queue_.Add(Set("Reg.ChargeMaxU", "14.1"));
    now_ += 4000;
    queue_.Add(Set("Reg.ChargeI", "3"));
    EXPECT_FALSE(queue_.SaveDue()) << "writes are waiting";
    EXPECT_EQ(Carry(), "Reg.ChargeMaxU=14.1");
    now_ += 4000;
    EXPECT_EQ(Carry(), "Reg.ChargeI=3");
    EXPECT_TRUE(queue_.Unsaved());
    // The quiet time counts from the last write.
    EXPECT_EQ(SaveWithin(20000), 5000);
    EXPECT_EQ(Carry(), "save SaveConfigToRomNow=1");
    EXPECT_FALSE(queue_.Unsaved());
    EXPECT_EQ(Carry(), "") << "saved once";
    EXPECT_EQ(SaveWithin(2 * kMinute - 1000), -1);

    // A write two minutes after the save: its save waits for the ten minutes, not dropped.
    queue_.Add(Set("Reg.ChargeMaxU", "14.2"));
    EXPECT_EQ(Carry(), "Reg.ChargeMaxU=14.2");
    EXPECT_EQ(SaveWithin(10 * kMinute), int64_t(8 * kMinute));
    EXPECT_EQ(Carry(), "save SaveConfigToRomNow=1");

    // A save that failed is tried again after a minute; the writes meanwhile are kept.
    now_ += 10 * kMinute;
    queue_.Add(Set("Reg.ChargeMaxU", "14.3"));
    EXPECT_EQ(Carry(), "Reg.ChargeMaxU=14.3");
    now_ += 5000;
    EXPECT_EQ(Carry(Outcome::Failed), "save SaveConfigToRomNow=1");
    EXPECT_TRUE(queue_.Unsaved());
    EXPECT_EQ(SaveWithin(2 * kMinute), int64_t(kMinute));
    EXPECT_EQ(Carry(), "save SaveConfigToRomNow=1");
    EXPECT_FALSE(queue_.Unsaved());

    // A write whose reply was damaged may have been stored: it is saved too.
    now_ += 10 * kMinute;
    queue_.Add(Set("Reg.ChargeMaxU", "14.4"));
    EXPECT_EQ(Carry(Outcome::Unknown), "Reg.ChargeMaxU=14.4");
    EXPECT_TRUE(queue_.Unsaved());
    // A failed one was not.
    queue_.Reset();
    queue_.Add(Set("Reg.ChargeMaxU", "14.4"));
    EXPECT_EQ(Carry(Outcome::Failed), "Reg.ChargeMaxU=14.4");
    EXPECT_FALSE(queue_.Unsaved());
}

TEST(WriteQueue, AQuietTimeOfZeroNeverSavesButKeepsTheWriteUnsavedForTheEnd)
{
    uint32_t now = 0;
    WriteQueue queue({0, 600000, 60000}, [&] { return now; });
    WriteQueue::Write w;
    w.Name = "Reg.ChargeI";
    w.Text = "3";
    queue.Add(w);
    ASSERT_TRUE(queue.Next());
    queue.Finished(WriteQueue::Outcome::Ok);
    for (int i = 0; i < 100; ++i, now += 60000)
        ASSERT_FALSE(queue.Next()) << i;
    EXPECT_TRUE(queue.Unsaved());
}

TEST(WriteQueue, StoredValuesAreTheRegisterBytesTheDeviceKeeps)
{
    EXPECT_EQ(StoredValue(mbtUShort, "3"), std::string("\x03\x00", 2));
    EXPECT_EQ(StoredValue(mbtUInt, "9600"), std::string("\x80\x25\x00\x00", 4));
    EXPECT_EQ(StoredValue(mbtFloat, "1"), std::string("\x00\x00\x80\x3f", 4));
    EXPECT_EQ(StoredValue(mbtFloat, "14,4"), StoredValue(mbtFloat, "14.4"));
    EXPECT_NE(StoredValue(mbtFloat, "14.4"), StoredValue(mbtFloat, "14.40001"));
    for (const char *unknown : {"", "abc", "1e", "1.5x"})
        EXPECT_EQ(StoredValue(mbtFloat, unknown), "") << unknown;
    EXPECT_EQ(StoredValue(mbtAscii, "1"), "");

    ModbusAction v;
    v.Type = mbtFloat;
    EXPECT_EQ(StoredValue(v), "") << "never read";
    const std::string bytes = StoredValue(mbtFloat, "14.4");
    std::copy(bytes.begin(), bytes.end(), v.Raw);
    v.RawCount = 4;
    EXPECT_EQ(StoredValue(v), bytes);
}

}  // namespace
