// The settings file: which variables count as settings, the text a person reads and
// edits, the checks that refuse a damaged file before anything is written, and the
// comparison that decides what a restore writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <clocale>
#include <string>
#include <vector>

#include "device/ModbusAction.h"
#include "device/SettingsFile.h"
#include "device/WriteGate.h"

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
    for (const char *name :
         {"Mb.MyModbusAddr", "485.Init.BaudRate", "Cal_U_Accu.Mul", "Cal_UserAdcV2.ZeroOffset", "Reg.ChargeMaxU",
          "Reg.VoltTempCoef", "Reg.bModeCharger", "Reg.bNightLightMode", "Do4.Mode"})
        EXPECT_TRUE(Has(v111, name)) << name;
    EXPECT_FALSE(Has(v110, "Do1.Mode"));
    for (const char *name : {"SaveConfigToRomNow", "ResetConfigToDefaults", "Reg.TrainingCycleCount", "Extremes.bReset",
                             "Cal_U_Solar.CalibrateZeroMode", "Cal_I_Accu.PreciseValue", "Adc.EnergySolar",
                             "Di1.ChangesCounter", "Do1.State", "DeviceType", "Adc.U_Accu"})
        EXPECT_FALSE(Has(v111, name)) << name;
}

TEST(SettingsFile, WrittenTextReadsBackAsTheSameSettings)
{
    const std::string text =
        FormatSettingsFile("Quintavolte 1.11", "2026-12-10 12:00:00 +0000",
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

    // What a person may do to it: a byte order mark, comments, blank lines, spaces and
    // tabs, Windows line ends, fewer settings.
    ASSERT_TRUE(ParseSettingsFile(
        "\xEF\xBB\xBF\r\n# my notes\r\n" + kHeader + "  Reg.ChargeI=2.5  \r\n\n\tReg.LoadOnU = 12\r\n", &file, &error))
        << error;
    ASSERT_EQ(file.Settings.size(), 2u);
    EXPECT_EQ(file.Settings[0].Value, "2.5");
    EXPECT_EQ(file.Settings[1].Line, 7);
    ASSERT_TRUE(ParseSettingsFile("\xEF\xBB\xBF" + kHeader, &file, &error)) << error;
    EXPECT_EQ(file.DeviceType, "Quintavolte 1.11");
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
        {"Reg.ChargeMaxU = 14.2\nReg.ChargeM\n", "line 4: not a \"NAME = VALUE\" line: Reg.ChargeM"},
        // Cut short inside a line: what is left reads as a value, but must not be written.
        {"Reg.ChargeMinU = 1", "line 3: the last line has no line end, the file may be cut short: Reg.ChargeMinU = 1"},
        {"Reg.ChargeI = 2\n# end", "line 4: the last line has no line end"},
        {"Reg.ChargeI = 2\x07\n", "line 3: a control character (0x07)"},
        {"Reg.ChargeI = 2\r5\n", "line 3: a control character (0x0D)"},
        {"# note\x1B[2J\n", "line 3: a control character (0x1B)"},
        {"Reg.ChargeI = 2\x7F\n", "line 3: a control character (0x7F)"},
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

TEST(SettingsFile, QuotedFileTextIsCutInMessages)
{
    SettingsFile file;
    std::string error;
    SettingsFault fault;
    const std::string longName = "Reg." + std::string(200, 'x');
    EXPECT_FALSE(ParseSettingsFile(kHeader + longName + "\n", &file, &error, &fault));
    EXPECT_EQ(error, "line 3: not a \"NAME = VALUE\" line: " + longName.substr(0, 60) + "...");
    EXPECT_EQ(fault.Value, longName.substr(0, 60) + "...");
    EXPECT_FALSE(ParseSettingsFile(kHeader + longName + " = 1\n", &file, &error, &fault));
    EXPECT_EQ(error, "line 3: unknown variable " + longName.substr(0, 60) + "...");
    // Characters, not bytes: a Cyrillic text is not split inside a letter.
    std::string cyrillic;
    for (int i = 0; i < 70; ++i)
        cyrillic += "ж";
    EXPECT_FALSE(ParseSettingsFile(kHeader + "Reg.ChargeI = " + cyrillic + "\n", &file, &error, &fault));
    EXPECT_EQ(fault.Value, cyrillic.substr(0, 120) + "...");
    EXPECT_NE(error.find("'" + cyrillic.substr(0, 120) + "...' is not a number"), std::string::npos) << error;
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

TEST(SettingsFile, FloatsAreWrittenFromTheirBitsAsTheShortestExactText)
{
    const struct {
        float Value;
        std::string File;
    } floats[] = {
        {14.4f, "14.4"},
        {1.2345678f, "1.2345678"},      // shown as 1.23456
        {0.000123456f, "0.000123456"},  // shown as 0.00012
        {-1.9876543f, "-1.9876543"},
        {1e-7f, "1e-07"},
        {-2.5e-30f, "-2.5e-30"},
        {1e-40f, "1e-40"},          // below the normal range
        {16777217.0f, "16777216"},  // 2^24 + 1 is no float
        {3.4028235e38f, "3.4028235e+38"},
        {-0.0f, "-0"},
    };
    for (const auto &f : floats) {
        const uint32_t bits = std::bit_cast<uint32_t>(f.Value);
        const uint8_t raw[4] = {uint8_t(bits), uint8_t(bits >> 8), uint8_t(bits >> 16), uint8_t(bits >> 24)};
        const std::string text = ExactSettingText(mbtFloat, raw, 4, "shown");
        EXPECT_EQ(text, f.File);
        float back = 0;
        ASSERT_EQ(std::from_chars(text.data(), text.data() + text.size(), back).ec, std::errc()) << text;
        EXPECT_EQ(std::bit_cast<uint32_t>(back), bits) << text;
        EXPECT_TRUE(SameSettingValue(mbtFloat, text, f.File)) << text;
    }
    const uint8_t two[2] = {1, 2};
    EXPECT_EQ(ExactSettingText(mbtFloat, two, 2, "1"), "") << "too few bytes for a float";
    EXPECT_EQ(ExactSettingText(mbtUInt, two, 2, "115200"), "115200");
    EXPECT_EQ(ExactSettingText(mbtUShort, two, 2, "--"), "--");

    // Floats compare by their bits: one unit in the last place is a difference, another
    // way of writing the same float is not.
    EXPECT_FALSE(SameSettingValue(mbtFloat, "1.2345678", "1.23456"));
    EXPECT_FALSE(SameSettingValue(mbtFloat, "1.2345678", "1.2345679"));
    EXPECT_FALSE(SameSettingValue(mbtFloat, "0", "-0"));
    EXPECT_TRUE(SameSettingValue(mbtFloat, "14.4", "14.400000"));
    EXPECT_TRUE(SameSettingValue(mbtFloat, "14.4", "1.44e1"));
    EXPECT_TRUE(SameSettingValue(mbtFloat, "16777216", "16777217"));
    EXPECT_FALSE(SameSettingValue(mbtUShort, "1", "2"));
    EXPECT_TRUE(SameSettingValue(mbtUShort, "16", "0x10"));

    // The text the program shows is still turned into the shortest number shown the same way.
    EXPECT_EQ(SettingFileText(mbtFloat, "14.39999"), "14.4");
    EXPECT_EQ(SettingFileText(mbtFloat, "2,59999"), "2.6");
}

TEST(SettingsFile, ChangesAreOnlyWhatDiffersInASafeWriteOrder)
{
    SettingsFile file;
    std::string error;
    ASSERT_TRUE(ParseSettingsFile(kHeader + "485.Init.BaudRate = 19200\nReg.bModeCharger = 0\nReg.ChargeMaxU = 5\n"
                                            "Reg.ChargeI = 2.6\nMb.MyModbusAddr = 7\n",
                                  &file, &error))
        << error;
    const std::vector<std::pair<std::string, std::string>> device{{"Mb.MyModbusAddr", "1"},
                                                                  {"485.Init.BaudRate", "9600"},
                                                                  {"Reg.ChargeMaxU", "14.4"},
                                                                  {"Reg.ChargeI", "2.6"},
                                                                  {"Reg.bModeCharger", "1"}};
    const std::vector<SettingChange> changes = CompareSettings(file, device);
    std::vector<std::string> order;
    for (const SettingChange &c : changes)
        order.push_back(c.Name);
    // The supply mode is entered after its set-point is in place; the baud rate goes last.
    // The address and the baud rate, which may cut the link, go last.
    EXPECT_EQ(order,
              (std::vector<std::string>{"Reg.ChargeMaxU", "Reg.bModeCharger", "Mb.MyModbusAddr", "485.Init.BaudRate"}));
    EXPECT_EQ(changes[0].DeviceValue, "14.4");
    EXPECT_EQ(changes[0].FileValue, "5");
    EXPECT_EQ(changes[0].Line, 5);

    // Back to the charger: its mode goes first, before the charger voltages.
    ASSERT_TRUE(ParseSettingsFile(kHeader + "Reg.ChargeMaxU = 14.4\nReg.bModeCharger = 1\n", &file, &error)) << error;
    const std::vector<SettingChange> back = CompareSettings(file, {{"Reg.ChargeMaxU", "5"}, {"Reg.bModeCharger", "0"}});
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].Name, "Reg.bModeCharger");
}

TEST(SettingsFile, TheChipIdentityIsRecordedAndOldFilesStayReadable)
{
    EXPECT_EQ(ChipIdentityText(0x8A3C1F07u, 0x00412233u, 0x1234ABCDu), "8A3C1F07 00412233 1234ABCD");
    const std::string text = FormatSettingsFile("Quintavolte 1.11", "2026-12-10 12:00:00 +0000", {{"Reg.ChargeI", "2"}},
                                                "8A3C1F07 00412233 1234ABCD");
    EXPECT_NE(text.find("\n# chip: 8A3C1F07 00412233 1234ABCD\n"), std::string::npos) << text;
    SettingsFile file;
    std::string error;
    ASSERT_TRUE(ParseSettingsFile(text, &file, &error)) << error;
    EXPECT_EQ(file.Chip, "8A3C1F07 00412233 1234ABCD");
    // Written by hand in lower case: the same unit.
    ASSERT_TRUE(ParseSettingsFile(kHeader + "# chip:  8a3c1f07\t00412233 1234abcd \nReg.ChargeI = 2\n", &file, &error))
        << error;
    EXPECT_EQ(file.Chip, "8A3C1F07 00412233 1234ABCD");
    // A file from before the chip line: read as ever, naming no unit.
    ASSERT_TRUE(ParseSettingsFile(kHeader + "Reg.ChargeI = 2\n", &file, &error)) << error;
    EXPECT_EQ(file.Chip, "");
    ASSERT_EQ(file.Settings.size(), 1u);
    for (const char *bad : {"8A3C1F07 00412233", "8A3C1F07 00412233 1234ABCZ", "8A3C1F0700412233 1234ABCD 1",
                            "8A3C1F07 00412233 1234ABCD 1", "", "+A3C1F07 00412233 1234ABCD"}) {
        SettingsFault fault;
        EXPECT_FALSE(ParseSettingsFile(kHeader + "# chip: " + bad + "\nReg.ChargeI = 2\n", &file, &error, &fault))
            << bad;
        EXPECT_EQ(fault.Kind, SettingsFaultKind::BadChip) << bad;
        EXPECT_EQ(fault.Line, 3) << bad;
    }
}

TEST(SettingsFile, APlanLeavesAnotherUnitsCalibrationOutAndNamesWhatMayCutTheLink)
{
    const std::string chip = "8A3C1F07 00412233 1234ABCD", other = "8A3C1F07 00412233 1234ABCE";
    const std::vector<std::pair<std::string, std::string>> device{
        {"Cal_U_Accu.Mul", "1"}, {"Cal_I_Solar.ZeroOffset", "0"}, {"Reg.ChargeI", "2"}, {"485.Init.BaudRate", "9600"}};
    auto parse = [](const std::string &text) {
        SettingsFile file;
        std::string error;
        EXPECT_TRUE(ParseSettingsFile(text, &file, &error)) << error;
        return file;
    };
    auto names = [](const std::vector<SettingChange> &changes) {
        std::vector<std::string> n;
        for (const SettingChange &c : changes)
            n.push_back(c.Name);
        return n;
    };
    const std::string body = "Cal_U_Accu.Mul = 1.01\nCal_I_Solar.ZeroOffset = 0\nReg.ChargeI = 3\n";
    const SettingsFile mine = parse(kHeader + "# chip: " + chip + "\n" + body);
    const SettingsFile foreign = parse(kHeader + "# chip: " + other + "\n" + body);
    const SettingsFile old = parse(kHeader + body);

    const SettingsPlan same = PlanSettings(mine, device, "Quintavolte 1.11", chip, false);
    EXPECT_FALSE(same.OtherUnit);
    EXPECT_EQ(names(same.Changes), (std::vector<std::string>{"Cal_U_Accu.Mul", "Reg.ChargeI"}));
    EXPECT_TRUE(same.LeftOut.empty());
    for (const SettingsFile *f : {&foreign, &old}) {
        const SettingsPlan p = PlanSettings(*f, device, "Quintavolte 1.11", chip, false);
        EXPECT_TRUE(p.OtherUnit);
        EXPECT_EQ(names(p.Changes), std::vector<std::string>{"Reg.ChargeI"});
        EXPECT_EQ(names(p.LeftOut), std::vector<std::string>{"Cal_U_Accu.Mul"});
        const SettingsPlan asked = PlanSettings(*f, device, "Quintavolte 1.11", chip, true);
        EXPECT_TRUE(asked.CalibrationAsked);
        EXPECT_EQ(names(asked.Changes), (std::vector<std::string>{"Cal_U_Accu.Mul", "Reg.ChargeI"}));
        EXPECT_TRUE(asked.LeftOut.empty());
    }
    // A device whose identity is unknown is no match either.
    EXPECT_TRUE(PlanSettings(mine, device, "Quintavolte 1.11", "", false).OtherUnit);

    // Another firmware version is named; a type text without one claims none.
    EXPECT_FALSE(same.OtherVersion);
    EXPECT_TRUE(PlanSettings(mine, device, "Quintavolte 1.10", chip, false).OtherVersion);
    EXPECT_FALSE(PlanSettings(mine, device, "Quintavolte 1.110", chip, false).OtherVersion);
    EXPECT_FALSE(
        PlanSettings(parse("# device: Quintavolte\n" + body), device, "Quintavolte 1.11", chip, false).OtherVersion);

    EXPECT_FALSE(same.ChangesLink);
    const SettingsPlan baud = PlanSettings(parse(kHeader + "485.Init.BaudRate = 1200\nReg.ChargeI = 3\n"), device,
                                           "Quintavolte 1.11", chip, false);
    EXPECT_TRUE(baud.ChangesLink);
    EXPECT_EQ(names(baud.Changes), (std::vector<std::string>{"Reg.ChargeI", "485.Init.BaudRate"}));
    EXPECT_TRUE(ChangesDeviceLink(std::string_view("Mb.MyModbusAddr")));
    EXPECT_TRUE(ChangesDeviceLink(std::u16string_view(u"485.Init.BaudRate")));
    EXPECT_FALSE(ChangesDeviceLink(std::u16string_view(u"485.Init.BaudRat")));
    EXPECT_FALSE(ChangesDeviceLink(std::string_view("Reg.ChargeI")));
}

}  // namespace
