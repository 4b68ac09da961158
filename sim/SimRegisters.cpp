#include "sim/SimRegisters.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>

namespace {

constexpr std::array<SimVarInfo, vSimVarCount> kTable{{
    {"Mb.MyModbusAddr", 100, 1, SimU16, SimRW},
    {"DeviceType", 110, 10, SimText, SimR},
    {"ResetConfigToDefaults", 130, 1, SimU16, SimW},
    {"SaveConfigToRomNow", 131, 1, SimU16, SimRW},
    {"ChipUID.H1", 140, 2, SimU32, SimR},
    {"ChipUID.H2", 142, 2, SimU32, SimR},
    {"ChipUID.L", 144, 2, SimU32, SimR},
    {"485.Init.BaudRate", 500, 2, SimU32, SimRW},
    {"Adc.AvddVoltage", 1000, 2, SimFloat, SimR},
    {"Adc.I_Load", 1002, 2, SimFloat, SimR},
    {"Adc.U_Load", 1004, 2, SimFloat, SimR},
    {"Adc.I_Accu", 1006, 2, SimFloat, SimR},
    {"Adc.U_Accu", 1008, 2, SimFloat, SimR},
    {"Adc.I_Solar", 1010, 2, SimFloat, SimR},
    {"Adc.U_Solar", 1012, 2, SimFloat, SimR},
    {"Adc.PowerAccu", 1014, 2, SimFloat, SimR},
    {"Adc.PowerSolar", 1016, 2, SimFloat, SimR},
    {"Adc.PowerLoad", 1018, 2, SimFloat, SimR},
    {"Adc.Temp_External", 1020, 2, SimFloat, SimR},
    {"Adc.UserAdcV1", 1022, 2, SimFloat, SimR},
    {"Adc.UserAdcV2", 1024, 2, SimFloat, SimR},
    {"Adc.EnergyAccuCharge", 1100, 2, SimFloat, SimRW},
    {"Adc.EnergyAccuDischarge", 1102, 2, SimFloat, SimRW},
    {"Adc.EnergySolar", 1104, 2, SimFloat, SimRW},
    {"Adc.EnergyLoad", 1106, 2, SimFloat, SimRW},
    {"Cal_I_Solar.ZeroOffset", 1200, 2, SimFloat, SimRW},
    {"Cal_I_Solar.Mul", 1202, 2, SimFloat, SimRW},
    {"Cal_I_Solar.PreciseValue", 1204, 2, SimFloat, SimRW},
    {"Cal_I_Solar.CalibrateZeroMode", 1206, 1, SimU16, SimW},
    {"Cal_I_Solar.CalibrateOnValueMode", 1207, 1, SimU16, SimW},
    {"Cal_U_Solar.ZeroOffset", 1210, 2, SimFloat, SimRW},
    {"Cal_U_Solar.Mul", 1212, 2, SimFloat, SimRW},
    {"Cal_U_Solar.PreciseValue", 1214, 2, SimFloat, SimRW},
    {"Cal_U_Solar.CalibrateZeroMode", 1216, 1, SimU16, SimRW},
    {"Cal_U_Solar.CalibrateOnValueMode", 1217, 1, SimU16, SimRW},
    {"Cal_I_Accu.ZeroOffset", 1220, 2, SimFloat, SimRW},
    {"Cal_I_Accu.Mul", 1222, 2, SimFloat, SimRW},
    {"Cal_I_Accu.PreciseValue", 1224, 2, SimFloat, SimRW},
    {"Cal_I_Accu.CalibrateZeroMode", 1226, 1, SimU16, SimRW},
    {"Cal_I_Accu.CalibrateOnValueMode", 1227, 1, SimU16, SimRW},
    {"Cal_U_Accu.ZeroOffset", 1230, 2, SimFloat, SimRW},
    {"Cal_U_Accu.Mul", 1232, 2, SimFloat, SimRW},
    {"Cal_U_Accu.PreciseValue", 1234, 2, SimFloat, SimRW},
    {"Cal_U_Accu.CalibrateZeroMode", 1236, 1, SimU16, SimRW},
    {"Cal_U_Accu.CalibrateOnValueMode", 1237, 1, SimU16, SimRW},
    {"Cal_I_Load.ZeroOffset", 1240, 2, SimFloat, SimRW},
    {"Cal_I_Load.Mul", 1242, 2, SimFloat, SimRW},
    {"Cal_I_Load.PreciseValue", 1244, 2, SimFloat, SimRW},
    {"Cal_I_Load.CalibrateZeroMode", 1246, 1, SimU16, SimRW},
    {"Cal_I_Load.CalibrateOnValueMode", 1247, 1, SimU16, SimRW},
    {"Cal_Temp_External.ZeroOffset", 1250, 2, SimFloat, SimRW},
    {"Cal_Temp_External.Mul", 1252, 2, SimFloat, SimRW},
    {"Cal_Temp_External.PreciseValue", 1254, 2, SimFloat, SimRW},
    {"Cal_Temp_External.CalibrateZeroMode", 1256, 1, SimU16, SimRW},
    {"Cal_Temp_External.CalibrateOnValueMode", 1257, 1, SimU16, SimRW},
    {"Cal_UserAdcV1.ZeroOffset", 1260, 2, SimFloat, SimRW},
    {"Cal_UserAdcV1.Mul", 1262, 2, SimFloat, SimRW},
    {"Cal_UserAdcV1.PreciseValue", 1264, 2, SimFloat, SimRW},
    {"Cal_UserAdcV1.CalibrateZeroMode", 1266, 1, SimU16, SimRW},
    {"Cal_UserAdcV1.CalibrateOnValueMode", 1267, 1, SimU16, SimRW},
    {"Cal_UserAdcV2.ZeroOffset", 1270, 2, SimFloat, SimRW},
    {"Cal_UserAdcV2.Mul", 1272, 2, SimFloat, SimRW},
    {"Cal_UserAdcV2.PreciseValue", 1274, 2, SimFloat, SimRW},
    {"Cal_UserAdcV2.CalibrateZeroMode", 1276, 1, SimU16, SimRW},
    {"Cal_UserAdcV2.CalibrateOnValueMode", 1277, 1, SimU16, SimRW},
    {"Reg.ChargeMinU", 2000, 2, SimFloat, SimRW},
    {"Reg.ChargeMaxU", 2002, 2, SimFloat, SimRW},
    {"Reg.ChargeI", 2004, 2, SimFloat, SimRW},
    {"Reg.LoadOffU", 2006, 2, SimFloat, SimRW},
    {"Reg.LoadOnU", 2008, 2, SimFloat, SimRW},
    {"Reg.VoltTempCoef", 2010, 2, SimFloat, SimRW},
    {"Reg.bModeCharger", 2012, 1, SimU16, SimRW},
    {"Reg.bForceLoadOff", 2013, 1, SimU16, SimRW},
    {"Reg.bLoadIsOn", 2014, 1, SimU16, SimR},
    {"Reg.TrainingCycleCount", 2015, 1, SimU16, SimRW},
    {"Reg.TrainingDischargeEnergy", 2016, 2, SimFloat, SimR},
    {"Reg.TrainingChargeEnergy", 2018, 2, SimFloat, SimR},
    {"Reg.bNightLightMode", 2020, 1, SimU16, SimRW},
    {"Di1.ChangesCounter", 3000, 2, SimU32, SimRW},
    {"Di1.DutyCycle", 3002, 2, SimFloat, SimR},
    {"Di1.Frequency", 3004, 2, SimFloat, SimR},
    {"Di1.Toff", 3006, 2, SimFloat, SimR},
    {"Di1.Ton", 3008, 2, SimFloat, SimR},
    {"Di1.CurState", 3010, 1, SimU16, SimR},
    {"Di2.ChangesCounter", 3100, 2, SimU32, SimRW},
    {"Di2.DutyCycle", 3102, 2, SimFloat, SimR},
    {"Di2.Frequency", 3104, 2, SimFloat, SimR},
    {"Di2.Toff", 3106, 2, SimFloat, SimR},
    {"Di2.Ton", 3108, 2, SimFloat, SimR},
    {"Di2.CurState", 3110, 1, SimU16, SimR},
    {"Di3.ChangesCounter", 3200, 2, SimU32, SimRW},
    {"Di3.DutyCycle", 3202, 2, SimFloat, SimR},
    {"Di3.Frequency", 3204, 2, SimFloat, SimR},
    {"Di3.Toff", 3206, 2, SimFloat, SimR},
    {"Di3.Ton", 3208, 2, SimFloat, SimR},
    {"Di3.CurState", 3210, 1, SimU16, SimR},
    {"Di4.ChangesCounter", 3300, 2, SimU32, SimRW},
    {"Di4.DutyCycle", 3302, 2, SimFloat, SimR},
    {"Di4.Frequency", 3304, 2, SimFloat, SimR},
    {"Di4.Toff", 3306, 2, SimFloat, SimR},
    {"Di4.Ton", 3308, 2, SimFloat, SimR},
    {"Di4.CurState", 3310, 1, SimU16, SimR},
    {"Do1.State", 4000, 1, SimU16, SimRW},
    {"Do1.Mode", 4001, 1, SimU16, SimRW},
    {"Do2.State", 4100, 1, SimU16, SimRW},
    {"Do2.Mode", 4101, 1, SimU16, SimRW},
    {"Do3.State", 4200, 1, SimU16, SimRW},
    {"Do3.Mode", 4201, 1, SimU16, SimRW},
    {"Do4.State", 4300, 1, SimU16, SimRW},
    {"Do4.Mode", 4301, 1, SimU16, SimRW},
    {"Rtc.UpTimeHours", 5000, 2, SimFloat, SimR},
    {"Rtc.WorkTimeHours", 5010, 2, SimFloat, SimR},
    {"Extremes.Max_U_Accu", 6000, 1, SimS16, SimR},
    {"Extremes.Min_I_Accu", 6001, 1, SimS16, SimR},
    {"Extremes.Max_I_Accu", 6002, 1, SimS16, SimR},
    {"Extremes.Max_U_Solar", 6003, 1, SimS16, SimR},
    {"Extremes.Max_I_Solar", 6004, 1, SimS16, SimR},
    {"Extremes.Min_Temp", 6005, 1, SimS16, SimR},
    {"Extremes.Max_Temp", 6006, 1, SimS16, SimR},
    {"Extremes.bReset", 6007, 1, SimU16, SimRW},
}};

// Sorted by register for the reverse lookup; built once.
struct RegIndex {
    std::array<int, vSimVarCount> ids{};
    RegIndex()
    {
        for (int i = 0; i < vSimVarCount; ++i)
            ids[static_cast<size_t>(i)] = i;
        std::sort(ids.begin(), ids.end(), [](int a, int b) {
            return kTable[static_cast<size_t>(a)].Register < kTable[static_cast<size_t>(b)].Register;
        });
    }
};

uint32_t Join32(const uint16_t *regs)
{
    return static_cast<uint32_t>(regs[0]) | (static_cast<uint32_t>(regs[1]) << 16);
}

void Split32(uint32_t v, uint16_t *regs)
{
    regs[0] = static_cast<uint16_t>(v & 0xFFFF);
    regs[1] = static_cast<uint16_t>(v >> 16);
}

// Integers outside the type's range saturate rather than wrap: a reading that overflows
// should show the limit, not a wrapped value of the opposite sign.
template <typename T> T Saturate(double v)
{
    if (std::isnan(v))
        return 0;
    v = std::round(v);
    if (v <= static_cast<double>(std::numeric_limits<T>::min()))
        return std::numeric_limits<T>::min();
    if (v >= static_cast<double>(std::numeric_limits<T>::max()))
        return std::numeric_limits<T>::max();
    return static_cast<T>(v);
}

}  // namespace

