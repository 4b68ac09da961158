// Battery quick setup: the six charger settings computed from a few choices about a
// lead-acid or lithium battery, and their writing to the device. The figures are kept in
// single precision, as the device stores them.
#pragma once

#include <array>
#include <optional>

#include "device/WriteGate.h"
#include "values/MString.h"

class cActionManager;

// Indices of the page's radio groups.
enum class LeadAcidUse { MaxCapacity = 0, MaxServiceLife = 1, Recovery = 2 };
enum class LeadAcidBuild { Agm = 0, Gel = 1, Flooded = 2 };
enum class NominalVoltage { V12 = 0, V24 = 1 };
enum class LithiumChemistry { LiPoLiIon = 0, LiFePO4 = 1 };

struct BatterySettings {
    float ChargeMaxU = 0;    // end of charge, V
    float ChargeMinU = 0;    // charge start, V
    float ChargeI = 0;       // maximum charge current, A
    float LoadOffU = 0;      // load disconnect, V
    float LoadOnU = 0;       // load reconnect, V
    float VoltTempCoef = 0;  // temperature compensation
};

struct SettingWrite {
    const char16_t *Name;
    float Value;
};

// The device variables in the order they are written.
std::array<SettingWrite, 6> InWriteOrder(const BatterySettings &settings);

BatterySettings LeadAcidPreset(float capacityAh, LeadAcidUse use, LeadAcidBuild build, NominalVoltage voltage);

constexpr int kMinLithiumCells = 3;
constexpr int kMaxLithiumCells = 9;
// Empty when the cell count is outside kMinLithiumCells..kMaxLithiumCells.
std::optional<BatterySettings> LithiumPreset(float capacityAh, int cells, LithiumChemistry chemistry);

// The number typed in a field, in single precision (0 when it holds no number).
float CapacityFromText(const MString &text);
// The whole part of the number in the cell-count field. A number too large for an int
// comes back as a count that the lithium preset refuses, never as an undefined cast.
int CellCountFromText(const MString &text);

// What became of one of the six writes.
enum class SettingOutcome {
    NotTried,       // another setting was refused by the gate, so none was written
    Written,        // the device acknowledged it
    Refused,        // the write gate refused the value; Refusal says why
    DeviceRefused,  // the device answered with an exception
    Failed,         // no answer, or no such variable
};

struct SettingResult {
    const char16_t *Name = nullptr;
    float Value = 0;
    SettingOutcome Outcome = SettingOutcome::NotTried;
    WriteCheck Refusal;
};

struct BatteryWriteResult {
    std::array<SettingResult, 6> Settings;

    bool AllWritten() const;
    // The first setting refused (by the gate or the device) or left without an answer;
    // nullptr when none was.
    const SettingResult *FirstProblem() const;
    bool Any(SettingOutcome outcome) const;
};

// Checks the six settings against the write gate first: when any is refused none is
// written, since a preset applied in part leaves voltages and a current that do not belong
// together. Otherwise writes them in order, each waiting for the device's answer; every
// write is made even after a failure, and each one's outcome is reported.
BatteryWriteResult WriteBatterySettings(cActionManager &device, const BatterySettings &settings);

inline constexpr const char16_t *kPresetDoneText = u"Зарядное устройство настроено успешно!";
inline constexpr const char16_t *kPresetFailedText =
    u"ОШИБКА при записи настроек в устройство!\r\nПроверьте подключение!";
inline constexpr const char16_t *kCellCountRefusedText =
    u"Недопустимое количество ячеек. Количество последовательно соединенных элементов может быть от 3 до 9.";
