// The settings file: which variables count as settings, the text a person reads and
// edits, the checks that refuse a damaged file before anything is written, and the
// comparison that decides what a restore writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <string>
#include <vector>

#include "device/ModbusAction.h"
#include "device/SettingsFile.h"

namespace {

std::vector<std::string> SettingNames(int32_t version)
{
    std::vector<std::string> names;
    for (const MbVariableRow *row : DeviceSettings(version))
        names.push_back(MString(row->Name).ToUtf8());
    return names;
}

bool Has(const std::vector<std::string> &names, const std::string &name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

const std::string kHeader = "# device: Quintavolte 1.11\n# date: 2026-12-10 12:00:00 +0000\n";

TEST(SettingsFile, SettingsAreConfigurationNotCommandsCountersOrOutputs)
{
    const std::vector<std::string> v111 = SettingNames(111), v110 = SettingNames(110);
    EXPECT_EQ(v111.size(), 31u);  // address, baud, 8 x 2 calibration, 9 charger, 4 output modes
    EXPECT_EQ(v110.size(), 27u);  // the output modes came with 1.11
    for (const char *name : {"Mb.MyModbusAddr", "485.Init.BaudRate", "Cal_U_Accu.Mul", "Cal_UserAdcV2.ZeroOffset",
                             "Reg.ChargeMaxU", "Reg.VoltTempCoef", "Reg.bModeCharger", "Reg.bNightLightMode", "Do4.Mode"})
        EXPECT_TRUE(Has(v111, name)) << name;
    EXPECT_FALSE(Has(v110, "Do1.Mode"));
    for (const char *name : {"SaveConfigToRomNow", "ResetConfigToDefaults", "Reg.TrainingCycleCount", "Extremes.bReset",
                             "Cal_U_Solar.CalibrateZeroMode", "Cal_I_Accu.PreciseValue", "Adc.EnergySolar",
                             "Di1.ChangesCounter", "Do1.State", "DeviceType", "Adc.U_Accu"})
        EXPECT_FALSE(Has(v111, name)) << name;
}

TEST(SettingsFile, WrittenTextReadsBackAsTheSameSettings)
{
    const std::string text = FormatSettingsFile("Quintavolte 1.11", "2026-12-10 12:00:00 +0000",
                                                {{"Reg.ChargeMaxU", "14.4"}, {"Do2.Mode", "3"}, {"485.Init.BaudRate", "9600"}});
    EXPECT_NE(text.find("\nReg.ChargeMaxU = 14.4\n"), std::string::npos) << text;
    SettingsFile file;
    std::string error;
    ASSERT_TRUE(ParseSettingsFile(text, &file, &error)) << error;
    EXPECT_EQ(file.DeviceType, "Quintavolte 1.11");
    EXPECT_EQ(file.Date, "2026-12-10 12:00:00 +0000");
    ASSERT_EQ(file.Settings.size(), 3u);
    EXPECT_EQ(file.Settings[1].Name, "Do2.Mode");
    EXPECT_EQ(file.Settings[1].Value, "3");
    EXPECT_EQ(file.Settings[1].Line, 6);

    // What a person may do to it: comments, blank lines, spaces, Windows line ends, no
    // final line end, fewer settings.
    ASSERT_TRUE(ParseSettingsFile("\r\n# my notes\r\n" + kHeader + "  Reg.ChargeI=2.5  \r\n\nReg.LoadOnU = 12", &file, &error))
        << error;
    ASSERT_EQ(file.Settings.size(), 2u);
    EXPECT_EQ(file.Settings[0].Value, "2.5");
    EXPECT_EQ(file.Settings[1].Line, 7);
}

TEST(SettingsFile, ADamagedFileIsRefusedNamingTheLine)
{
    struct Case {
        std::string Body;
        std::string Message;
    } cases[] = {
        {"Reg.Nonsense = 1\n", "line 3: unknown variable Reg.Nonsense"},
        {"Reg.ChargeMaxU = 14.x\n", "line 3: '14.x' is not a number"},
        {"Reg.ChargeMaxU = 14,2\n", "line 3: '14,2' has a decimal comma"},
        {"Reg.ChargeMaxU = 1e39\n", "'1e39' is out of range (allowed: 0..100)"},
        {"Reg.ChargeMaxU = 14.2\nReg.ChargeM", "line 4: not a \"NAME = VALUE\" line: Reg.ChargeM"},
        {"Reg.ChargeMaxU =\n", "line 3: no value for Reg.ChargeMaxU"},
        {"= 3\n", "line 3: no name before '='"},
        {"Mb.MyModbusAddr = 70000\n", "'70000' is out of range (allowed: 1..247)"},
        {"Do1.Mode = 1.5\n", "'1.5' is not a whole number (allowed: 0..5)"},
        {"Reg.ChargeI = 2\nReg.ChargeI = 3\n", "line 4: Reg.ChargeI is given twice (also on line 3)"},
        {"SaveConfigToRomNow = 1\n", "line 3: SaveConfigToRomNow is not a setting"},
        {"Adc.U_Accu = 12\n", "Adc.U_Accu is not a setting"},
    };
    for (const Case &c : cases) {
        SettingsFile file;
        std::string error;
        EXPECT_FALSE(ParseSettingsFile(kHeader + c.Body, &file, &error)) << c.Body;
        EXPECT_NE(error.find(c.Message), std::string::npos) << c.Body << " gave: " << error;
    }
    SettingsFile file;
    std::string error;
    EXPECT_FALSE(ParseSettingsFile("Reg.ChargeI = 2\n", &file, &error));
    EXPECT_NE(error.find("not a Quintavolte settings file"), std::string::npos) << error;
    EXPECT_FALSE(ParseSettingsFile("", &file, &error));
}

TEST(SettingsFile, AFaultCarriesWhatAFrontEndNeedsToWordIt)
{
    SettingsFile file;
    std::string error;
    SettingsFault fault;
    EXPECT_FALSE(ParseSettingsFile(kHeader + "Reg.ChargeI = 2\nReg.ChargeI = 3\n", &file, &error, &fault));
    EXPECT_EQ(fault.Kind, SettingsFaultKind::GivenTwice);
    EXPECT_EQ(fault.Line, 4);
    EXPECT_EQ(fault.Name, "Reg.ChargeI");
    EXPECT_EQ(fault.Other, "3");
    EXPECT_FALSE(ParseSettingsFile(kHeader + "Do1.Mode = x\n", &file, &error, &fault));
    EXPECT_EQ(fault.Kind, SettingsFaultKind::BadValue);
    EXPECT_EQ(fault.Value, "x");
    EXPECT_EQ(fault.Other, "is not a number (allowed: 0..5)");

    ASSERT_TRUE(ParseSettingsFile("\n# device: Other device 2.0\n", &file, &error, &fault)) << error;
    EXPECT_EQ(fault.Kind, SettingsFaultKind::None);
    EXPECT_FALSE(CheckSettingsForDevice(file, "Quintavolte 1.11", 111, &error, &fault));
    EXPECT_EQ(fault.Kind, SettingsFaultKind::OtherDevice);
    EXPECT_EQ(fault.Line, 2);
    EXPECT_EQ(fault.Value, "Other device 2.0");
    EXPECT_EQ(fault.Other, "Quintavolte 1.11");
}

TEST(SettingsFile, TheFileMustFitTheConnectedDevice)
{
    SettingsFile file;
    std::string error;
    ASSERT_TRUE(ParseSettingsFile(kHeader + "Reg.ChargeI = 2\nDo1.Mode = 2\n", &file, &error)) << error;
    EXPECT_TRUE(CheckSettingsForDevice(file, "Quintavolte 1.12", 112, &error)) << error;  // a newer version is fine
    EXPECT_FALSE(CheckSettingsForDevice(file, "Quintavolte 1.10", 110, &error));
    EXPECT_EQ(error, "line 4: Do1.Mode is not a setting of Quintavolte 1.10");

    ASSERT_TRUE(ParseSettingsFile("# device: Other device 2.0\nReg.ChargeI = 2\n", &file, &error)) << error;
    EXPECT_FALSE(CheckSettingsForDevice(file, "Quintavolte 1.11", 111, &error));
    EXPECT_EQ(error, "line 1: the file is for Other device 2.0, the device is Quintavolte 1.11");
}

TEST(SettingsFile, FloatsAreWrittenAsTheShortestNumberShownTheSameWay)
{
    struct Case {
        uint32_t Type;
        std::string Shown;
        std::string File;
    } cases[] = {
        {mbtFloat, "14.39999", "14.4"},  // 14.4f is 14.3999996..., shown cut to 5 decimals
        {mbtFloat, "2,59999", "2.6"},    // as shown in a locale with a decimal comma
        {mbtFloat, "-1.95000", "-1.95"},
        {mbtFloat, "12", "12"},
        {mbtFloat, "0.00012", "0.000125"},  // 0.00012f is 0.000119999..., shown as 0.00011
        {mbtFloat, "123456.7", "123456.7"},
        {mbtUInt, "115200", "115200"},
        {mbtUShort, "--", "--"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(SettingFileText(c.Type, c.Shown), c.File) << c.Shown;
        EXPECT_TRUE(SameSettingValue(c.Type, c.Shown, c.File)) << c.Shown;
    }
    EXPECT_FALSE(SameSettingValue(mbtFloat, "14.39999", "14.39998"));
    EXPECT_FALSE(SameSettingValue(mbtFloat, "14.4", "14.39"));
    EXPECT_FALSE(SameSettingValue(mbtUShort, "1", "2"));
    EXPECT_TRUE(SameSettingValue(mbtUShort, "16", "0x10"));
}

TEST(SettingsFile, ChangesAreOnlyWhatDiffersInASafeWriteOrder)
{
    SettingsFile file;
    std::string error;
    ASSERT_TRUE(ParseSettingsFile(kHeader +
                                      "485.Init.BaudRate = 19200\nReg.bModeCharger = 0\nReg.ChargeMaxU = 5\n"
                                      "Reg.ChargeI = 2.6\nMb.MyModbusAddr = 7\n",
                                  &file, &error))
        << error;
    const std::vector<std::pair<std::string, std::string>> device{
        {"Mb.MyModbusAddr", "1"},   {"485.Init.BaudRate", "9600"}, {"Reg.ChargeMaxU", "14.4"},
        {"Reg.ChargeI", "2.59999"}, {"Reg.bModeCharger", "1"}};
    const std::vector<SettingChange> changes = CompareSettings(file, device);
    std::vector<std::string> order;
    for (const SettingChange &c : changes)
        order.push_back(c.Name);
    // The supply mode is entered after its set-point is in place; the baud rate goes last.
    EXPECT_EQ(order, (std::vector<std::string>{"Mb.MyModbusAddr", "Reg.ChargeMaxU", "Reg.bModeCharger", "485.Init.BaudRate"}));
    EXPECT_EQ(changes[1].DeviceValue, "14.4");
    EXPECT_EQ(changes[1].FileValue, "5");
    EXPECT_EQ(changes[1].Line, 5);

    // Back to the charger: its mode goes first, before the charger voltages.
    ASSERT_TRUE(ParseSettingsFile(kHeader + "Reg.ChargeMaxU = 14.4\nReg.bModeCharger = 1\n", &file, &error)) << error;
    const std::vector<SettingChange> back =
        CompareSettings(file, {{"Reg.ChargeMaxU", "5"}, {"Reg.bModeCharger", "0"}});
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].Name, "Reg.bModeCharger");
}

}  // namespace
