// The journal of writes from the command line: --journal, the journal command, and the
// lines a set leaves, through the real program and the real device stand-in.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/CliRun.h"
#include "device/ChildProcess.h"
#include "device/WriteJournal.h"

namespace {

using testutil::RunCliProgram;

std::vector<JournalLine> Parsed(const std::string &text)
{
    std::vector<JournalLine> lines;
    std::istringstream in(text);
    for (std::string raw; std::getline(in, raw);) {
        JournalLine line;
        EXPECT_TRUE(ParseJournalLine(raw, &line)) << raw;
        lines.push_back(line);
    }
    return lines;
}

TEST(CliJournalOptions, JournalIsAnOptionOfEveryCommand)
{
    struct Case {
        std::vector<std::string> Args;
        bool Ok;
        std::string Journal;
        size_t ArgCount;
    } cases[] = {
        {{"--journal", "/tmp/j.log", "journal"}, true, "/tmp/j.log", 0},
        {{"set", "A", "1", "--journal", "j.log"}, true, "j.log", 2},
        {{"journal", "extra"}, false, "", 1},
        {{"journal", "--journal"}, false, "", 0},
        {{"--journal", "", "journal"}, false, "", 0},
        // The bridge gets its own options, but the journal stays with the program.
        {{"mqtt", "--broker", "h", "--journal", "m.log"}, true, "m.log", 2},
    };
    for (const Case &c : cases) {
        CliOptions o;
        std::string error;
        EXPECT_EQ(ParseCliOptions(c.Args, &o, &error), c.Ok) << c.Args[0] << " " << error;
        if (c.Ok) {
            EXPECT_EQ(o.Journal, c.Journal);
            EXPECT_EQ(o.Args.size(), c.ArgCount);
        }
    }
    EXPECT_NE(std::string(CliUsage()).find("--journal FILE"), std::string::npos);
}

class CliJournal : public testing::Test {
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/qv-cli-journal-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        journal_ = dir_ + "/writes.log";
    }
    void TearDown() override
    {
        sim_.Stop();
        (void)!std::system(("rm -rf '" + dir_ + "'").c_str());
    }
    void StartSim(std::vector<std::string> extra = {})
    {
        std::vector<std::string> argv{QUINTAVOLTE_SIM_PATH};
        argv.insert(argv.end(), extra.begin(), extra.end());
        ASSERT_TRUE(sim_.Start(argv));
        port_ = sim_.FirstLine();
        ASSERT_FALSE(port_.empty()) << sim_.Stderr();
    }
    std::string Args(const std::string &rest) const
    {
        return "--port " + port_ + " --journal " + journal_ + " " + rest;
    }

    testutil::ChildProcess sim_;
    std::string port_;
    std::string dir_;
    std::string journal_;
};

TEST_F(CliJournal, SetLeavesItsLinesAndJournalPrintsThem)
{
    StartSim();
    testutil::CliOutcome o = RunCliProgram(Args("journal"));
    ASSERT_EQ(o.Status, 0) << o.Err;  // no journal yet: nothing to print
    EXPECT_EQ(o.Out, "");

    const testutil::CliOutcome before = RunCliProgram(Args("get Reg.ChargeMaxU"));
    ASSERT_EQ(before.Status, 0) << before.Err;
    const std::string oldValue =
        before.Out.substr(before.Out.find(" = ") + 3, before.Out.size() - before.Out.find(" = ") - 4);
    ASSERT_EQ(RunCliProgram(Args("set Reg.ChargeMaxU 14,25")).Status, 0);
    o = RunCliProgram(Args("set Reg.ChargeMaxU 1000"));  // the gate refuses it
    ASSERT_EQ(o.Status, 1);

    o = RunCliProgram(Args("journal"));
    ASSERT_EQ(o.Status, 0) << o.Err;
    const std::vector<JournalLine> lines = Parsed(o.Out);
    ASSERT_EQ(lines.size(), 3u) << o.Out;
    EXPECT_EQ(lines[0].Origin, "command set");
    EXPECT_EQ(lines[0].Name, "Reg.ChargeMaxU");
    // The journal keeps the table's text (5 decimals), get the float's shortest text.
    EXPECT_NEAR(std::stod(lines[0].OldValue), std::stod(oldValue), 1e-5) << lines[0].OldValue;
    EXPECT_EQ(lines[0].NewValue, "14,25");
    EXPECT_EQ(lines[0].Outcome, "done");
    // The save the set asks for is a write too.
    EXPECT_EQ(lines[1].Origin, "command set");
    EXPECT_EQ(lines[1].Name, "SaveConfigToRomNow");
    EXPECT_EQ(lines[1].NewValue, "1");
    EXPECT_EQ(lines[1].Outcome, "done");
    EXPECT_EQ(lines[2].NewValue, "1000");
    EXPECT_EQ(lines[2].Outcome.rfind("refused by the gate: ", 0), 0u) << lines[2].Outcome;
    for (const JournalLine &l : lines)
        EXPECT_EQ(l.Time.size(), std::string("2026-12-11T06:01:02.345+01:00").size()) << l.Time;
}

TEST_F(CliJournal, TheDefaultJournalFollowsXdgStateHome)
{
    StartSim();
    const std::string env = "LC_ALL=C XDG_STATE_HOME=" + dir_ + "/state";
    const std::string port = "--port " + port_ + " ";
    ASSERT_EQ(RunCliProgram(port + "set Reg.ChargeI 2", env).Status, 0);
    const std::string text = testutil::SlurpFile(dir_ + "/state/quintavolte/writes.log");
    EXPECT_NE(text.find("\tcommand set\tReg.ChargeI\t"), std::string::npos) << text;
    const testutil::CliOutcome o = RunCliProgram("journal", env);
    ASSERT_EQ(o.Status, 0) << o.Err;
    EXPECT_EQ(o.Out, text);
}

TEST_F(CliJournal, AJournalThatCannotBeWrittenDoesNotStopTheWrite)
{
    StartSim();
    journal_ = "/proc/self/no-such-dir/writes.log";
    const testutil::CliOutcome o = RunCliProgram(Args("set Reg.ChargeMaxU 14,5"));
    EXPECT_EQ(o.Status, 0) << o.Err;
    EXPECT_EQ(o.Out, "Reg.ChargeMaxU = 14.5\n");
    // Said once, for the two writes (the value and the save).
    size_t said = 0;
    for (size_t at = o.Err.find(journal_); at != std::string::npos; at = o.Err.find(journal_, at + 1))
        ++said;
    EXPECT_EQ(said, 1u) << o.Err;
}

}  // namespace
