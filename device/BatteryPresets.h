// Battery quick setup: the six charger settings computed from a few choices about a
// lead-acid or lithium battery, and their writing to the device. The figures are kept in
// single precision, as the device stores them.
#pragma once

#include <array>
#include <optional>

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

// Writes the six settings in order, each waiting for the device's answer. Every write is
// made even after a failure; the result is that of the last one, which is what the
// operator is told about.
bool WriteBatterySettings(cActionManager &device, const BatterySettings &settings);

inline constexpr const char16_t *kPresetDoneText = u"Зарядное устройство настроено успешно!";
inline constexpr const char16_t *kPresetFailedText =
    u"ОШИБКА при записи настроек в устройство!\r\nПроверьте подключение!";
inline constexpr const char16_t *kCellCountRefusedText =
    u"Недопустимое количество ячеек. Количество последовательно соединенных элементов может быть от 3 до 9.";
