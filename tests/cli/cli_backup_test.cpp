// Settings backup, compare and restore against the real stand-in, whose write log shows
// exactly what reached the device.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/CliRun.h"
#include "device/ChildProcess.h"

namespace {

using testutil::CliOutcome;
using testutil::SlurpFile;

class CliSettings : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = testing::TempDir() + "qv-settings-" + std::to_string(getpid()) + "-" +
               testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::create_directories(dir_);
        log_ = dir_ + "/writes.log";
        StartSim({});
    }
    // (Re)starts the stand-in with these options and an empty write log.
    void StartSim(const std::vector<std::string> &extra)
    {
        sim_.Stop();
        std::filesystem::remove(log_);
        std::vector<std::string> args{QUINTAVOLTE_SIM_PATH, "--log", log_};
        args.insert(args.end(), extra.begin(), extra.end());
        ASSERT_TRUE(sim_.Start(args));
        port_ = sim_.FirstLine();
        ASSERT_FALSE(port_.empty()) << sim_.Stderr();
    }
    void TearDown() override
    {
        sim_.Stop();
        std::filesystem::remove_all(dir_);
    }

    CliOutcome Cli(const std::string &args) { return testutil::RunCliProgram("--port " + port_ + " " + args); }
    std::string File(const std::string &name) const { return dir_ + "/" + name; }
    // The writes the stand-in has stored, one line each: "<time> <NAME> <register> <value>".
    std::vector<std::string> Writes() const
    {
        std::vector<std::string> lines;
        std::ifstream in(log_);
        for (std::string l; std::getline(in, l);)
            lines.push_back(l.substr(l.find(' ') + 1));  // without the time
        return lines;
    }

    testutil::ChildProcess sim_;
    std::string port_, dir_, log_;
};

