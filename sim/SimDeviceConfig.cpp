// What the stand-in device does with writes: range checks, commands (save, defaults,
// calibration, training, resets) and the state file that plays its non-volatile memory.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include "sim/SimDeviceModel.h"

namespace {

// The configuration as it leaves the factory.
const std::vector<std::pair<int, double>> &Defaults()
{
    static const std::vector<std::pair<int, double>> table = [] {
        std::vector<std::pair<int, double>> t{{vMbMyModbusAddr, 1}, {vBaudRate, 9600},      {vChargeMinU, 13.1},
                                              {vChargeMaxU, 14.4},  {vChargeI, 2.6},        {vLoadOffU, 10.9},
                                              {vLoadOnU, 12.0},     {vVoltTempCoef, -1.95}, {vbModeCharger, 1},
                                              {vbForceLoadOff, 0},  {vbNightLightMode, 0}};
        for (int ch = 0; ch < kSimChannels; ++ch) {
            t.emplace_back(CalVar(ch, calZeroOffset), 0.0);
            t.emplace_back(CalVar(ch, calMul), 1.0);
        }
        for (int n = 0; n < 4; ++n)
            t.emplace_back(DoVar(n, doMode), 0.0);
        return t;
    }();
    return table;
}

bool IsBaudRate(double v)
{
    static constexpr double kRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    return std::find(std::begin(kRates), std::end(kRates), v) != std::end(kRates);
}

bool InRange(double v, double lo, double hi)
{
    return v >= lo && v <= hi;
}

std::string Trim(std::string_view s)
{
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string_view::npos)
        return {};
    size_t e = s.find_last_not_of(" \t\r");
    return std::string(s.substr(b, e - b + 1));
}

}  // namespace

const std::vector<int> &SimDeviceModel::PersistedVars()
{
    static const std::vector<int> ids = [] {
        std::vector<int> v;
        for (const auto &[id, value] : Defaults())
            v.push_back(id);
        return v;
    }();
    return ids;
}

void SimDeviceModel::SetDefaults()
{
    for (const auto &[id, value] : Defaults())
        Val(id) = value;
    if (Get(vbModeCharger) == 0)
        training_ = Training::Idle;
}

SimResult SimDeviceModel::Check(int id, double v) const
{
    if (id < 0 || id >= vSimVarCount || SimVar(id).Access == SimR)
        return SimBadAddress;
    if (!std::isfinite(v))
        return SimBadValue;
    bool ok = true;
    switch (id) {
    case vMbMyModbusAddr:
        ok = InRange(v, 1, 247) && v == std::floor(v);
        break;
    case vBaudRate:
        ok = IsBaudRate(v);
        break;
    case vEnergyAccuCharge:
    case vEnergyAccuDischarge:
    case vEnergySolar:
    case vEnergyLoad:
        ok = v >= 0;
        break;
    case vChargeMinU:
    case vChargeMaxU:
    case vLoadOffU:
    case vLoadOnU:
        ok = InRange(v, 0, 60);
        break;
    case vChargeI:
        ok = InRange(v, 0, 20);
        break;
    case vVoltTempCoef:
        ok = InRange(v, -20, 20);
        break;
    case vTrainingCycleCount:
        // A training needs the charger: the bench supply has no battery to cycle.
        ok = v == 0 || Get(vbModeCharger) != 0;
        break;
    default:
        if (id >= vDoFirst && id < vDoFirst + 8 && (id - vDoFirst) % 2 == doMode)
            ok = InRange(v, 0, 5) && v == std::floor(v);
        break;
    }
    return ok ? SimOk : SimBadValue;
}

SimResult SimDeviceModel::Write(int id, double v)
{
    SimResult r = Check(id, v);
    if (r != SimOk)
        return r;
    bool isDoState = id >= vDoFirst && id < vDoFirst + 8 && (id - vDoFirst) % 2 == doState;
    bool isCalCmd = id >= vCalFirst && id < vCalFirst + 40 && (id - vCalFirst) % 5 >= calZeroCmd;
    if (isCalCmd || id == vResetConfigToDefaults || id == vSaveConfigToRomNow || id == vExtremesReset) {
        r = Command(id, v);
    } else if (isDoState) {
        doManual_[static_cast<size_t>((id - vDoFirst) / 2)] = v != 0;
    } else if (id == vbModeCharger || id == vbForceLoadOff || id == vbNightLightMode) {
        Val(id) = v != 0 ? 1 : 0;
        if (id == vbModeCharger && v == 0) {
            training_ = Training::Idle;
            Val(vTrainingCycleCount) = 0;
        }
    } else if (id == vTrainingCycleCount) {
        Val(id) = v;
        training_ = v > 0 ? Training::Discharge : Training::Idle;
        if (v > 0) {
            Val(vTrainingChargeEnergy) = 0;
            Val(vTrainingDischargeEnergy) = 0;
        }
    } else if (id >= vDiFirst && id < vDoFirst && (id - vDiFirst) % 6 == diChangesCounter) {
        diCounters_[static_cast<size_t>((id - vDiFirst) / 6)] = static_cast<uint32_t>(v);
    } else {
        Val(id) = v;
    }
    Refresh();
    return r;
}

