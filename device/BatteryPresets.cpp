#include "device/BatteryPresets.h"

#include <algorithm>
#include <cmath>

#include "device/ActionManager.h"

namespace {

// The steps are doubles; each adjusted voltage is rounded back to single precision.
constexpr double kStepSmall = 0.016666666666666666;  // 1/60 V per cell
constexpr double kStepLarge = 0.03333333333333333;   // 1/30 V per cell

struct CellVoltages {
    float LoadOff;
    float ChargeStart;
    float ChargeEnd;
};

constexpr CellVoltages kLeadAcidCells[] = {
    {1.8f, 2.2166667f, 2.4f},   // AGM
    {1.8f, 2.2f, 2.4f},         // GEL
    {1.8f, 2.25f, 2.4666667f},  // flooded Ca/Sb
};

float Stepped(float value, double step)
{
    return static_cast<float>(static_cast<double>(value) + step);
}

struct LithiumCell {
    float LoadOn;
    float ChargeStart;
    float ChargeEnd;
    float LoadOff;
};

constexpr LithiumCell kLithiumCells[] = {
    {3.4f, 3.9f, 4.3f, 3.2f},   // LiPo/LiIon
    {3.0f, 3.5f, 3.65f, 2.5f},  // LiFePO4
};

}  // namespace

std::array<SettingWrite, 6> InWriteOrder(const BatterySettings &s)
{
    return {{{u"Reg.ChargeMaxU", s.ChargeMaxU},
             {u"Reg.ChargeMinU", s.ChargeMinU},
             {u"Reg.ChargeI", s.ChargeI},
             {u"Reg.LoadOffU", s.LoadOffU},
             {u"Reg.LoadOnU", s.LoadOnU},
             {u"Reg.VoltTempCoef", s.VoltTempCoef}}};
}

BatterySettings LeadAcidPreset(float capacityAh, LeadAcidUse use, LeadAcidBuild build, NominalVoltage voltage)
{
    const CellVoltages &cell = kLeadAcidCells[static_cast<int>(build)];
    float loadOff = cell.LoadOff;
    float chargeStart = cell.ChargeStart;
    float chargeEnd = cell.ChargeEnd;
    float current = 0;
    switch (use) {
    case LeadAcidUse::MaxCapacity:
        loadOff = Stepped(loadOff, -kStepSmall);
        chargeStart = Stepped(chargeStart, kStepSmall);
        chargeEnd = Stepped(chargeEnd, kStepLarge);
        current = capacityAh * 0.15f;
        break;
    case LeadAcidUse::MaxServiceLife:
        loadOff = Stepped(loadOff, kStepSmall);
        chargeStart = Stepped(chargeStart, -kStepLarge);
        current = capacityAh * 0.1f;
        break;
    case LeadAcidUse::Recovery:
        loadOff = Stepped(loadOff, kStepSmall);
        chargeStart = Stepped(chargeStart, kStepLarge);
        chargeEnd = 2.6666667f;
        current = capacityAh * 0.07f;
        break;
    }
    const bool is24 = voltage == NominalVoltage::V24;
    const float cells = is24 ? 12.0f : 6.0f;
    BatterySettings s;
    s.ChargeMaxU = chargeEnd * cells;
    s.ChargeMinU = chargeStart * cells;
    s.ChargeI = current;
    s.LoadOffU = loadOff * cells;
    s.LoadOnU = is24 ? 24.0f : 12.0f;
    s.VoltTempCoef = -1.95f;
    return s;
}

std::optional<BatterySettings> LithiumPreset(float capacityAh, int cells, LithiumChemistry chemistry)
{
    if (cells < kMinLithiumCells || cells > kMaxLithiumCells)
        return std::nullopt;
    float current = 2.0f * capacityAh;
    if (current < 0.3f)
        current = 0.3f;
    else if (current > 5.0f)
        current = 5.0f;
    const LithiumCell &cell = kLithiumCells[static_cast<int>(chemistry)];
    const float n = static_cast<float>(cells);
    BatterySettings s;
    s.ChargeMaxU = cell.ChargeEnd * n;
    s.ChargeMinU = cell.ChargeStart * n;
    s.ChargeI = current;
    s.LoadOffU = cell.LoadOff * n;
    s.LoadOnU = cell.LoadOn * n;
    s.VoltTempCoef = 0.0f;
    return s;
}

float CapacityFromText(const MString &text)
{
    return static_cast<float>(text.ToReal());
}

int CellCountFromText(const MString &text)
{
    const double value = std::trunc(text.ToReal());
    if (!(value >= -1000.0 && value <= 1000.0))  // NaN lands here too
        return value > 0 ? kMaxLithiumCells + 1 : kMinLithiumCells - 1;
    return static_cast<int>(value);
}

bool BatteryWriteResult::AllWritten() const
{
    return std::all_of(Settings.begin(), Settings.end(),
                       [](const SettingResult &r) { return r.Outcome == SettingOutcome::Written; });
}

const SettingResult *BatteryWriteResult::FirstProblem() const
{
    for (const SettingResult &r : Settings)
        if (r.Outcome != SettingOutcome::Written && r.Outcome != SettingOutcome::NotTried)
            return &r;
    return nullptr;
}

bool BatteryWriteResult::Any(SettingOutcome outcome) const
{
    return std::any_of(Settings.begin(), Settings.end(),
                       [outcome](const SettingResult &r) { return r.Outcome == outcome; });
}

BatteryWriteResult WriteBatterySettings(cActionManager &device, const BatterySettings &settings)
{
    BatteryWriteResult result;
    const auto writes = InWriteOrder(settings);
    bool refused = false;
    for (size_t i = 0; i < writes.size(); ++i) {
        SettingResult &r = result.Settings[i];
        r.Name = writes[i].Name;
        r.Value = writes[i].Value;
        // Checked as the write itself will be; a name missing from the table is reported
        // by the write.
        if (const ModbusAction *v = device.Shell.FindVariable(MString(r.Name))) {
            r.Refusal = CheckWrite(*v, MString::FromReal(r.Value, 10, 5));
            if (!r.Refusal.Ok()) {
                ModbusShell::JournalRefusal(*v, MString::FromReal(r.Value, 10, 5), r.Refusal);
                r.Outcome = SettingOutcome::Refused;
                refused = true;
            }
        }
    }
    if (refused)
        return result;
    for (SettingResult &r : result.Settings) {
        const ModbusAction *v = device.Shell.FindVariable(MString(r.Name));
        if (device.WriteNumber(MString(r.Name), r.Value, &r.Refusal))
            r.Outcome = SettingOutcome::Written;
        else if (!r.Refusal.Ok())
            r.Outcome = SettingOutcome::Refused;
        else if (v != nullptr && v->State == mbsException)
            r.Outcome = SettingOutcome::DeviceRefused;
        else
            r.Outcome = SettingOutcome::Failed;
    }
    return result;
}
