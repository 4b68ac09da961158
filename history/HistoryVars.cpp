#include "history/HistoryVars.h"

const std::array<HistoryVar, kHistoryVarCount> &HistoryVars()
{
    static const std::array<HistoryVar, kHistoryVarCount> vars{{
        {"Adc.U_Accu", "u_accu", false},
        {"Adc.I_Accu", "i_accu", false},
        {"Adc.U_Solar", "u_solar", false},
        {"Adc.I_Solar", "i_solar", false},
        {"Adc.PowerSolar", "p_solar", false},
        {"Adc.PowerLoad", "p_load", false},
        {"Adc.Temp_External", "t_ext", false},
        {"Adc.EnergyAccuCharge", "e_charge", true},
        {"Adc.EnergyAccuDischarge", "e_discharge", true},
        {"Adc.EnergySolar", "e_solar", true},
        {"Adc.EnergyLoad", "e_load", true},
    }};
    return vars;
}

int FindHistoryVar(std::string_view name)
{
    const auto &vars = HistoryVars();
    for (int i = 0; i < kHistoryVarCount; ++i)
        if (name == vars[i].Name)
            return i;
    return -1;
}
