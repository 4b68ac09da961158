// Settings backup, compare and restore against the real stand-in, whose write log shows
// exactly what reached the device.
#include <gtest/gtest.h>

#include <cstdio>
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
        ASSERT_TRUE(sim_.Start({QUINTAVOLTE_SIM_PATH, "--log", log_}));
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

    EXPECT_EQ(Cli("get Reg.ChargeMaxU").Out, "Reg.ChargeMaxU = 14.39999\n");  // 14.4 in single precision
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
        {"unknown name", changed + "Reg.ChargeMaxi = 14\n", ": line 36: unknown variable Reg.ChargeMaxi"},
        {"bad number", Replace(changed, "Reg.LoadOnU = 12\n", "Reg.LoadOnU = 12.0.1\n"),
         "'12.0.1' is not a number (allowed: 0..100), cannot write it to Reg.LoadOnU"},
        {"wrong device type", Replace(changed, "# device: Quintavolte 1.11", "# device: Other device 3.2"),
         ": line 2: the file is for Other device 3.2, the device is Quintavolte 1.11"},
        {"truncated line", changed + "Reg.bNightLi", ": line 36: not a \"NAME = VALUE\" line: Reg.bNightLi"},
        {"value beyond the type", Replace(changed, "Do3.Mode = 0", "Do3.Mode = 65536"), "'65536' is out of range (allowed: 0..5)"},
        {"value beyond the device's limits", Replace(changed, "Do3.Mode = 0", "Do3.Mode = 99"), "'99' is out of range (allowed: 0..5)"},
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

TEST_F(CliSettings, AValueTheDeviceRefusesIsNamedAndNothingIsSaved)
{
    const std::string backup = File("settings.txt");
    ASSERT_EQ(Cli("backup " + backup).Status, 0);
    // The stand-in takes charge currents up to 20 A; the file's type check cannot know.
    WriteFile(backup, Replace(Replace(SlurpFile(backup), "Reg.ChargeI = 2.6\n", "Reg.ChargeI = 25\n"),
                              "Reg.LoadOnU = 12\n", "Reg.LoadOnU = 12.5\n"));
    CliOutcome r = Cli("restore " + backup);
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("Reg.ChargeI: refused by the device (exception reply)"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("1 of 2 settings did not arrive; the device was not asked to save its configuration"),
              std::string::npos)
        << r.Err;
    for (const std::string &w : Writes())
        EXPECT_EQ(w.find("SaveConfigToRomNow"), std::string::npos) << w;
}

TEST_F(CliSettings, AMissingFileIsAClearFailure)
{
    CliOutcome r = Cli("restore " + File("none.txt"));
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("cannot read " + File("none.txt") + ": No such file or directory"), std::string::npos) << r.Err;
    CliOutcome b = Cli("backup " + File("no/such/dir/x.txt"));
    EXPECT_EQ(b.Status, 1);
    EXPECT_NE(b.Err.find("cannot write"), std::string::npos) << b.Err;
}

}  // namespace