std::span<const SimVarInfo> SimVarTable()
{
    return kTable;
}

const SimVarInfo &SimVar(int id)
{
    return kTable.at(static_cast<size_t>(id));
}

int SimFindVar(std::string_view name)
{
    for (int i = 0; i < vSimVarCount; ++i)
        if (name == kTable[static_cast<size_t>(i)].Name)
            return i;
    return -1;
}

int SimVarAtRegister(uint16_t reg)
{
    static const RegIndex index;
    // Last variable whose first register is not above reg.
    auto it = std::upper_bound(index.ids.begin(), index.ids.end(), reg,
                               [](uint16_t r, int id) { return r < kTable[static_cast<size_t>(id)].Register; });
    if (it == index.ids.begin())
        return -1;
    const SimVarInfo &v = kTable[static_cast<size_t>(*(it - 1))];
    return reg < v.Register + v.Count ? *(it - 1) : -1;
}

void SimEncodeNumber(int id, double value, uint16_t *regs)
{
    switch (SimVar(id).Type) {
    case SimU16:
        regs[0] = Saturate<uint16_t>(value);
        break;
    case SimS16:
        regs[0] = static_cast<uint16_t>(Saturate<int16_t>(value));
        break;
    case SimU32:
        Split32(Saturate<uint32_t>(value), regs);
        break;
    case SimFloat:
        Split32(std::bit_cast<uint32_t>(static_cast<float>(value)), regs);
        break;
    case SimText:
        break;
    }
}

