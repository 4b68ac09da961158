// The stand-in device's own register map: the 120 variables it serves, and how a
// variable's value sits in its holding registers (host-order 16-bit words, the least
// significant word of a 32-bit value first, text with its first character in the low
// byte of the first register).
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

enum SimType : uint8_t { SimU16 = 1, SimS16 = 2, SimU32 = 3, SimFloat = 5, SimText = 8 };
enum SimAccess : uint8_t { SimR = 1, SimW = 2, SimRW = 3 };

struct SimVarInfo {
    const char *Name;
    uint16_t Register;
    uint16_t Count;
    SimType Type;
    SimAccess Access;
};

// Variable ids: index into the map, in map order.
enum SimVarId : int {
    vMbMyModbusAddr,
    vDeviceType,
    vResetConfigToDefaults,
    vSaveConfigToRomNow,
    vChipUID_H1,
    vChipUID_H2,
    vChipUID_L,
    vBaudRate,
    vAvddVoltage,
    vI_Load,
    vU_Load,
    vI_Accu,
    vU_Accu,
    vI_Solar,
    vU_Solar,
    vPowerAccu,
    vPowerSolar,
    vPowerLoad,
    vTemp_External,
    vUserAdcV1,
    vUserAdcV2,
    vEnergyAccuCharge,
    vEnergyAccuDischarge,
    vEnergySolar,
    vEnergyLoad,
    vCalFirst,  // 8 channels x {ZeroOffset, Mul, PreciseValue, CalibrateZeroMode, CalibrateOnValueMode}
    vChargeMinU = vCalFirst + 40,
    vChargeMaxU,
    vChargeI,
    vLoadOffU,
    vLoadOnU,
    vVoltTempCoef,
    vbModeCharger,
    vbForceLoadOff,
    vbLoadIsOn,
    vTrainingCycleCount,
    vTrainingDischargeEnergy,
    vTrainingChargeEnergy,
    vbNightLightMode,
    vDiFirst,                  // 4 inputs x {ChangesCounter, DutyCycle, Frequency, Toff, Ton, CurState}
    vDoFirst = vDiFirst + 24,  // 4 outputs x {State, Mode}
    vUpTimeHours = vDoFirst + 8,
    vWorkTimeHours,
    vMax_U_Accu,
    vMin_I_Accu,
    vMax_I_Accu,
    vMax_U_Solar,
    vMax_I_Solar,
    vMin_Temp,
    vMax_Temp,
    vExtremesReset,
    vSimVarCount
};

// The eight measuring channels, in map order of their calibration blocks.
enum SimChannel : int {
    chI_Solar,
    chU_Solar,
    chI_Accu,
    chU_Accu,
    chI_Load,
    chTemp,
    chUserAdcV1,
    chUserAdcV2,
    kSimChannels
};
enum SimCalField : int { calZeroOffset, calMul, calPreciseValue, calZeroCmd, calOnValueCmd };
enum SimDiField : int { diChangesCounter, diDutyCycle, diFrequency, diToff, diTon, diCurState };
enum SimDoField : int { doState, doMode };

constexpr int CalVar(int channel, int field)
{
    return vCalFirst + channel * 5 + field;
}
constexpr int DiVar(int input, int field)
{
    return vDiFirst + input * 6 + field;
}  // input 0..3
constexpr int DoVar(int output, int field)
{
    return vDoFirst + output * 2 + field;
}  // output 0..3

static_assert(vSimVarCount == 120);

// The whole map, in id order.
std::span<const SimVarInfo> SimVarTable();
const SimVarInfo &SimVar(int id);
// Id of a name (exact, case-sensitive), or -1.
int SimFindVar(std::string_view name);
// Id of the variable that holds a register, or -1 for a register outside the map.
int SimVarAtRegister(uint16_t reg);

// A number as the variable's registers hold it (floats as IEEE-754 single, integers
// truncated to the type's width). regs must hold SimVar(id).Count words.
void SimEncodeNumber(int id, double value, uint16_t *regs);
double SimDecodeNumber(int id, const uint16_t *regs);
// Text registers: up to 2 x count bytes, zero-terminated when shorter.
void SimEncodeText(std::string_view text, uint16_t *regs, uint16_t count);
std::string SimDecodeText(const uint16_t *regs, uint16_t count);
