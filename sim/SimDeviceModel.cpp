// Physics of the stand-in device: the sun's daily curve, a PWM charger with a
// constant-current / constant-voltage limit, a 12 V lead-acid battery with an
// open-circuit voltage curve and internal resistance, a resistive load with low-voltage
// cut-off, the bench-supply mode, battery training, digital inputs and outputs.
#include "sim/SimDeviceModel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kCapacityAh = 7.2;      // small battery, so that a training cycle takes hours, not days
constexpr double kInternalR = 0.05;      // ohm
constexpr double kLoadR = 8.0;           // ohm: a 12 V lamp of about 18 W
constexpr double kPeakSolarA = 5.0;      // short-circuit current of the panel at noon
constexpr double kPanelVoc = 21.0;       // open-circuit voltage in full light
constexpr double kPanelDrop = 0.6;       // volts lost per ampere drawn from the panel
constexpr double kNightVoc = 8.0;        // below this panel voltage it is night
constexpr double kSupplySourceU = 24.0;  // DC source on the solar input in power-supply mode
constexpr double kSupplyEfficiency = 0.9;
constexpr double kSupplyLoadR = 10.0;              // consumer on the supply output
constexpr double kSupplyOnU = 0.1;                 // the output counts as on above this set-point
constexpr double kFullCurrent = kCapacityAh / 20;  // end-of-charge current in the voltage limit
constexpr double kAvdd = 3.3;
constexpr double kUserAdcV1 = 1.25;      // a reference on analogue input 1
constexpr double kUserAdcV2Ratio = 0.2;  // analogue input 2 watches the battery through a divider

struct SquareWave {
    double FrequencyHz;  // 0: a constant level
    double Duty;         // 0..1, or the constant level
};
// The signals on the four digital inputs.
constexpr std::array<SquareWave, 4> kInputs{{{2.0, 0.25}, {0.5, 0.5}, {10.0, 0.1}, {0.0, 1.0}}};

double Sun(double hour)
{
    double h = std::fmod(hour, 24.0);
    if (h < 0)
        h += 24.0;
    if (h <= 6.0 || h >= 18.0)
        return 0.0;
    return std::sin(std::numbers::pi * (h - 6.0) / 12.0);
}

// Open-circuit voltage of the battery over its state of charge (piecewise linear).
double OpenCircuitU(double soc)
{
    struct P {
        double Soc, U;
    };
    static constexpr P kCurve[] = {{0.0, 10.5}, {0.1, 11.8}, {0.9, 12.9}, {1.0, 13.9}};
    soc = std::clamp(soc, 0.0, 1.0);
    for (size_t i = 1; i < std::size(kCurve); ++i)
        if (soc <= kCurve[i].Soc)
            return kCurve[i - 1].U +
                   (soc - kCurve[i - 1].Soc) * (kCurve[i].U - kCurve[i - 1].U) / (kCurve[i].Soc - kCurve[i - 1].Soc);
    return kCurve[std::size(kCurve) - 1].U;
}

bool WaveLevel(const SquareWave &w, double t)
{
    if (w.FrequencyHz <= 0)
        return w.Duty >= 0.5;
    double phase = t * w.FrequencyHz - std::floor(t * w.FrequencyHz);
    return phase < w.Duty;
}

// Rising and falling edges in (t0, t1].
uint32_t WaveEdges(const SquareWave &w, double t0, double t1)
{
    if (w.FrequencyHz <= 0 || t1 <= t0)
        return 0;
    double a = t0 * w.FrequencyHz, b = t1 * w.FrequencyHz;
    double rising = std::floor(b) - std::floor(a);
    double falling = std::floor(b - w.Duty) - std::floor(a - w.Duty);
    return static_cast<uint32_t>(rising + falling);
}

}  // namespace

SimDeviceModel::SimDeviceModel(SimModelConfig config) : config_(std::move(config))
{
    SetDefaults();
    Val(vChipUID_H1) = config_.ChipUid[0];
    Val(vChipUID_H2) = config_.ChipUid[1];
    Val(vChipUID_L) = config_.ChipUid[2];
    Refresh();
    ResetExtremes();
}

double SimDeviceModel::Hour() const
{
    return std::fmod(config_.StartHour + time_ / 3600.0, 24.0);
}

void SimDeviceModel::SetCharge(double soc)
{
    soc_ = std::clamp(soc, 0.0, 1.0);
    Refresh();
}

double SimDeviceModel::Reading(int channel, double raw) const
{
    return (raw - Get(CalVar(channel, calZeroOffset))) * Get(CalVar(channel, calMul));
}

