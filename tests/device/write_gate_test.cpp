// The write gate over every writable variable of the register map: values inside, on
// and beyond each limit and texts that are not numbers; and the shell's two write paths
// proven to go through it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "DeviceTestUtil.h"
#include "device/ActionManager.h"
#include "device/RegisterMap.h"
#include "device/WriteGate.h"

namespace {

ModbusAction VariableOf(const MbVariableRow &row)
{
    ModbusAction v;
    v.Name = MString(row.Name);
    v.Type = row.Type;
    v.Access = row.Access;
    return v;
}

std::string Text(double x)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", x);
    return buf;
}

WriteFault Check(const ModbusAction &v, const std::string &text)
{
    return CheckWrite(v, MString::FromUtf8(text)).Fault;
}

// Every writable variable: its limits and options are accepted, one step beyond them is
// refused, and so is every text that is not a complete number.
TEST(WriteGate, EveryWritableVariableAcceptsItsLimitsAndRefusesBeyondThem)
{
    int writable = 0;
    for (const MbVariableRow &row : DeviceRegisterMap()) {
        const ModbusAction v = VariableOf(row);
        SCOPED_TRACE(v.Name.ToUtf8());
        const WriteLimits *l = WriteLimitsOf(v);
        if ((row.Access & mbaWrite) == 0) {
            EXPECT_EQ(l, nullptr);
            EXPECT_EQ(Check(v, "1"), WriteFault::ReadOnly);
            continue;
        }
        ++writable;
        ASSERT_NE(l, nullptr);
        EXPECT_EQ(l->Type, row.Type);
        for (const char *bad : {"", " ", "abc", "1e", "14,4abc", "-", "--", "1..2", "0x", "1 2", "nan", "inf"})
            EXPECT_EQ(Check(v, bad), WriteFault::NotANumber) << "'" << bad << "'";

        if (!l->Options.empty()) {
            for (double o : l->Options)
                EXPECT_EQ(Check(v, Text(o)), WriteFault::None) << o;
            EXPECT_EQ(Check(v, Text(l->Options[0] + 1)), WriteFault::NotAnOption);
            EXPECT_EQ(Check(v, Text(l->Options[0] - 1)), WriteFault::NotAnOption);
            EXPECT_EQ(Check(v, "0"), WriteFault::NotAnOption);
            continue;
        }
        EXPECT_EQ(Check(v, Text(l->Min)), WriteFault::None) << l->Min;
        EXPECT_EQ(Check(v, Text(l->Max)), WriteFault::None) << l->Max;
        if (l->Integer) {
            EXPECT_EQ(Check(v, Text(l->Min - 1)), WriteFault::OutOfRange);
            EXPECT_EQ(Check(v, Text(l->Max + 1)), WriteFault::OutOfRange);
            EXPECT_EQ(Check(v, Text(l->Min) + ".5"), WriteFault::NotAnInteger);
            EXPECT_EQ(Check(v, "99999999999999999999999"), WriteFault::OutOfRange);
        } else if (l->Max < std::numeric_limits<float>::max()) {
            EXPECT_EQ(Check(v, Text(l->Max + 0.01)), WriteFault::OutOfRange);
            EXPECT_EQ(Check(v, Text(l->Min - 0.01)), WriteFault::OutOfRange);
            EXPECT_EQ(Check(v, Text((l->Min + l->Max) / 2)), WriteFault::None);
        } else {
            EXPECT_EQ(Check(v, "1e39"), WriteFault::OutOfRange);
            EXPECT_EQ(Check(v, "1e-50"), WriteFault::NotRepresentable);
            EXPECT_EQ(Check(v, "1.5"), WriteFault::None);
            EXPECT_EQ(Check(v, "-1.5"), l->Min < 0 ? WriteFault::None : WriteFault::OutOfRange);
        }
    }
    EXPECT_GT(writable, 0);
}