void WriteFile(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string Replace(std::string text, const std::string &from, const std::string &to)
{
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

TEST(CliSettingsOptions, DryRunGoesWithRestoreAlone)
{
    CliOptions o;
    std::string error;
    ASSERT_TRUE(ParseCliOptions({"restore", "f.txt", "--dry-run"}, &o, &error)) << error;
    EXPECT_TRUE(o.DryRun);
    ASSERT_TRUE(ParseCliOptions({"restore", "f.txt"}, &o, &error)) << error;
    EXPECT_FALSE(o.DryRun);
    EXPECT_FALSE(ParseCliOptions({"backup", "f.txt", "--dry-run"}, &o, &error));
    EXPECT_FALSE(ParseCliOptions({"diff"}, &o, &error));
    EXPECT_FALSE(ParseCliOptions({"backup", "a", "b"}, &o, &error));
}

TEST_F(CliSettings, BackupDiffAndRestorePutAChangeBack)
{
    const std::string backup = File("settings.txt");
    CliOutcome b = Cli("backup " + backup);
    ASSERT_EQ(b.Status, 0) << b.Err;
    EXPECT_EQ(b.Out, "saved 31 settings of Quintavolte 1.11 to " + backup + "\n");
    const std::string text = SlurpFile(backup);
    EXPECT_EQ(text.rfind("# Quintavolte settings", 0), 0u) << text;
    EXPECT_NE(text.find("\n# device: Quintavolte 1.11\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n# date: "), std::string::npos) << text;
    EXPECT_NE(text.find("\nReg.ChargeMaxU = 14.4\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nReg.VoltTempCoef = -1.95\n"), std::string::npos) << text;
    EXPECT_TRUE(Writes().empty()) << "a backup writes nothing";

    // In a locale with a decimal comma the file keeps its points.
    ASSERT_EQ(testutil::RunCliProgram("--port " + port_ + " set Reg.ChargeMaxU 14,25", "LC_ALL=ru_RU.UTF-8").Status, 0);
    const size_t before = Writes().size();

    CliOutcome diff = Cli("diff " + backup);
    ASSERT_EQ(diff.Status, 0) << diff.Err;
    EXPECT_EQ(diff.Out, "Reg.ChargeMaxU: 14.25 on the device, 14.4 in the file\n");

    CliOutcome dry = Cli("restore " + backup + " --dry-run");
    ASSERT_EQ(dry.Status, 0) << dry.Err;
    EXPECT_EQ(dry.Out, "Reg.ChargeMaxU: 14.25 -> 14.4\ndry run: 1 settings would be written, nothing was\n");
    EXPECT_EQ(Writes().size(), before) << "a dry run writes nothing";

    CliOutcome restore = testutil::RunCliProgram("--port " + port_ + " restore " + backup, "LC_ALL=ru_RU.UTF-8");
    ASSERT_EQ(restore.Status, 0) << restore.Err;
    EXPECT_NE(restore.Out.find("restored 1 settings; the device saved its configuration"), std::string::npos)
        << restore.Out;
    const std::vector<std::string> writes = Writes();
    ASSERT_EQ(writes.size(), before + 2);
    EXPECT_EQ(writes[before].rfind("Reg.ChargeMaxU 2002 14.4", 0), 0u) << writes[before];
    EXPECT_EQ(writes[before + 1], "SaveConfigToRomNow 131 1");

    EXPECT_EQ(Cli("get Reg.ChargeMaxU").Out, "Reg.ChargeMaxU = 14.4\n");  // the shortest text of the float
    CliOutcome same = Cli("diff " + backup);
    EXPECT_EQ(same.Out, "the device holds the settings of " + backup + "\n");
    CliOutcome again = Cli("restore " + backup);
    EXPECT_EQ(again.Status, 0);
    EXPECT_EQ(Writes().size(), before + 2) << "nothing differs, nothing is written";
}

TEST_F(CliSettings, ADamagedOrForeignFileWritesNothing)
{
    const std::string backup = File("settings.txt");
    ASSERT_EQ(Cli("backup " + backup).Status, 0);
    // Each file also carries a real change, so a restore that went ahead would write.
    const std::string changed = Replace(SlurpFile(backup), "Reg.ChargeI = 2.6\n", "Reg.ChargeI = 3.1\n");
    const struct {
        const char *What;
        std::string Text;
        std::string Message;
    } cases[] = {
        {"unknown name", changed + "Reg.ChargeMaxi = 14\n", ": line 37: unknown variable Reg.ChargeMaxi"},
        {"bad number", Replace(changed, "Reg.LoadOnU = 12\n", "Reg.LoadOnU = 12.0.1\n"),
         "'12.0.1' is not a number (allowed: 0..100), cannot write it to Reg.LoadOnU"},
        {"wrong device type", Replace(changed, "# device: Quintavolte 1.11", "# device: Other device 3.2"),
         ": line 2: the file is for Other device 3.2, the device is Quintavolte 1.11"},
        {"truncated line", changed + "Reg.bNightLi\n", ": line 37: not a \"NAME = VALUE\" line: Reg.bNightLi"},
        // Cut short inside a value: "Reg.ChargeMinU = 1" of "= 13.1" must not be written.
        {"cut short", changed.substr(0, changed.find("Reg.ChargeMinU = 13.1\n") + 18),
         ": line 24: the last line has no line end"},
        {"value beyond the type", Replace(changed, "Do3.Mode = 0", "Do3.Mode = 65536"),
         "'65536' is out of range (allowed: 0..5)"},
        {"value beyond the device's limits", Replace(changed, "Do3.Mode = 0", "Do3.Mode = 99"),
         "'99' is out of range (allowed: 0..5)"},
        // Values the write gate refuses, each of which the device would misread.
        {"output mode", Replace(changed, "Do1.Mode = 0", "Do1.Mode = 99"),
         "'99' is out of range (allowed: 0..5), cannot write it to Do1.Mode"},
        {"flag", Replace(changed, "Reg.bNightLightMode = 0", "Reg.bNightLightMode = 7"),
         "'7' is out of range (allowed: 0 or 1)"},
        {"address", Replace(changed, "Mb.MyModbusAddr = 1\n", "Mb.MyModbusAddr = 0\n"),
         "'0' is out of range (allowed: 1..247)"},
        {"set-point", Replace(changed, "Reg.ChargeMaxU = 14.4", "Reg.ChargeMaxU = 1000"),
         "'1000' is out of range (allowed: 0..100)"},
    };
    for (const auto &c : cases) {
        const std::string path = File("damaged.txt");
        WriteFile(path, c.Text);
        CliOutcome r = Cli("restore " + path);
        EXPECT_EQ(r.Status, 1) << c.What;
        EXPECT_NE(r.Err.find(c.Message), std::string::npos) << c.What << ": " << r.Err;
        EXPECT_EQ(r.Out, "") << c.What;
    }
    EXPECT_TRUE(Writes().empty()) << "the stand-in was written to";

    // The undamaged change goes through, so the cases above failed for their damage alone.
    WriteFile(File("good.txt"), changed);
    CliOutcome good = Cli("restore " + File("good.txt"));
    EXPECT_EQ(good.Status, 0) << good.Err;
    EXPECT_EQ(Writes().size(), 2u);
}

TEST_F(CliSettings, AValueTheDeviceRefusesStopsTheRestoreAndNothingIsSaved)
{
    const std::string backup = File("settings.txt");
    ASSERT_EQ(Cli("backup " + backup).Status, 0);
    // The stand-in takes charge currents up to 20 A; the file's check cannot know.
    WriteFile(backup, Replace(Replace(SlurpFile(backup), "Reg.ChargeI = 2.6\n", "Reg.ChargeI = 25\n"),
                              "Reg.LoadOnU = 12\n", "Reg.LoadOnU = 12.5\n"));
    CliOutcome r = Cli("restore " + backup);
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("Reg.ChargeI: refused by the device (exception reply)\n"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("the restore stopped after 0 of 2 settings\n"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("the device holds its old settings; it was not asked to save"), std::string::npos) << r.Err;
    EXPECT_TRUE(Writes().empty()) << "nothing after the refused write, and no save";
}

TEST_F(CliSettings, ARestoreRefusedPartWayPutsBackWhatItHadChanged)
{
    // Reads of Reg.LoadOnU are answered, so the backup and the comparison work.
    StartSim({"--refuse-write", "Reg.LoadOnU"});
    const std::string backup = File("settings.txt");
    ASSERT_EQ(Cli("backup " + backup).Status, 0);
    std::string text = SlurpFile(backup);
    text = Replace(text, "Reg.ChargeMaxU = 14.4\n", "Reg.ChargeMaxU = 14.1\n");
    text = Replace(text, "Reg.ChargeI = 2.6\n", "Reg.ChargeI = 3.3\n");
    text = Replace(text, "Reg.LoadOnU = 12\n", "Reg.LoadOnU = 12.9\n");
    text = Replace(text, "Reg.VoltTempCoef = -1.95\n", "Reg.VoltTempCoef = -2\n");
    WriteFile(backup, text);

    CliOutcome r = Cli("restore " + backup);
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("Reg.LoadOnU: refused by the device (exception reply)\n"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("the restore stopped after 2 of 4 settings\n"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("put back to their old values: Reg.ChargeI Reg.ChargeMaxU\n"), std::string::npos) << r.Err;
    // In order: the two changes, then the old values, last first; nothing after the
    // refusal, no save.
    std::vector<std::string> values;
    for (const std::string &w : Writes())
        values.push_back(w.substr(0, w.find(' ')) + " " + w.substr(w.rfind(' ') + 1));
    EXPECT_EQ(values, (std::vector<std::string>{"Reg.ChargeMaxU 14.1", "Reg.ChargeI 3.3", "Reg.ChargeI 2.6",
                                                "Reg.ChargeMaxU 14.4"}));
    CliOutcome diff = Cli("diff " + backup);
    EXPECT_EQ(diff.Out, "Reg.ChargeMaxU: 14.4 on the device, 14.1 in the file\n"
                        "Reg.ChargeI: 2.6 on the device, 3.3 in the file\n"
                        "Reg.LoadOnU: 12 on the device, 12.9 in the file\n"
                        "Reg.VoltTempCoef: -1.95 on the device, -2 in the file\n");
}

TEST_F(CliSettings, WhatCannotBePutBackIsNamed)
{
    // After two stored writes the stand-in takes nothing but its save command.
    StartSim({"--lock-after", "2"});
    const std::string backup = File("settings.txt");
    ASSERT_EQ(Cli("backup " + backup).Status, 0);
    WriteFile(backup, Replace(Replace(Replace(SlurpFile(backup), "Reg.ChargeMaxU = 14.4\n", "Reg.ChargeMaxU = 14.1\n"),
                                      "Reg.ChargeI = 2.6\n", "Reg.ChargeI = 3.3\n"),
                              "Reg.LoadOnU = 12\n", "Reg.LoadOnU = 12.9\n"));
    CliOutcome r = Cli("restore " + backup);
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(
        r.Err.find("could not put back Reg.ChargeI: refused by the device (exception reply)\n"
                   "quintavolte-cli: could not put back Reg.ChargeMaxU: refused by the device (exception reply)\n"
                   "quintavolte-cli: the device may hold a half-restored configuration; it was not asked to save it"),
        std::string::npos)
        << r.Err;
    EXPECT_EQ(Writes().size(), 2u);
    for (const std::string &w : Writes())
        EXPECT_EQ(w.find("SaveConfigToRomNow"), std::string::npos) << w;
}

TEST_F(CliSettings, ABackupRestoredOntoAFreshDeviceLeavesEveryRegisterBitIdentical)
{
    StartSim({"--log-words"});
    // 7 to 9 significant digits, tiny, negative and beyond a float's precision.
    const std::vector<std::pair<std::string, std::string>> values{
        {"Cal_U_Accu.Mul", "1.2345678"},           {"Cal_I_Solar.ZeroOffset", "-0.000123456"},
        {"Cal_Temp_External.ZeroOffset", "1e-07"}, {"Cal_UserAdcV1.Mul", "-2.5e-30"},
        {"Cal_I_Load.Mul", "0.987654321"},         {"Reg.VoltTempCoef", "-1.9876543"},
        {"Cal_UserAdcV2.ZeroOffset", "16777217"},  {"Reg.ChargeMaxU", "14.123457"},
    };
    for (const auto &[name, value] : values)
        ASSERT_EQ(Cli("set " + name + " " + value).Status, 0) << name;
    // "NAME words" of each write a stand-in's log holds, the last write of a name winning.
    auto wordsOf = [](const std::string &log) {
        std::map<std::string, std::string> words;
        std::istringstream in(SlurpFile(log));
        for (std::string line; std::getline(in, line);) {
            std::istringstream f(line);
            std::string ms, name, reg, value, w;
            f >> ms >> name >> reg >> value >> w;
            words[name] = w;
        }
        return words;
    };
    const std::map<std::string, std::string> first = wordsOf(log_);
    for (const auto &[name, value] : values) {
        // The set itself is exact: the nearest float to the text.
        const float f = std::strtof(value.c_str(), nullptr);
        const uint32_t bits = std::bit_cast<uint32_t>(f);
        char expect[16];
        std::snprintf(expect, sizeof expect, "%04X:%04X", bits & 0xFFFF, bits >> 16);
        EXPECT_EQ(first.at(name), expect) << name;
    }

    const std::string backup = File("settings.txt");
    ASSERT_EQ(Cli("backup " + backup).Status, 0);
    const std::string text = SlurpFile(backup);
    for (const char *line : {"\nCal_U_Accu.Mul = 1.2345678\n", "\nCal_I_Solar.ZeroOffset = -0.000123456\n",
                             "\nCal_Temp_External.ZeroOffset = 1e-07\n", "\nCal_UserAdcV2.ZeroOffset = 16777216\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << text;

    // A second, fresh stand-in takes the backup.
    const std::string firstLog = log_;
    log_ = File("second.log");
    StartSim({"--log-words"});
    CliOutcome r = Cli("restore " + backup);
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::map<std::string, std::string> second = wordsOf(log_);
    for (const auto &[name, value] : values)
        EXPECT_EQ(second.count(name) ? second.at(name) : "not written", first.at(name)) << name;
    CliOutcome same = Cli("diff " + backup);
    EXPECT_EQ(same.Out, "the device holds the settings of " + backup + "\n");

    // One unit in the last place is a difference, though the program shows both as 1.23456.
    ASSERT_EQ(Cli("set Cal_U_Accu.Mul 1.2345679").Status, 0);
    CliOutcome diff = Cli("diff " + backup);
    EXPECT_EQ(diff.Out, "Cal_U_Accu.Mul: 1.2345679 on the device, 1.2345678 in the file\n");
}

TEST_F(CliSettings, OnlyARegularFileIsRestored)
{
    const std::string fifo = File("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string &path : {fifo, std::string("/dev/zero"), dir_}) {
        CliOutcome r = Cli("restore " + path);  // a FIFO without a writer would hang it
        EXPECT_EQ(r.Status, 1) << path;
        EXPECT_NE(r.Err.find("cannot read " + path + ": is "), std::string::npos) << r.Err;
    }
    EXPECT_TRUE(Writes().empty());
}

TEST_F(CliSettings, BackupAndDumpWriteThroughLinksIntoSpecialFilesAndToDash)
{
    const std::string target = File("real.txt"), link = File("link.txt");
    ASSERT_EQ(symlink("real.txt", link.c_str()), 0);
    CliOutcome b = Cli("backup " + link);
    ASSERT_EQ(b.Status, 0) << b.Err;
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_NE(SlurpFile(target).find("\n# device: Quintavolte 1.11\n"), std::string::npos);

    // "-" and /dev/stdout (a pipe here): the file is the output, the note goes to stderr.
    for (const std::string &out : {std::string("-"), std::string("/dev/stdout")}) {
        CliOutcome s = Cli("backup " + out);
        ASSERT_EQ(s.Status, 0) << out << ": " << s.Err;
        EXPECT_EQ(s.Out.rfind("# Quintavolte settings", 0), 0u) << out << ": " << s.Out;
        EXPECT_NE(s.Out.find("\nReg.ChargeMaxU = 14.4\n"), std::string::npos) << out;
        EXPECT_EQ(s.Err, "saved 31 settings of Quintavolte 1.11 to " +
                             (out == "-" ? std::string("the standard output") : out) + "\n");
    }

    const std::string dumpTarget = File("real.debug"), dumpLink = File("link.debug");
    ASSERT_EQ(symlink(dumpTarget.c_str(), dumpLink.c_str()), 0);
    CliOutcome d = Cli("dump " + dumpLink);
    ASSERT_EQ(d.Status, 0) << d.Err;
    EXPECT_TRUE(std::filesystem::is_symlink(dumpLink));
    CliOutcome shown = Cli("show " + dumpTarget);
    EXPECT_NE(shown.Out.find("Reg.ChargeMaxU = 14.39999"), std::string::npos) << shown.Out << shown.Err;
    CliOutcome piped = Cli("dump -");
    ASSERT_EQ(piped.Status, 0) << piped.Err;
    EXPECT_THAT(piped.Err, testing::EndsWith("\nsaved 120 variables to the standard output\n"));
    WriteFile(File("piped.debug"), piped.Out);  // the dump itself, nothing mixed in
    EXPECT_NE(Cli("show " + File("piped.debug")).Out.find("Reg.ChargeMaxU = 14.39999"), std::string::npos);
    EXPECT_TRUE(Writes().empty());
}

TEST(CliSettingsOptions, YesAndWithCalibrationGoWhereTheyMeanSomething)
{
    CliOptions o;
    std::string error;
    ASSERT_TRUE(ParseCliOptions({"restore", "f.txt", "--yes", "--with-calibration"}, &o, &error)) << error;
    EXPECT_TRUE(o.Yes);
    EXPECT_TRUE(o.WithCalibration);
    EXPECT_TRUE(ParseCliOptions({"set", "A", "1", "--yes"}, &o, &error)) << error;
    EXPECT_TRUE(ParseCliOptions({"diff", "f.txt", "--with-calibration"}, &o, &error)) << error;
    EXPECT_FALSE(ParseCliOptions({"backup", "f.txt", "--yes"}, &o, &error));
    EXPECT_FALSE(ParseCliOptions({"set", "A", "1", "--with-calibration"}, &o, &error));
}

TEST_F(CliSettings, AnotherUnitsCalibrationIsLeftOutUnlessAskedFor)
{
    ASSERT_EQ(Cli("set Cal_U_Accu.Mul 1.01").Status, 0);
    ASSERT_EQ(Cli("set Reg.ChargeI 3").Status, 0);
    const std::string backup = File("settings.txt");
    ASSERT_EQ(Cli("backup " + backup).Status, 0);
    EXPECT_NE(SlurpFile(backup).find("\n# chip: 8A3C1F07 00412233 1234ABCD\n"), std::string::npos) << SlurpFile(backup);

    // Another unit of the same type, firmware and settings but its own chip.
    StartSim({"--uid", "000000010000000200000003"});
    CliOutcome diff = Cli("diff " + backup);
    ASSERT_EQ(diff.Status, 0) << diff.Err;
    EXPECT_EQ(diff.Out, "note: another unit (chip 8A3C1F07 00412233 1234ABCD, this is 00000001 00000002 00000003): its "
                        "calibration is left out (--with-calibration includes it)\n"
                        "Reg.ChargeI: 2.6 on the device, 3 in the file\n"
                        "Cal_U_Accu.Mul: 1 on the device, 1.01 in the file, left out: another unit's calibration\n");
    CliOutcome dry = Cli("restore --dry-run " + backup);
    ASSERT_EQ(dry.Status, 0) << dry.Err;
    EXPECT_NE(dry.Out.find("Cal_U_Accu.Mul: 1 -> 1.01 left out: another unit's calibration\n"
                           "Reg.ChargeI: 2.6 -> 3\ndry run: 1 settings would be written"),
              std::string::npos)
        << dry.Out;

    CliOutcome r = Cli("restore " + backup);
    ASSERT_EQ(r.Status, 0) << r.Err;
    std::vector<std::string> names;
    for (const std::string &w : Writes())
        names.push_back(w.substr(0, w.find(' ')));
    EXPECT_EQ(names, (std::vector<std::string>{"Reg.ChargeI", "SaveConfigToRomNow"}));

    CliOutcome with = Cli("restore --with-calibration " + backup);
    ASSERT_EQ(with.Status, 0) << with.Err;
    EXPECT_NE(with.Out.find("its calibration is included, as --with-calibration asks"), std::string::npos) << with.Out;
    ASSERT_EQ(Writes().size(), 4u);
    EXPECT_EQ(Writes()[2].rfind("Cal_U_Accu.Mul ", 0), 0u) << Writes()[2];

    // A backup from before the chip line names no unit: the same rule. Another firmware
    // version is named in the plan.
    std::string old = SlurpFile(backup);
    old.erase(old.find("# chip:"), old.find('\n', old.find("# chip:")) - old.find("# chip:") + 1);
    WriteFile(backup, Replace(Replace(old, "# device: Quintavolte 1.11", "# device: Quintavolte 1.10"),
                              "Cal_U_Accu.Mul = 1.01", "Cal_U_Accu.Mul = 1.02"));
    CliOutcome older = Cli("diff " + backup);
    ASSERT_EQ(older.Status, 0) << older.Err;
    EXPECT_EQ(older.Out,
              "note: the file was saved from Quintavolte 1.10, the device is Quintavolte 1.11\n"
              "note: a file that does not name its unit: its calibration is left out (--with-calibration "
              "includes it)\n"
              "Cal_U_Accu.Mul: 1.01 on the device, 1.02 in the file, left out: another unit's calibration\n");
}

TEST_F(CliSettings, ARestoreThatChangesTheLinkNeedsYesWithoutATerminal)
{
    const std::string backup = File("settings.txt");
    ASSERT_EQ(Cli("backup " + backup).Status, 0);
    WriteFile(backup,
              Replace(Replace(Replace(SlurpFile(backup), "485.Init.BaudRate = 9600\n", "485.Init.BaudRate = 19200\n"),
                              "Mb.MyModbusAddr = 1\n", "Mb.MyModbusAddr = 7\n"),
                      "Reg.ChargeI = 2.6\n", "Reg.ChargeI = 3\n"));
    CliOutcome r = Cli("restore " + backup);
    EXPECT_EQ(r.Status, 2);
    EXPECT_NE(r.Err.find("the restore changes Mb.MyModbusAddr and 485.Init.BaudRate: the program may no longer reach "
                         "the device after it; nothing was written. Add --yes"),
              std::string::npos)
        << r.Err;
    EXPECT_TRUE(Writes().empty());
    EXPECT_EQ(Cli("restore --dry-run " + backup).Status, 0) << "a dry run asks nothing";

    CliOutcome yes = Cli("restore --yes " + backup);
    ASSERT_EQ(yes.Status, 0) << yes.Err;
    std::vector<std::string> names;
    for (const std::string &w : Writes())
        names.push_back(w.substr(0, w.find(' ')));
    EXPECT_EQ(names,
              (std::vector<std::string>{"Reg.ChargeI", "Mb.MyModbusAddr", "485.Init.BaudRate", "SaveConfigToRomNow"}));
}

TEST_F(CliSettings, AMissingFileIsAClearFailure)
{
    CliOutcome r = Cli("restore " + File("none.txt"));
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("cannot read " + File("none.txt") + ": No such file or directory"), std::string::npos)
        << r.Err;
    CliOutcome b = Cli("backup " + File("no/such/dir/x.txt"));
    EXPECT_EQ(b.Status, 1);
    EXPECT_NE(b.Err.find("cannot write"), std::string::npos) << b.Err;
}

}  // namespace