double SimDecodeNumber(int id, const uint16_t *regs)
{
    switch (SimVar(id).Type) {
    case SimU16:
        return regs[0];
    case SimS16:
        return static_cast<int16_t>(regs[0]);
    case SimU32:
        return Join32(regs);
    case SimFloat:
        return std::bit_cast<float>(Join32(regs));
    case SimText:
        break;
    }
    return 0;
}

void SimEncodeText(std::string_view text, uint16_t *regs, uint16_t count)
{
    for (uint16_t i = 0; i < count; ++i) {
        size_t lo = 2u * i, hi = lo + 1;
        uint8_t a = lo < text.size() ? static_cast<uint8_t>(text[lo]) : 0;
        uint8_t b = hi < text.size() ? static_cast<uint8_t>(text[hi]) : 0;
        regs[i] = static_cast<uint16_t>(a | (b << 8));
    }
}

std::string SimDecodeText(const uint16_t *regs, uint16_t count)
{
    std::string s;
    for (uint16_t i = 0; i < count; ++i) {
        for (uint8_t c : {static_cast<uint8_t>(regs[i] & 0xFF), static_cast<uint8_t>(regs[i] >> 8)}) {
            if (c == 0)
                return s;
            s.push_back(static_cast<char>(c));
        }
    }
    return s;
}
