// The stand-in device's behaviour, driven by simulated time steps.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <unistd.h>

#include "sim/SimDeviceModel.h"

namespace {

SimDeviceModel AtHour(double hour, std::string stateFile = {})
{
    return SimDeviceModel(SimModelConfig{"Quintavolte 1.11", hour, std::move(stateFile)});
}

// A float variable compared as the device stores it.
float F(const SimDeviceModel &m, int id)
{
    return static_cast<float>(m.Get(id));
}

struct TempDir {
    std::filesystem::path Path;
    TempDir()
    {
        Path =
            std::filesystem::temp_directory_path() / ("qvsim-" + std::to_string(::getpid()) + "-" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(Path);
        std::filesystem::create_directories(Path);
    }
    ~TempDir() { std::filesystem::remove_all(Path); }
};

}  // namespace

TEST(SimRegisters, IdsFollowTheMapOrder)
{
    // Ids are computed from group starts; a slip would make the model drive the wrong registers.
    struct Case {
        int Id;
        const char *Name;
        uint16_t Register;
    } cases[] = {
        {vDeviceType, "DeviceType", 110},
        {vEnergyLoad, "Adc.EnergyLoad", 1106},
        {CalVar(chI_Solar, calZeroOffset), "Cal_I_Solar.ZeroOffset", 1200},
        {CalVar(chUserAdcV2, calOnValueCmd), "Cal_UserAdcV2.CalibrateOnValueMode", 1277},
        {vChargeMinU, "Reg.ChargeMinU", 2000},
        {vbNightLightMode, "Reg.bNightLightMode", 2020},
        {DiVar(0, diChangesCounter), "Di1.ChangesCounter", 3000},
        {DiVar(3, diCurState), "Di4.CurState", 3310},
        {DoVar(3, doMode), "Do4.Mode", 4301},
        {vUpTimeHours, "Rtc.UpTimeHours", 5000},
        {vExtremesReset, "Extremes.bReset", 6007},
    };
    for (const Case &c : cases) {
        EXPECT_STREQ(SimVar(c.Id).Name, c.Name);
        EXPECT_EQ(SimVar(c.Id).Register, c.Register) << c.Name;
        EXPECT_EQ(SimFindVar(c.Name), c.Id);
    }
    EXPECT_EQ(SimVarAtRegister(2003), vChargeMaxU);  // high half of a float
    EXPECT_EQ(SimVarAtRegister(119), vDeviceType);
    EXPECT_EQ(SimVarAtRegister(120), -1);
    EXPECT_EQ(SimVarAtRegister(2021), -1);
    EXPECT_EQ(SimFindVar("reg.chargemaxu"), -1);
}

TEST(SimModel, DaylightChargesTheBatteryAndNightDoesNot)
{
    SimDeviceModel noon = AtHour(12);
    EXPECT_GT(noon.Get(vU_Solar), 15.0);
    EXPECT_GT(noon.Get(vI_Solar), 1.0);
    EXPECT_NEAR(noon.Get(vPowerSolar), noon.Get(vU_Solar) * noon.Get(vI_Solar), 1e-9);
    double soc = noon.Charge();
    noon.Step(1800);
    EXPECT_GT(noon.Charge(), soc);

    SimDeviceModel midnight = AtHour(0);
    EXPECT_EQ(midnight.Get(vU_Solar), 0.0);
    EXPECT_EQ(midnight.Get(vI_Solar), 0.0);
    soc = midnight.Charge();
    midnight.Step(1800);
    EXPECT_LT(midnight.Charge(), soc);  // the load runs from the battery
    EXPECT_LT(midnight.Get(vI_Accu), 0.0);
    EXPECT_NEAR(midnight.Get(vUpTimeHours), 0.5, 1e-6);
}

TEST(SimModel, EnergyCountersIntegratePowerAndRestartAtZero)
{
    SimDeviceModel m = AtHour(6.5);  // morning: the load and the panel both work
    double solar = 0, load = 0, charge = 0, discharge = 0;
    for (int s = 0; s < 7200; ++s) {
        solar += m.Get(vPowerSolar) / 3600;
        load += m.Get(vPowerLoad) / 3600;
        charge += std::max(0.0, m.Get(vPowerAccu)) / 3600;
        discharge += std::max(0.0, -m.Get(vPowerAccu)) / 3600;
        m.Step(1);
    }
    ASSERT_GT(solar, 1.0);
    ASSERT_GT(load, 1.0);
    ASSERT_GT(charge, 0.1);
    ASSERT_GT(discharge, 0.01);
    EXPECT_NEAR(m.Get(vEnergySolar), solar, solar * 1e-6);
    EXPECT_NEAR(m.Get(vEnergyLoad), load, load * 1e-6);
    EXPECT_NEAR(m.Get(vEnergyAccuCharge), charge, charge * 1e-6);
    EXPECT_NEAR(m.Get(vEnergyAccuDischarge), discharge, discharge * 1e-6);

    for (int id : {vEnergySolar, vEnergyLoad, vEnergyAccuCharge, vEnergyAccuDischarge}) {
        SimDeviceModel c = m;
        double others = c.Get(vEnergySolar) + c.Get(vEnergyLoad) + c.Get(vEnergyAccuCharge) +
                        c.Get(vEnergyAccuDischarge) - c.Get(id);
        ASSERT_EQ(c.Write(id, 0), SimOk);
        EXPECT_EQ(c.Get(id), 0.0) << SimVar(id).Name;
        EXPECT_EQ(c.Get(vEnergySolar) + c.Get(vEnergyLoad) + c.Get(vEnergyAccuCharge) + c.Get(vEnergyAccuDischarge) -
                      c.Get(id),
                  others)
            << "only " << SimVar(id).Name << " restarts";
    }
    ASSERT_EQ(m.Write(vEnergyLoad, 0), SimOk);
    m.Step(600);
    EXPECT_GT(m.Get(vEnergyLoad), 0.0);
    EXPECT_LT(m.Get(vEnergyLoad), load);
    EXPECT_EQ(m.Write(vEnergyLoad, -1), SimBadValue);
}

TEST(SimModel, TrainingRunsDischargeAndChargeCyclesAndEndsAtZero)
{
    SimDeviceModel m = AtHour(8);
    ASSERT_EQ(m.Write(vbForceLoadOff, 1), SimOk);  // load state after the training
    ASSERT_EQ(m.Write(vTrainingCycleCount, 2), SimOk);
    EXPECT_EQ(m.Get(vTrainingCycleCount), 2);
    EXPECT_EQ(m.Get(vbLoadIsOn), 1);  // a training starts with a discharge, even with the load forced off

    int dischargeRuns = 0;
    bool wasDischarging = true, sawCount1 = false, sawCharging = false;
    double minU = 100;
    int steps = 0;
    for (; steps < 6 * 24 * 60 && m.Get(vTrainingCycleCount) != 0; ++steps) {
        m.Step(60);
        bool discharging = m.Get(vbLoadIsOn) != 0;
        if (discharging) {
            EXPECT_LE(m.Get(vI_Accu), 0.0);
            minU = std::min(minU, m.Get(vU_Accu));
        } else if (m.Get(vI_Accu) > 0) {
            sawCharging = true;
        }
        if (discharging && !wasDischarging)
            ++dischargeRuns;
        wasDischarging = discharging;
        sawCount1 = sawCount1 || m.Get(vTrainingCycleCount) == 1;
    }
    EXPECT_EQ(m.Get(vTrainingCycleCount), 0) << "training did not end in " << steps << " minutes";
    EXPECT_TRUE(sawCount1);
    EXPECT_TRUE(sawCharging);
    EXPECT_EQ(dischargeRuns, 1);               // the second cycle's discharge
    EXPECT_LE(minU, m.Get(vLoadOffU) + 0.05);  // discharged down to the cut-off
    float dis = F(m, vTrainingDischargeEnergy), chg = F(m, vTrainingChargeEnergy);
    EXPECT_GT(dis, 50.0f);
    EXPECT_GT(chg, dis);              // charging takes more energy than the battery gives back
    EXPECT_EQ(m.Get(vbLoadIsOn), 0);  // afterwards the load follows bForceLoadOff
    m.Step(3600);
    EXPECT_EQ(F(m, vTrainingDischargeEnergy), dis);  // the counters stop with the training
    EXPECT_EQ(F(m, vTrainingChargeEnergy), chg);
}

TEST(SimModel, TrainingAbortAndItsRefusalInSupplyMode)
{
    SimDeviceModel m = AtHour(20);
    ASSERT_EQ(m.Write(vTrainingCycleCount, 3), SimOk);
    m.Step(600);
    EXPECT_GT(m.Get(vTrainingDischargeEnergy), 0.0);
    ASSERT_EQ(m.Write(vbForceLoadOff, 1), SimOk);
    EXPECT_EQ(m.Get(vbLoadIsOn), 1);  // still discharging
    ASSERT_EQ(m.Write(vTrainingCycleCount, 0), SimOk);
    EXPECT_EQ(m.Get(vTrainingCycleCount), 0);
    EXPECT_EQ(m.Get(vbLoadIsOn), 0);

    ASSERT_EQ(m.Write(vbModeCharger, 0), SimOk);
    EXPECT_EQ(m.Write(vTrainingCycleCount, 1), SimBadValue);
    EXPECT_EQ(m.Get(vTrainingCycleCount), 0);
    // Leaving charger mode ends a training under way.
    ASSERT_EQ(m.Write(vbModeCharger, 1), SimOk);
    ASSERT_EQ(m.Write(vTrainingCycleCount, 1), SimOk);
    ASSERT_EQ(m.Write(vbModeCharger, 0), SimOk);
    EXPECT_EQ(m.Get(vTrainingCycleCount), 0);
}

TEST(SimModel, CalibrationMakesTheChannelReadTheTrueValue)
{
    struct Case {
        int Channel, Reading;
    } cases[] = {{chI_Solar, vI_Solar}, {chU_Accu, vU_Accu}, {chTemp, vTemp_External}, {chUserAdcV1, vUserAdcV1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(SimVar(c.Reading).Name);
        SimDeviceModel m = AtHour(12);
        double before = m.Get(c.Reading);
        ASSERT_GT(std::fabs(before), 0.5);
        double truth = before * 1.05;
        ASSERT_EQ(m.Write(CalVar(c.Channel, calPreciseValue), truth), SimOk);
        EXPECT_NEAR(m.Get(c.Reading), before, 1e-12);  // the true value alone changes nothing
        ASSERT_EQ(m.Write(CalVar(c.Channel, calOnValueCmd), 1), SimOk);
        EXPECT_NEAR(m.Get(c.Reading), truth, 1e-9);
        EXPECT_NEAR(m.Get(CalVar(c.Channel, calMul)), 1.05, 1e-9);
        EXPECT_EQ(m.Get(CalVar(c.Channel, calOnValueCmd)), 0);  // commands read back 0

        ASSERT_EQ(m.Write(CalVar(c.Channel, calZeroCmd), 1), SimOk);
        EXPECT_NEAR(m.Get(c.Reading), 0.0, 1e-12);
        EXPECT_NEAR(m.Get(CalVar(c.Channel, calZeroOffset)), before, 1e-9);
        // Nothing above the zero offset: no multiplier can be found, and the old one stays.
        EXPECT_EQ(m.Write(CalVar(c.Channel, calOnValueCmd), 1), SimFailed);
        EXPECT_NEAR(m.Get(CalVar(c.Channel, calMul)), 1.05, 1e-9);
    }
    SimDeviceModel m = AtHour(12);
    ASSERT_EQ(m.Write(CalVar(chU_Accu, calMul), 1.1), SimOk);
    EXPECT_NEAR(m.Get(vPowerAccu), m.Get(vU_Accu) * m.Get(vI_Accu), 1e-9);  // powers use the calibrated values
}

TEST(SimModel, LoadFollowsForceOffNightModeAndLowVoltage)
{
    struct Case {
        double Hour;
        int ForceOff, Night;
        int On;
    } cases[] = {{12, 0, 0, 1}, {12, 1, 0, 0}, {12, 0, 1, 0}, {22, 0, 1, 1}, {22, 1, 1, 0}};
    for (const Case &c : cases) {
        SimDeviceModel m = AtHour(c.Hour);
        ASSERT_EQ(m.Write(vbForceLoadOff, c.ForceOff), SimOk);
        ASSERT_EQ(m.Write(vbNightLightMode, c.Night), SimOk);
        EXPECT_EQ(m.Get(vbLoadIsOn), c.On) << "hour " << c.Hour << " off " << c.ForceOff << " night " << c.Night;
        EXPECT_EQ(m.Get(vU_Load) > 1.0, c.On == 1);
        EXPECT_EQ(m.Get(vI_Load) > 0.1, c.On == 1);
    }
    SimDeviceModel m = AtHour(22);
    m.SetCharge(0.02);
    m.Step(1);
    EXPECT_EQ(m.Get(vbLoadIsOn), 0);  // cut off below Reg.LoadOffU
    m.SetCharge(0.15);                // recovered, but not above Reg.LoadOnU
    m.Step(1);
    EXPECT_LT(m.Get(vU_Accu), m.Get(vLoadOnU));
    EXPECT_EQ(m.Get(vbLoadIsOn), 0);
    m.SetCharge(0.95);
    m.Step(1);
    EXPECT_EQ(m.Get(vbLoadIsOn), 1);
}

TEST(SimModel, SupplyModeDrivesTheOutputFromTheSetPoints)
{
    SimDeviceModel m = AtHour(0);  // the supply works at night too: it is fed from a DC source
    ASSERT_EQ(m.Write(vbModeCharger, 0), SimOk);
    ASSERT_EQ(m.Write(vChargeI, 3), SimOk);
    ASSERT_EQ(m.Write(vChargeMaxU, 12), SimOk);
    EXPECT_NEAR(m.Get(vU_Accu), 12.0, 1e-9);
    EXPECT_NEAR(m.Get(vI_Accu), 1.2, 1e-9);  // 10 ohm on the output
    EXPECT_NEAR(m.Get(vPowerAccu), 14.4, 1e-9);
    EXPECT_EQ(m.Get(vbLoadIsOn), 1);
    EXPECT_NEAR(m.Get(vPowerLoad), 14.4, 1e-9);
    EXPECT_GT(m.Get(vPowerSolar), m.Get(vPowerAccu));  // the source covers the losses

    ASSERT_EQ(m.Write(vChargeI, 0.5), SimOk);  // current limit
    EXPECT_NEAR(m.Get(vI_Accu), 0.5, 1e-9);
    EXPECT_NEAR(m.Get(vU_Accu), 5.0, 1e-9);

    double soc = m.Charge();
    m.Step(600);
    EXPECT_EQ(m.Charge(), soc);  // no battery in this mode
    ASSERT_EQ(m.Write(vChargeMaxU, 0), SimOk);
    EXPECT_EQ(m.Get(vU_Accu), 0.0);
    EXPECT_EQ(m.Get(vI_Accu), 0.0);
    EXPECT_EQ(m.Get(vbLoadIsOn), 0);
    EXPECT_EQ(m.Get(vChargeI), 0.5);  // switching off keeps the current limit
}

TEST(SimModel, DigitalInputsCountEdgesAndRestartAtZero)
{
    SimDeviceModel m = AtHour(12);
    m.Step(10);
    EXPECT_EQ(m.Get(DiVar(0, diChangesCounter)), 40);  // 2 Hz: two edges per period
    EXPECT_EQ(m.Get(DiVar(1, diChangesCounter)), 10);
    EXPECT_EQ(m.Get(DiVar(3, diChangesCounter)), 0);  // a constant level
    EXPECT_EQ(m.Get(DiVar(3, diCurState)), 1);
    EXPECT_EQ(m.Get(DiVar(0, diFrequency)), 2.0);
    EXPECT_EQ(m.Get(DiVar(0, diDutyCycle)), 25.0);
    EXPECT_EQ(m.Get(DiVar(0, diTon)), 125.0);
    EXPECT_EQ(m.Get(DiVar(0, diToff)), 375.0);
    ASSERT_EQ(m.Write(DiVar(0, diChangesCounter), 0), SimOk);
    EXPECT_EQ(m.Get(DiVar(0, diChangesCounter)), 0);
    EXPECT_EQ(m.Get(DiVar(1, diChangesCounter)), 10);
    m.Step(1);
    EXPECT_EQ(m.Get(DiVar(0, diChangesCounter)), 4);
}

TEST(SimModel, OutputsKeepStateAndModeAndFollowAutomaticModes)
{
    SimDeviceModel m = AtHour(12);
    ASSERT_EQ(m.Write(DoVar(0, doState), 1), SimOk);
    EXPECT_EQ(m.Get(DoVar(0, doState)), 1);
    m.Step(60);
    EXPECT_EQ(m.Get(DoVar(0, doState)), 1);          // mode 0: left to Modbus
    ASSERT_EQ(m.Write(DoVar(1, doMode), 5), SimOk);  // follows the load
    EXPECT_EQ(m.Get(DoVar(1, doMode)), 5);
    EXPECT_EQ(m.Get(DoVar(1, doState)), 1);
    ASSERT_EQ(m.Write(vbForceLoadOff, 1), SimOk);
    EXPECT_EQ(m.Get(DoVar(1, doState)), 0);
}

TEST(SimModel, WritesOutsideTheirRangeAreRefused)
{
    struct Case {
        int Id;
        double Value;
        SimResult Expected;
    } cases[] = {
        {vMbMyModbusAddr, 0, SimBadValue},
        {vMbMyModbusAddr, 248, SimBadValue},
        {vMbMyModbusAddr, 247, SimOk},
        {vBaudRate, 19200, SimOk},
        {vBaudRate, 1234, SimBadValue},
        {DoVar(2, doMode), 6, SimBadValue},
        {DoVar(2, doMode), 5, SimOk},
        {vChargeI, -0.1, SimBadValue},
        {vChargeMaxU, 61, SimBadValue},
        {vChargeMaxU, std::numeric_limits<double>::quiet_NaN(), SimBadValue},
        {vChargeMaxU, std::numeric_limits<double>::infinity(), SimBadValue},
        {vU_Accu, 12, SimBadAddress},
        {vDeviceType, 0, SimBadAddress},
        {vUpTimeHours, 0, SimBadAddress},
    };
    for (const Case &c : cases) {
        SimDeviceModel m = AtHour(12);
        double before = m.Get(c.Id);
        EXPECT_EQ(m.Write(c.Id, c.Value), c.Expected) << SimVar(c.Id).Name << " = " << c.Value;
        if (c.Expected != SimOk) {
            EXPECT_EQ(m.Get(c.Id), before) << SimVar(c.Id).Name;
        }
    }
}

TEST(SimModel, ExtremesFollowTheReadingsUntilReset)
{
    SimDeviceModel m = AtHour(11);
    m.Step(3 * 3600);
    double noonU = m.Get(vMax_U_Solar);
    EXPECT_GE(noonU, std::round(m.Get(vU_Solar) * 100));
    EXPECT_GT(noonU, 1500);  // hundredths of a volt
    m.Step(10 * 3600);       // into the night
    EXPECT_EQ(m.Get(vU_Solar), 0.0);
    EXPECT_EQ(m.Get(vMax_U_Solar), noonU);
    EXPECT_LT(m.Get(vMin_Temp), m.Get(vMax_Temp));
    EXPECT_LT(m.Get(vMin_I_Accu), 0);  // discharged in the evening
    ASSERT_EQ(m.Write(vExtremesReset, 1), SimOk);
    EXPECT_EQ(m.Get(vMax_U_Solar), 0);
    EXPECT_EQ(m.Get(vMin_Temp), m.Get(vMax_Temp));
    EXPECT_EQ(m.Get(vMax_U_Accu), std::round(m.Get(vU_Accu) * 100));
    EXPECT_EQ(m.Get(vExtremesReset), 0);
}

TEST(SimModel, ResetToDefaultsRestoresTheConfigurationOnly)
{
    SimDeviceModel m = AtHour(12);
    const SimDeviceModel fresh = AtHour(12);
    ASSERT_EQ(m.Write(vChargeMaxU, 13.0), SimOk);
    ASSERT_EQ(m.Write(vMbMyModbusAddr, 33), SimOk);
    ASSERT_EQ(m.Write(CalVar(chI_Load, calMul), 0.9), SimOk);
    ASSERT_EQ(m.Write(DoVar(3, doMode), 2), SimOk);
    ASSERT_EQ(m.Write(vbModeCharger, 0), SimOk);
    m.Step(3600);
    double energy = m.Get(vEnergySolar);
    ASSERT_GT(energy, 0);
    ASSERT_EQ(m.Write(vResetConfigToDefaults, 1), SimOk);
    for (int id : SimDeviceModel::PersistedVars())
        EXPECT_EQ(m.Get(id), fresh.Get(id)) << SimVar(id).Name;
    EXPECT_EQ(m.Get(vEnergySolar), energy);
    EXPECT_EQ(m.Get(vResetConfigToDefaults), 0);
}

TEST(SimModel, SavedConfigurationIsRestoredAtTheNextStart)
{
    TempDir dir;
    std::string file = (dir.Path / "device.state").string();
    {
        SimDeviceModel m = AtHour(12, file);
        ASSERT_TRUE(m.LoadState(nullptr));  // no file yet: defaults
        ASSERT_EQ(m.Write(vChargeMaxU, 13.8), SimOk);
        ASSERT_EQ(m.Write(vMbMyModbusAddr, 17), SimOk);
        ASSERT_EQ(m.Write(vBaudRate, 19200), SimOk);
        ASSERT_EQ(m.Write(CalVar(chU_Accu, calMul), static_cast<float>(1.0123)), SimOk);
        ASSERT_EQ(m.Write(DoVar(1, doMode), 3), SimOk);
        ASSERT_EQ(m.Write(vbNightLightMode, 1), SimOk);
        ASSERT_EQ(m.Write(vSaveConfigToRomNow, 1), SimOk);
        EXPECT_EQ(m.Get(vSaveConfigToRomNow), 0);
        ASSERT_EQ(m.Write(vChargeI, 4.0), SimOk);  // after the save: not kept
    }
    SimDeviceModel back = AtHour(12, file);
    std::vector<std::string> problems;
    ASSERT_TRUE(back.LoadState(&problems));
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(F(back, vChargeMaxU), 13.8f);
    EXPECT_EQ(back.Address(), 17);
    EXPECT_EQ(back.Get(vBaudRate), 19200);
    EXPECT_EQ(F(back, CalVar(chU_Accu, calMul)), static_cast<float>(1.0123));
    EXPECT_EQ(back.Get(DoVar(1, doMode)), 3);
    EXPECT_EQ(back.Get(vbNightLightMode), 1);
    EXPECT_EQ(F(back, vChargeI), 2.6f);
}

TEST(SimModel, StateFileProblemsAreReportedNotGuessed)
{
    TempDir dir;
    std::string file = (dir.Path / "device.state").string();
    std::ofstream(file) << "# comment\n"
                           "Reg.ChargeMaxU = 13.5\n"
                           "garbage line\n"
                           "Reg.ChargeI = abc\n"
                           "Mb.MyModbusAddr = 300\n"
                           "Adc.U_Accu = 12\n"
                           "Reg.LoadOnU=12.5\n";
    SimDeviceModel m = AtHour(12, file);
    std::vector<std::string> problems;
    ASSERT_TRUE(m.LoadState(&problems));
    ASSERT_EQ(problems.size(), 4u);
    EXPECT_NE(problems[0].find(":3:"), std::string::npos) << problems[0];
    EXPECT_NE(problems[3].find("Adc.U_Accu"), std::string::npos) << problems[3];
    EXPECT_EQ(F(m, vChargeMaxU), 13.5f);
    EXPECT_EQ(F(m, vLoadOnU), 12.5f);
    EXPECT_EQ(F(m, vChargeI), 2.6f);
    EXPECT_EQ(m.Address(), 1);

    // A save that cannot be written is a failure, not an acknowledgement.
    SimDeviceModel lost = AtHour(12, (dir.Path / "missing-dir" / "device.state").string());
    EXPECT_EQ(lost.Write(vSaveConfigToRomNow, 1), SimFailed);
    SimDeviceModel unreadable = AtHour(12, dir.Path.string());  // a directory
    problems.clear();
    EXPECT_FALSE(unreadable.LoadState(&problems));
    EXPECT_EQ(problems.size(), 1u);
}