SimDeviceModel::Raw SimDeviceModel::ComputeRaw() const
{
    Raw r;
    double sun = Sun(Hour());
    double temp = 15.0 + 12.0 * sun;
    r.Channel[chTemp] = temp;
    r.Channel[chUserAdcV1] = kUserAdcV1;

    if (Get(vbModeCharger) == 0) {
        // Bench supply: the battery terminals are the output, fed from a DC source on the
        // solar input; the load switch hangs on the same output, so the load channel shows it too.
        double set = Get(vChargeMaxU);
        bool on = set > kSupplyOnU;
        double u = 0, i = 0;
        if (on) {
            u = std::min(set, kSupplySourceU - 1.0);
            i = std::min(u / kSupplyLoadR, std::max(0.0, Get(vChargeI)));
            u = i * kSupplyLoadR;
        }
        r.Channel[chU_Accu] = u;
        r.Channel[chI_Accu] = i;
        r.Channel[chI_Load] = i;
        r.LoadOn = on;
        r.Voc = kSupplySourceU;
        r.Channel[chU_Solar] = kSupplySourceU;
        r.Channel[chI_Solar] = u * i / (kSupplySourceU * kSupplyEfficiency);
        r.Channel[chUserAdcV2] = u * kUserAdcV2Ratio;
        return r;
    }

    double voc = kPanelVoc * std::min(1.0, sun * 10.0);
    double isc = kPeakSolarA * sun;
    double uoc = OpenCircuitU(soc_);
    bool night = voc < kNightVoc;
    if (training_ == Training::Discharge)
        r.LoadOn = true;
    else if (training_ == Training::Charge)
        r.LoadOn = false;
    else
        r.LoadOn = Get(vbForceLoadOff) == 0 && !lowVoltageOff_ && (Get(vbNightLightMode) == 0 || night);
    double loadG = r.LoadOn ? 1.0 / kLoadR : 0.0;

    // Charger: the battery current is held below ChargeI and below what keeps the terminal
    // voltage at the temperature-compensated end-of-charge voltage (coefficient in mV per V per degree).
    double ic = 0;
    bool charging = chargeEnabled_ && training_ != Training::Discharge && voc > uoc && Get(vChargeMaxU) > 0;
    if (charging) {
        double umax = Get(vChargeMaxU) * (1.0 + Get(vVoltTempCoef) / 1000.0 * (temp - 25.0));
        double cvLimit = (umax - uoc) / kInternalR;
        double battLimit = std::min(std::max(0.0, Get(vChargeI)), cvLimit);
        double want = uoc * loadG + battLimit;
        ic = std::clamp(std::min(isc, want), 0.0, isc);
        r.CvLimited = cvLimit < Get(vChargeI) && want <= isc;
    }
    double u = (uoc + ic * kInternalR) / (1.0 + kInternalR * loadG);
    double iload = u * loadG;
    r.Channel[chU_Accu] = u;
    r.Channel[chI_Accu] = ic - iload;
    r.Channel[chI_Load] = iload;
    r.Voc = voc;
    r.Channel[chI_Solar] = ic;
    r.Channel[chU_Solar] = ic > 0 ? std::max(voc - kPanelDrop * ic, u + 0.3) : voc;
    r.Channel[chUserAdcV2] = u * kUserAdcV2Ratio;
    return r;
}

void SimDeviceModel::Publish(const Raw &raw)
{
    last_ = raw;
    static constexpr std::array<int, kSimChannels> kReadingVar{vI_Solar, vU_Solar,       vI_Accu,    vU_Accu,
                                                               vI_Load,  vTemp_External, vUserAdcV1, vUserAdcV2};
    for (int ch = 0; ch < kSimChannels; ++ch)
        Val(kReadingVar[static_cast<size_t>(ch)]) = Reading(ch, raw.Channel[static_cast<size_t>(ch)]);
    // The load voltage has no calibration channel of its own: it is the battery voltage switched through.
    Val(vU_Load) = raw.LoadOn ? Get(vU_Accu) : 0.0;
    Val(vAvddVoltage) = kAvdd;
    Val(vPowerAccu) = Get(vU_Accu) * Get(vI_Accu);
    Val(vPowerSolar) = Get(vU_Solar) * Get(vI_Solar);
    Val(vPowerLoad) = Get(vU_Load) * Get(vI_Load);
    Val(vbLoadIsOn) = raw.LoadOn ? 1 : 0;

    for (int n = 0; n < 4; ++n) {
        const SquareWave &w = kInputs[static_cast<size_t>(n)];
        bool pulsed = w.FrequencyHz > 0;
        Val(DiVar(n, diChangesCounter)) = diCounters_[static_cast<size_t>(n)];
        Val(DiVar(n, diCurState)) = WaveLevel(w, time_) ? 1 : 0;
        Val(DiVar(n, diFrequency)) = pulsed ? w.FrequencyHz : 0.0;
        Val(DiVar(n, diDutyCycle)) = pulsed ? w.Duty * 100.0 : (w.Duty >= 0.5 ? 100.0 : 0.0);
        Val(DiVar(n, diTon)) = pulsed ? w.Duty / w.FrequencyHz * 1000.0 : 0.0;
        Val(DiVar(n, diToff)) = pulsed ? (1.0 - w.Duty) / w.FrequencyHz * 1000.0 : 0.0;
    }

    // Outputs in an automatic mode follow their condition; mode 0 shows the state last written.
    for (int n = 0; n < 4; ++n) {
        int mode = static_cast<int>(Get(DoVar(n, doMode)));
        bool level = doManual_[static_cast<size_t>(n)];
        switch (mode) {
        case 1:
            level = raw.Voc > raw.Channel[chU_Accu] + 0.5;
            break;
        case 2:
            level = raw.Channel[chI_Accu] > 0.05;
            break;
        case 3:
            level = !chargeEnabled_;
            break;
        case 4:
            level = lowVoltageOff_ || raw.Channel[chU_Accu] < Get(vLoadOffU);
            break;
        case 5:
            level = raw.LoadOn;
            break;
        default:
            break;
        }
        Val(DoVar(n, doState)) = level ? 1 : 0;
    }

    Val(vUpTimeHours) = time_ / 3600.0;
    Val(vWorkTimeHours) = 1523.25 + time_ / 3600.0;
    UpdateExtremes();
}

