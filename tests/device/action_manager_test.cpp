// Reading by name, rounding, version parsing, the register map's construction and a
// connect attempt against a port where nothing answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "DeviceTestUtil.h"
#include "device/ActionManager.h"
#include "port/PortList.h"

using testutil::FakeClock;
using testutil::MessageRecorder;
using testutil::U16;

namespace {

class ActionManagerTest : public ::testing::Test {
protected:
    void SetUp() override { manager.BuildRegisterMap(); }
    ModbusAction *Var(const char16_t *name) { return manager.Shell.FindVariable(MString(name)); }
    std::vector<std::u16string> Requested()
    {
        std::vector<std::u16string> names;
        for (int i = 0; ModbusAction *v = manager.Shell.Actions.At(i); ++i)
            if (v->State == mbsRequested)
                names.push_back(U16(v->Name));
        return names;
    }

    FakeClock clock;
    MessageRecorder messages;
    cActionManager manager;
};

TEST_F(ActionManagerTest, RequestReadMarksEachNameOfTheList)
{
    struct Case {
        const char *label;
        const char16_t *list;
        bool result;
        std::vector<std::u16string> marked;
        std::vector<std::u16string> shown;
    } cases[] = {
        {"two names",
         u"Reg.bForceLoadOff,Reg.TrainingCycleCount",
         true,
         {u"Reg.bForceLoadOff", u"Reg.TrainingCycleCount"},
         {}},
        {"second name missing", u"Reg.bForceLoadOff,Reg.Nothing", false, {u"Reg.bForceLoadOff"}, {u"Reg.Nothing"}},
        {"trailing comma ends the list", u"Reg.ChargeI,", true, {u"Reg.ChargeI"}, {}},
        {"empty list", u"", true, {}, {}},
        {"no trimming", u"Reg.ChargeI, Reg.ChargeMaxU", false, {u"Reg.ChargeI"}, {u" Reg.ChargeMaxU"}},
        {"leading comma takes the rest as one name", u",Reg.ChargeI", false, {}, {u",Reg.ChargeI"}},
        {"two commas in a row", u"Reg.ChargeI,,Reg.ChargeMaxU", false, {u"Reg.ChargeI"}, {u",Reg.ChargeMaxU"}},
        {"names are case-sensitive", u"reg.chargei", false, {}, {u"reg.chargei"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        manager.BuildRegisterMap();
        messages.texts.clear();
        EXPECT_EQ(manager.RequestRead(MString(c.list)), c.result);
        EXPECT_EQ(Requested(), c.marked);
        EXPECT_EQ(messages.texts, c.shown);
    }
}

TEST_F(ActionManagerTest, UnknownNamesShowTheNameAndFail)
{
    EXPECT_TRUE(manager.GetValue(MString(u"No.Such")).IsEmpty());
    EXPECT_FALSE(manager.WriteNumber(MString(u"No.Such2"), 1));
    EXPECT_EQ(messages.texts, (std::vector<std::u16string>{u"No.Such", u"No.Such2"}));
}

TEST_F(ActionManagerTest, WriteNumberGivesUpOnAVariableThatNeverBecomesIdle)
{
    // Nothing answers (polling is off): the wait for the earlier exchange ends after its
    // bound, the variable is released, and nothing is queued for writing.
    ModbusAction *v = Var(u"Reg.ChargeMaxU");
    manager.GetValue(v->Name);
    EXPECT_FALSE(manager.WriteNumber(v->Name, 14.4f));
    EXPECT_EQ(v->State, mbsDone);
    EXPECT_FALSE(v->WritePending);
    EXPECT_TRUE(v->Value.Equals(u"--"));
}

TEST(RoundValueTest, RoundsHalfAwayFromZeroAndLeavesOtherTextsAlone)
{
    struct Case {
        const char16_t *text;
        float scale;
        double expected;
    } numbers[] = {
        {u"2.5", 1, 3},       {u"-2.5", 1, -3},     {u"2.4", 1, 2},
        {u"1,26", 10, 1.3},   {u"-1.26", 10, -1.3}, {u"12345.67", 100, 12345.67},
        {u"1e10", 100, 1e10}, {u"0", 100, 0},
    };
    for (const auto &c : numbers) {
        SCOPED_TRACE(testutil::U16(MString(c.text)).size());
        EXPECT_EQ(U16(cActionManager::RoundValue(MString(c.text), c.scale)), U16(MString::FromReal(c.expected, 10, 5)))
            << "scale " << c.scale;
    }
    for (const char16_t *text : {u"--", u"true", u"Quintavolte 1.11", u""})
        EXPECT_EQ(U16(cActionManager::RoundValue(MString(text), 100)), std::u16string(text));
}

TEST(VersionTest, TheNumberAfterTheTypeTimesHundred)
{
    const std::map<std::u16string, int32_t> cases = {
        {u"Quintavolte 1.11", 111}, {u"Quintavolte 1.10", 110}, {u"Quintavolte 1.13", 113},
        {u"Quintavolte 0.29", 29},  {u"Quintavolte 2", 200},    {u"Quintavolte", 0},
        {u"Quintavolte1.11", 0},    {u"Quintavolte 1e30", 0},   {u"Quintavolte 1.115", 111},
    };
    for (const auto &[text, version] : cases)
        EXPECT_EQ(cActionManager::ParseVersionX100(MString(text.c_str())), version) << text.size();
}

TEST_F(ActionManagerTest, AddVariableReusesAnEntryOfTheSameName)
{
    const int count = manager.Shell.Actions.Count();
    ModbusAction *v = Var(u"Reg.ChargeI");
    v->Value = MString(u"3");
    v->State = mbsTimedOut;
    v->WritePending = true;
    ModbusAction *again = manager.AddVariable(MString(u"Reg.ChargeI"), 2222, 1, mbaRead, mbtUShort);
    EXPECT_EQ(again, v);
    EXPECT_EQ(manager.Shell.Actions.Count(), count);
    EXPECT_EQ(v->RegAddress, 2222);
    EXPECT_EQ(v->Type, mbtUShort);
    EXPECT_EQ(v->Access, mbaRead);
    EXPECT_TRUE(v->Value.Equals(u"--"));
    EXPECT_EQ(v->State, mbsDone);
    EXPECT_TRUE(v->WritePending);  // left as it was
}

TEST_F(ActionManagerTest, RegisterMapHoldsTheDeviceVariables)
{
    manager.Identified = true;
    manager.BuildRegisterMap();
    EXPECT_FALSE(manager.Identified);
    ASSERT_EQ(manager.Shell.Actions.Count(), 120);
    EXPECT_EQ(manager.Shell.PollCursor, -1);

    std::vector<std::pair<uint32_t, uint32_t>> ranges;
    for (int i = 0; ModbusAction *v = manager.Shell.Actions.At(i); ++i) {
        SCOPED_TRACE(v->Name.ToUtf8());
        EXPECT_TRUE(v->Value.Equals(u"--"));
        EXPECT_EQ(v->State, mbsDone);
        EXPECT_EQ(v->SlaveAddress, 254);
        EXPECT_EQ(v->Area, 2u);
        EXPECT_EQ(v->TimeoutMs, 500u);
        EXPECT_EQ(v->PeriodMs, 100);
        EXPECT_FALSE(v->WritePending);
        EXPECT_EQ(manager.Shell.FindVariable(v->Name), v);  // names are unique
        const uint32_t size = v->Type == mbtUShort || v->Type == mbtShort ? 1 : v->Type == mbtAscii ? 10 : 2;
        EXPECT_EQ(v->RegCount, size);
        ranges.emplace_back(v->RegAddress, v->RegAddress + v->RegCount);
    }
    std::sort(ranges.begin(), ranges.end());
    for (size_t i = 1; i < ranges.size(); ++i)
        EXPECT_LE(ranges[i - 1].second, ranges[i].first) << "registers " << ranges[i].first << " overlap";

    // Rows taken from the device's documentation: position, name, register, count, type, access.
    struct Row {
        int index;
        const char16_t *name;
        uint16_t reg, count;
        uint32_t type, access;
    } rows[] = {
        {0, u"Mb.MyModbusAddr", 100, 1, mbtUShort, mbaReadWrite},
        {1, u"DeviceType", 110, 10, mbtAscii, mbaRead},
        {2, u"ResetConfigToDefaults", 130, 1, mbtUShort, mbaWrite},
        {3, u"SaveConfigToRomNow", 131, 1, mbtUShort, mbaReadWrite},
        {6, u"ChipUID.L", 144, 2, mbtUInt, mbaRead},
        {7, u"485.Init.BaudRate", 500, 2, mbtUInt, mbaReadWrite},
        {20, u"Adc.UserAdcV2", 1024, 2, mbtFloat, mbaRead},
        {21, u"Adc.EnergyAccuCharge", 1100, 2, mbtFloat, mbaReadWrite},
        {28, u"Cal_I_Solar.CalibrateZeroMode", 1206, 1, mbtUShort, mbaWrite},
        {29, u"Cal_I_Solar.CalibrateOnValueMode", 1207, 1, mbtUShort, mbaWrite},
        {64, u"Cal_UserAdcV2.CalibrateOnValueMode", 1277, 1, mbtUShort, mbaReadWrite},
        {66, u"Reg.ChargeMaxU", 2002, 2, mbtFloat, mbaReadWrite},
        {73, u"Reg.bLoadIsOn", 2014, 1, mbtUShort, mbaRead},
        {77, u"Reg.bNightLightMode", 2020, 1, mbtUShort, mbaReadWrite},
        {96, u"Di4.ChangesCounter", 3300, 2, mbtUInt, mbaReadWrite},
        {109, u"Do4.Mode", 4301, 1, mbtUShort, mbaReadWrite},
        {111, u"Rtc.WorkTimeHours", 5010, 2, mbtFloat, mbaRead},
        {112, u"Extremes.Max_U_Accu", 6000, 1, mbtShort, mbaRead},
        {119, u"Extremes.bReset", 6007, 1, mbtUShort, mbaReadWrite},
    };
    for (const Row &r : rows) {
        ModbusAction *v = manager.Shell.Actions.At(r.index);
        ASSERT_NE(v, nullptr);
        SCOPED_TRACE(v->Name.ToUtf8());
        EXPECT_EQ(U16(v->Name), std::u16string(r.name));
        EXPECT_EQ(v->RegAddress, r.reg);
        EXPECT_EQ(v->RegCount, r.count);
        EXPECT_EQ(v->Type, r.type);
        EXPECT_EQ(v->Access, r.access);
    }

    // Only the first channel's calibration commands are write-only.
    for (int i = 0; ModbusAction *v = manager.Shell.Actions.At(i); ++i) {
        const std::u16string name = U16(v->Name);
        if (name.starts_with(u"Cal_") && name.find(u".Calibrate") != std::u16string::npos) {
            EXPECT_EQ(v->Access, name.starts_with(u"Cal_I_Solar.") ? mbaWrite : mbaReadWrite) << v->Name.ToUtf8();
        }
    }
}

TEST_F(ActionManagerTest, ConnectGivesUpAfterThreeUnansweredAttemptsOnAPort)
{
    ConsecutiveTimeouts = 0;
    testutil::PtyDevice device;
    SetExplicitPorts({"/nonexistent/port", device.SlavePath()});
    manager.LineBaud = 9600;  // one rate: no short attempts at the others after the three
    clock.Advance(1000);
    // The search rests on the line, which the fake clock does not see: its pauses move the
    // clock instead, 2 ms each, as a real rest of a millisecond overshoots a little.
    manager.Connection.OnSearchWait = [&] { clock.Advance(2); };
    EXPECT_FALSE(manager.Connect());
    manager.Connection.OnSearchWait = nullptr;
    SetExplicitPorts({});

    // Three requests went out and each one expired (the bytes themselves may never reach
    // the line: in fake time the next port number's Open closes the port at once).
    EXPECT_EQ(Var(u"DeviceType")->State, mbsTimedOut);
    EXPECT_TRUE(Var(u"DeviceType")->Value.Equals(u"--"));
    EXPECT_FALSE(manager.Identified);
    EXPECT_FALSE(manager.Shell.PollingEnabled);
    EXPECT_EQ(ConsecutiveTimeouts, 3);
    ConsecutiveTimeouts = 0;
}

}  // namespace