// Commands act on a non-zero value; 0 is accepted and does nothing. They read back 0.
SimResult SimDeviceModel::Command(int id, double v)
{
    if (v == 0)
        return SimOk;
    switch (id) {
    case vResetConfigToDefaults:
        SetDefaults();
        return SimOk;
    case vSaveConfigToRomNow:
        return SaveState() ? SimOk : SimFailed;
    case vExtremesReset:
        ResetExtremes();
        return SimOk;
    default:
        break;
    }
    int ch = (id - vCalFirst) / 5;
    double raw = last_.Channel[static_cast<size_t>(ch)];
    if ((id - vCalFirst) % 5 == calZeroCmd) {
        Val(CalVar(ch, calZeroOffset)) = raw;
        return SimOk;
    }
    // On a true value: the multiplier that turns the present input into it. With no signal
    // above the zero offset there is nothing to scale, so the command fails.
    double span = raw - Get(CalVar(ch, calZeroOffset));
    if (std::fabs(span) < 1e-6)
        return SimFailed;
    Val(CalVar(ch, calMul)) = Get(CalVar(ch, calPreciseValue)) / span;
    return SimOk;
}

bool SimDeviceModel::SaveState() const
{
    if (config_.StateFile.empty())
        return true;
    std::ostringstream out;
    out << "# stand-in device configuration: name = value\n";
    for (int id : PersistedVars()) {
        char buf[64];
        auto res = std::to_chars(buf, buf + sizeof buf, Get(id));
        out << SimVar(id).Name << " = " << std::string_view(buf, static_cast<size_t>(res.ptr - buf)) << '\n';
    }
    // Written aside and renamed, so that a failed save never leaves half a file behind.
    std::string tmp = config_.StateFile + ".tmp";
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        if (!f || !(f << out.str()) || !f.flush()) {
            std::remove(tmp.c_str());
            return false;
        }
    }
    if (std::rename(tmp.c_str(), config_.StateFile.c_str()) != 0) {
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

bool SimDeviceModel::LoadState(std::vector<std::string> *problems)
{
    if (config_.StateFile.empty())
        return true;
    // A missing file is a device that was never saved; any other failure is worth saying.
    std::error_code ec;
    if (!std::filesystem::exists(config_.StateFile, ec) && !ec)
        return true;
    std::ifstream f(config_.StateFile, std::ios::binary);
    if (!f || std::filesystem::is_directory(config_.StateFile, ec)) {
        if (problems)
            problems->push_back(config_.StateFile + ": cannot be read");
        return false;
    }
    const auto &persisted = PersistedVars();
    std::string line;
    for (int lineNo = 1; std::getline(f, line); ++lineNo) {
        std::string text = Trim(line);
        if (text.empty() || text[0] == '#')
            continue;
        auto complain = [&](const std::string &why) {
            if (problems)
                problems->push_back(config_.StateFile + ":" + std::to_string(lineNo) + ": " + why);
        };
        size_t eq = text.find('=');
        if (eq == std::string::npos) {
            complain("expected name = value");
            continue;
        }
        std::string name = Trim(std::string_view(text).substr(0, eq));
        std::string value = Trim(std::string_view(text).substr(eq + 1));
        int id = SimFindVar(name);
        if (id < 0 || std::find(persisted.begin(), persisted.end(), id) == persisted.end()) {
            complain("not a stored setting: " + name);
            continue;
        }
        double v = 0;
        auto res = std::from_chars(value.data(), value.data() + value.size(), v);
        if (res.ec != std::errc() || res.ptr != value.data() + value.size()) {
            complain("not a number: " + value);
            continue;
        }
        if (Check(id, v) != SimOk) {
            complain("value refused for " + name + ": " + value);
            continue;
        }
        Val(id) = v;
    }
    Refresh();
    return true;
}