// The limits the device contract and the register map give, variable by variable.
TEST(WriteGate, TheContractsLimits)
{
    struct Case {
        const char *name;
        const char *text;
        WriteFault fault;
    } cases[] = {
        {"Reg.bModeCharger", "1", WriteFault::None},
        {"Reg.bModeCharger", "2", WriteFault::OutOfRange},
        {"Reg.bForceLoadOff", "65535", WriteFault::OutOfRange},
        {"Reg.bNightLightMode", "7", WriteFault::OutOfRange},
        {"Do3.State", "-1", WriteFault::OutOfRange},
        {"SaveConfigToRomNow", "1", WriteFault::None},
        {"SaveConfigToRomNow", "2", WriteFault::OutOfRange},
        {"Cal_I_Solar.CalibrateOnValueMode", "3", WriteFault::OutOfRange},
        {"Extremes.bReset", "1", WriteFault::None},
        {"Do1.Mode", "5", WriteFault::None},
        {"Do1.Mode", "6", WriteFault::OutOfRange},
        {"Do4.Mode", "99", WriteFault::OutOfRange},
        {"Do2.Mode", "0x3", WriteFault::None},
        {"Mb.MyModbusAddr", "0", WriteFault::OutOfRange},
        {"Mb.MyModbusAddr", "247", WriteFault::None},
        {"Mb.MyModbusAddr", "248", WriteFault::OutOfRange},
        {"485.Init.BaudRate", "19200", WriteFault::None},
        {"485.Init.BaudRate", "9601", WriteFault::NotAnOption},
        {"485.Init.BaudRate", "4294967295", WriteFault::NotAnOption},
        {"Reg.ChargeMaxU", "14,4", WriteFault::None},
        {"Reg.ChargeMaxU", " 14.4 ", WriteFault::None},
        {"Reg.ChargeMaxU", "1000", WriteFault::OutOfRange},
        {"Reg.ChargeMaxU", "-0.1", WriteFault::OutOfRange},
        {"Reg.LoadOffU", "abc", WriteFault::NotANumber},
        {"Reg.ChargeI", "150", WriteFault::OutOfRange},
        {"Reg.VoltTempCoef", "-1.95", WriteFault::None},
        {"Cal_U_Accu.PreciseValue", "", WriteFault::NotANumber},
        // Below the smallest normal float a value means nothing the device can act on.
        {"Cal_U_Accu.Mul", "1.18e-38", WriteFault::None},
        {"Cal_U_Accu.Mul", "-1.18e-38", WriteFault::None},
        {"Cal_U_Accu.Mul", "1.17e-38", WriteFault::NotRepresentable},
        {"Cal_U_Accu.Mul", "1e-45", WriteFault::NotRepresentable},
        {"Cal_U_Accu.Mul", "-1e-45", WriteFault::NotRepresentable},
        {"Cal_U_Accu.Mul", "1e-46", WriteFault::NotRepresentable},
        {"Cal_U_Accu.ZeroOffset", "-0", WriteFault::None},
        {"Cal_U_Accu.ZeroOffset", "-3.4e38", WriteFault::None},
        {"Adc.EnergySolar", "0", WriteFault::None},
        {"Adc.EnergySolar", "-1", WriteFault::OutOfRange},
        {"Di2.ChangesCounter", "4294967295", WriteFault::None},
        {"Di2.ChangesCounter", "4294967296", WriteFault::OutOfRange},
        {"DeviceType", "Quintavolte 1.11", WriteFault::ReadOnly},
        {"Adc.U_Accu", "12", WriteFault::ReadOnly},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.name) + " = '" + c.text + "'");
        const MbVariableRow *row = nullptr;
        for (const MbVariableRow &r : DeviceRegisterMap())
            if (MString(r.Name).ToUtf8() == c.name)
                row = &r;
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(Check(VariableOf(*row), c.text), c.fault);
    }
}

TEST(WriteGate, RefusalsNameTheVariableAndWhatIsAllowedWithTheValueMadeSafe)
{
    ModbusAction mode;
    mode.Name = MString(u"Do1.Mode");
    mode.Type = mbtUShort;
    EXPECT_EQ(DescribeRefusal(CheckWrite(mode, MString(u"7"))), "Do1.Mode: \"7\" is out of range (allowed: 0..5)");
    ModbusAction rate;
    rate.Name = MString(u"485.Init.BaudRate");
    rate.Type = mbtUInt;
    EXPECT_EQ(DescribeRefusal(CheckWrite(rate, MString(u"9601"))),
              "485.Init.BaudRate: \"9601\" is not one of 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200");
    ModbusAction flag;
    flag.Name = MString(u"Reg.bForceLoadOff");
    flag.Type = mbtUShort;
    const WriteCheck forged = CheckWrite(flag, MString::FromUtf8("1\nok\x1b[2J" + std::string(100, 'x')));
    EXPECT_EQ(forged.Value.find('\n'), std::string::npos);
    EXPECT_EQ(forged.Value.find('\x1b'), std::string::npos);
    EXPECT_LT(forged.Value.size(), 60u);
    EXPECT_NE(DescribeRefusal(forged).find("is not a number (allowed: 0 or 1)"), std::string::npos);
}