void SimDeviceModel::Integrate(const Raw &raw, double dt)
{
    double hours = dt / 3600.0;
    if (Get(vbModeCharger) != 0)
        soc_ = std::clamp(soc_ + raw.Channel[chI_Accu] * hours / kCapacityAh, 0.0, 1.0);
    double pAccu = Get(vPowerAccu);
    Val(vEnergySolar) += std::max(0.0, Get(vPowerSolar)) * hours;
    Val(vEnergyLoad) += std::max(0.0, Get(vPowerLoad)) * hours;
    Val(vEnergyAccuCharge) += std::max(0.0, pAccu) * hours;
    Val(vEnergyAccuDischarge) += std::max(0.0, -pAccu) * hours;
    if (training_ != Training::Idle) {
        Val(vTrainingChargeEnergy) += std::max(0.0, pAccu) * hours;
        Val(vTrainingDischargeEnergy) += std::max(0.0, -pAccu) * hours;
    }
    for (size_t n = 0; n < 4; ++n)
        diCounters_[n] += WaveEdges(kInputs[n], time_, time_ + dt);
    time_ += dt;
}

void SimDeviceModel::Transitions(const Raw &raw)
{
    double u = raw.Channel[chU_Accu];
    if (Get(vbModeCharger) == 0)
        return;
    if (u < Get(vLoadOffU))
        lowVoltageOff_ = true;
    else if (u > Get(vLoadOnU))
        lowVoltageOff_ = false;

    bool full = soc_ >= 0.999 || (raw.CvLimited && raw.Channel[chI_Solar] > 0 && raw.Channel[chI_Accu] < kFullCurrent);
    if (chargeEnabled_ && full)
        chargeEnabled_ = false;
    else if (!chargeEnabled_ && u < Get(vChargeMinU))
        chargeEnabled_ = true;

    switch (training_) {
    case Training::Discharge:
        if (u <= Get(vLoadOffU) || soc_ <= 0.001) {
            training_ = Training::Charge;
            chargeEnabled_ = true;
        }
        break;
    case Training::Charge:
        if (!chargeEnabled_) {
            double left = Get(vTrainingCycleCount) - 1;
            Val(vTrainingCycleCount) = std::max(0.0, left);
            training_ = left > 0 ? Training::Discharge : Training::Idle;
        }
        break;
    case Training::Idle:
        break;
    }
}

void SimDeviceModel::Step(double seconds)
{
    if (!(seconds > 0))
        return;
    // Sub-steps of at most a second, but never more than 20000 of them per call.
    double sub = std::max(1.0, seconds / 20000.0);
    double left = seconds;
    while (left > 0) {
        double dt = std::min(sub, left);
        Raw raw = ComputeRaw();
        Publish(raw);
        Integrate(raw, dt);
        Transitions(raw);
        left -= dt;
    }
    Refresh();
}

void SimDeviceModel::UpdateExtremes()
{
    auto hundredths = [this](int id) { return std::round(Get(id) * 100.0); };
    Val(vMax_U_Accu) = std::max(Get(vMax_U_Accu), hundredths(vU_Accu));
    Val(vMin_I_Accu) = std::min(Get(vMin_I_Accu), hundredths(vI_Accu));
    Val(vMax_I_Accu) = std::max(Get(vMax_I_Accu), hundredths(vI_Accu));
    Val(vMax_U_Solar) = std::max(Get(vMax_U_Solar), hundredths(vU_Solar));
    Val(vMax_I_Solar) = std::max(Get(vMax_I_Solar), hundredths(vI_Solar));
    Val(vMin_Temp) = std::min(Get(vMin_Temp), hundredths(vTemp_External));
    Val(vMax_Temp) = std::max(Get(vMax_Temp), hundredths(vTemp_External));
}

void SimDeviceModel::ResetExtremes()
{
    auto hundredths = [this](int id) { return std::round(Get(id) * 100.0); };
    Val(vMax_U_Accu) = hundredths(vU_Accu);
    Val(vMin_I_Accu) = Val(vMax_I_Accu) = hundredths(vI_Accu);
    Val(vMax_U_Solar) = hundredths(vU_Solar);
    Val(vMax_I_Solar) = hundredths(vI_Solar);
    Val(vMin_Temp) = Val(vMax_Temp) = hundredths(vTemp_External);
}