// A refused text leaves the variable as it was: no write is queued and the shown value
// does not change; both the queued and the blocking writes go through the gate.
TEST(WriteGate, TheShellsWritePathsGoThroughIt)
{
    testutil::FakeClock clock;
    testutil::MessageRecorder messages;
    cActionManager manager;
    manager.BuildRegisterMap();
    ModbusAction *v = manager.Shell.FindVariable(MString(u"Reg.LoadOffU"));
    ASSERT_NE(v, nullptr);
    v->Value = MString(u"10.9");
    for (const char16_t *bad : {u"abc", u"", u"1000", u"1e"}) {
        WriteCheck why;
        EXPECT_FALSE(manager.Shell.RequestWrite(v, MString(bad), &why));
        EXPECT_FALSE(why.Ok());
        EXPECT_EQ(why.Name, "Reg.LoadOffU");
        EXPECT_FALSE(v->WritePending);
        EXPECT_EQ(testutil::U16(v->Value), u"10.9");
    }
    WriteCheck why;
    EXPECT_FALSE(manager.WriteNumber(MString(u"Reg.bForceLoadOff"), 2, &why));
    EXPECT_EQ(why.Fault, WriteFault::OutOfRange);
    EXPECT_FALSE(manager.WriteNumber(MString(u"Reg.ChargeMaxU"), 1000));
    EXPECT_EQ(manager.Shell.Engine.PendingCount(), 0);
    EXPECT_EQ(manager.Shell.Engine.TxLength(), 0);
    EXPECT_TRUE(messages.texts.empty());

    EXPECT_TRUE(manager.Shell.RequestWrite(v, MString(u"11,2")));
    EXPECT_TRUE(v->WritePending);
    EXPECT_EQ(testutil::U16(v->Value), u"11,2");
}

// A negative zero is sent as 0, whatever path it takes: a float would carry its sign bit
// (0x80000000) to the device. Integer and non-zero texts are sent as typed.
TEST(WriteGate, NegativeZeroIsWrittenAsZero)
{
    testutil::FakeClock clock;
    testutil::MessageRecorder messages;
    cActionManager manager;
    manager.BuildRegisterMap();
    struct Case {
        const char16_t *name;
        const char16_t *text;
        const char16_t *written;
    };
    const Case cases[] = {
        {u"Cal_U_Accu.ZeroOffset", u"-0", u"0"},
        {u"Cal_U_Accu.ZeroOffset", u"-0,0", u"0"},
        {u"Cal_U_Accu.ZeroOffset", u" -0.000e5 ", u"0"},
        {u"Cal_U_Accu.ZeroOffset", u"0", u"0"},
        {u"Cal_U_Accu.ZeroOffset", u"-0.5", u"-0.5"},
        {u"Reg.ChargeMaxU", u"-0", u"0"},
        {u"Mb.MyModbusAddr", u"5", u"5"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(MString(c.name).ToUtf8() + " = '" + MString(c.text).ToUtf8() + "'");
        ModbusAction *v = manager.Shell.FindVariable(MString(c.name));
        ASSERT_NE(v, nullptr);
        const WriteCheck check = CheckWrite(*v, MString(c.text));
        ASSERT_TRUE(check.Ok());
        EXPECT_EQ(testutil::U16(WrittenText(check, MString(c.text))), c.written);
        ASSERT_TRUE(manager.Shell.RequestWrite(v, MString(c.text)));
        EXPECT_EQ(testutil::U16(v->Value), c.written);
    }
    EXPECT_TRUE(messages.texts.empty());
}

}  // namespace
