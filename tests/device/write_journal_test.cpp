// The journal of writes: its line format, its place and rotation, and one line for every
// write however it ends, against the stand-in device on a pseudo-terminal.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "DeviceTestUtil.h"
#include "device/ActionManager.h"
#include "device/WriteJournal.h"
#include "port/PortList.h"

#ifndef QUINTAVOLTE_SIM_PATH
#error "the journal tests need the stand-in device program"
#endif

using testutil::ChildProcess;

namespace {

std::string TempDir()
{
    char dir[] = "/tmp/qv-journal-XXXXXX";
    return mkdtemp(dir) != nullptr ? std::string(dir) : std::string();
}

std::vector<JournalLine> Lines(const std::string &path)
{
    std::vector<std::string> raw;
    std::string error;
    EXPECT_TRUE(ReadJournal(path, &raw, &error)) << error;
    std::vector<JournalLine> lines;
    for (const std::string &text : raw) {
        JournalLine line;
        EXPECT_TRUE(ParseJournalLine(text, &line)) << text;
        lines.push_back(line);
    }
    return lines;
}

uint64_t FileSize(const std::string &path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

// Points the process's journal at a temporary file for the test's life.
class JournalFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = TempDir();
        ASSERT_FALSE(dir_.empty());
        path_ = dir_ + "/state/writes.log";
        SetJournalPath(path_);
        ResetJournalFailureReport();
    }
    void TearDown() override
    {
        SetJournalPath(std::string());
        ResetJournalFailureReport();
        (void)!std::system(("rm -rf '" + dir_ + "'").c_str());
    }
    std::string dir_;
    std::string path_;
};

TEST(WriteJournalFormat, AwkwardValuesStayOnOneLineAndReadBack)
{
    struct Case {
        const char *label;
        JournalLine line;
        const char *expected;
    } cases[] = {
        {"plain",
         {"T", "command set", "Reg.ChargeMaxU", "14,2", "14,4", "done"},
         "T\tcommand set\tReg.ChargeMaxU\t14,2\t14,4\tdone"},
        {"tab and newline inside",
         {"T", "mqtt a\tb", "N", "x\ny", "\r\n", "ok"},
         "T\tmqtt a\\tb\tN\tx\\ny\t\\r\\n\tok"},
        {"backslashes, including one before a letter",
         {"T", "o", "N", "C:\\new", "\\", "done"},
         "T\to\tN\tC:\\\\new\t\\\\\tdone"},
        {"other control characters and Cyrillic",
         {"T", "окно: SupUsetEdit", "N", std::string("a\x01z"), "\x7f", ""},
         "T\tокно: SupUsetEdit\tN\ta\\x01z\t\\x7F\t"},
        {"all empty", {"", "", "", "", "", ""}, "\t\t\t\t\t"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        const std::string text = FormatJournalLine(c.line);
        EXPECT_EQ(text, c.expected);
        JournalLine back;
        ASSERT_TRUE(ParseJournalLine(text, &back));
        EXPECT_EQ(back.Origin, c.line.Origin);
        EXPECT_EQ(back.OldValue, c.line.OldValue);
        EXPECT_EQ(back.NewValue, c.line.NewValue);
        EXPECT_EQ(back.Outcome, c.line.Outcome);
    }
    JournalLine ignored;
    EXPECT_FALSE(ParseJournalLine("a\tb\tc", &ignored));
    EXPECT_FALSE(ParseJournalLine("a\tb\tc\td\te\tf\tg", &ignored));
}

TEST(WriteJournalFormat, TimesAreLocalWithTheirOffset)
{
    const char *old = std::getenv("TZ");
    const std::string saved = old != nullptr ? old : "";
    struct Case {
        const char *tz;
        const char *expected;
    } cases[] = {
        {"UTC0", "1970-01-02T00:00:00.007+00:00"},
        {"XYZ-3", "1970-01-02T03:00:00.007+03:00"},
        {"XYZ+5:30", "1970-01-01T18:30:00.007-05:30"},
    };
    for (const Case &c : cases) {
        setenv("TZ", c.tz, 1);
        tzset();
        EXPECT_EQ(JournalTimeText(86400, 7), c.expected) << c.tz;
    }
    if (old != nullptr)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST(WriteJournalPlace, FollowsXdgStateHomeOrHome)
{
    const std::string xdg = std::getenv("XDG_STATE_HOME") ? std::getenv("XDG_STATE_HOME") : "";
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", "/home/op", 1);
    setenv("XDG_STATE_HOME", "/var/st", 1);
    EXPECT_EQ(DefaultJournalPath(), "/var/st/quintavolte/writes.log");
    setenv("XDG_STATE_HOME", "", 1);
    EXPECT_EQ(DefaultJournalPath(), "/home/op/.local/state/quintavolte/writes.log");
    setenv("XDG_STATE_HOME", "relative/dir", 1);  // only absolute paths count
    EXPECT_EQ(DefaultJournalPath(), "/home/op/.local/state/quintavolte/writes.log");
    unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(DefaultJournalPath(), "/home/op/.local/state/quintavolte/writes.log");
    SetJournalPath("/elsewhere/j.log");
    EXPECT_EQ(JournalPath(), "/elsewhere/j.log");
    SetJournalPath(std::string());
    EXPECT_EQ(JournalPath(), "/home/op/.local/state/quintavolte/writes.log");
    setenv("HOME", home.c_str(), 1);
    if (!xdg.empty())
        setenv("XDG_STATE_HOME", xdg.c_str(), 1);
}

TEST_F(JournalFixture, RotationAtOneMegabyteKeepsTheNewest)
{
    const std::string value(200, 'v');
    // About 2.5 MB: two rotations, so the oldest lines are gone and the newest all there.
    const int written = 6000;
    for (int i = 0; i < written; ++i) {
        ASSERT_TRUE(AppendJournal({"T", "test", "N" + std::to_string(i), value, value, "done"}));
        ASSERT_LE(FileSize(path_), kJournalMaxBytes);
    }
    EXPECT_LE(FileSize(path_ + ".1"), kJournalMaxBytes);
    const std::vector<JournalLine> lines = Lines(path_);
    ASSERT_FALSE(lines.empty());
    EXPECT_LT(lines.size(), static_cast<size_t>(written));  // the oldest were dropped
    // Oldest first, without a gap, ending with the last one written.
    const int first = std::stoi(lines.front().Name.substr(1));
    for (size_t i = 0; i < lines.size(); ++i)
        ASSERT_EQ(lines[i].Name, "N" + std::to_string(first + static_cast<int>(i)));
    EXPECT_EQ(lines.back().Name, "N" + std::to_string(written - 1));
    EXPECT_GT(lines.size(), kJournalMaxBytes / 300);  // more than one file's worth
}

TEST_F(JournalFixture, OriginGuardsNestAndRestore)
{
    SetDefaultWriteOrigin("unknown");
    EXPECT_EQ(CurrentWriteOrigin(), "unknown");
    EXPECT_FALSE(HasWriteOrigin());
    {
        WriteOrigin outer("command restore");
        {
            WriteOrigin inner("settings file /tmp/a.txt");
            EXPECT_EQ(CurrentWriteOrigin(), "settings file /tmp/a.txt");
        }
        EXPECT_EQ(CurrentWriteOrigin(), "command restore");
        EXPECT_TRUE(HasWriteOrigin());
    }
    EXPECT_EQ(CurrentWriteOrigin(), "unknown");
    SetDefaultWriteOrigin("window");
    EXPECT_EQ(CurrentWriteOrigin(), "window");
    SetDefaultWriteOrigin("unknown");
}

// Writes that end before any exchange: no port is needed.
TEST_F(JournalFixture, WritesThatNeverGoOutGetTheirLineToo)
{
    testutil::FakeClock clock;
    testutil::MessageRecorder messages;
    cActionManager manager;
    manager.BuildRegisterMap();
    ModbusAction *maxU = manager.Shell.FindVariable(MString(u"Reg.ChargeMaxU"));
    ASSERT_NE(maxU, nullptr);
    {
        WriteOrigin origin("test: gate");
        EXPECT_FALSE(manager.Shell.RequestWrite(maxU, MString(u"1000")));
        EXPECT_FALSE(manager.WriteNumber(MString(u"Reg.ChargeMaxU"), -5));
    }
    {
        WriteOrigin origin("test: editor");
        ASSERT_TRUE(manager.Shell.RequestWrite(maxU, MString(u"14,2")));
        ASSERT_TRUE(manager.Shell.RequestWrite(maxU, MString(u"14,4")));  // replaces the first
    }
    manager.BuildRegisterMap();  // a new connection: the second never went out
    const std::vector<JournalLine> lines = Lines(path_);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].Origin, "test: gate");
    EXPECT_EQ(lines[0].Name, "Reg.ChargeMaxU");
    EXPECT_EQ(lines[0].OldValue, "--");
    EXPECT_EQ(lines[0].NewValue, "1000");
    EXPECT_EQ(lines[0].Outcome.rfind("refused by the gate: ", 0), 0u) << lines[0].Outcome;
    EXPECT_EQ(lines[1].Outcome.rfind("refused by the gate: ", 0), 0u) << lines[1].Outcome;
    EXPECT_EQ(lines[2].Origin, "test: editor");
    EXPECT_EQ(lines[2].NewValue, "14,2");
    EXPECT_EQ(lines[2].Outcome, "lost: replaced by a later write before it was sent");
    EXPECT_EQ(lines[3].OldValue, "14,2");
    EXPECT_EQ(lines[3].NewValue, "14,4");
    EXPECT_EQ(lines[3].Outcome, "lost: not sent before the connection ended");
    EXPECT_TRUE(messages.texts.empty());
}

class JournalSimTest : public JournalFixture {
protected:
    void SetUp() override
    {
        JournalFixture::SetUp();
        ConsecutiveTimeouts = 0;
    }
    void TearDown() override
    {
        manager.Shell.PollingEnabled = false;
        manager.Shell.Port.Close();
        sim.Stop();
        SetExplicitPorts({});
        ConsecutiveTimeouts = 0;
        JournalFixture::TearDown();
    }
    void Connect(std::vector<std::string> args = {})
    {
        args.insert(args.begin(), QUINTAVOLTE_SIM_PATH);
        ASSERT_TRUE(sim.Start(args));
        const std::string path = sim.FirstLine();
        ASSERT_FALSE(path.empty()) << sim.Stderr();
        SetExplicitPorts({path});
        ASSERT_TRUE(manager.Connect()) << sim.Stderr();
    }
    ModbusAction *Var(const char16_t *name) { return manager.Shell.FindVariable(MString(name)); }
    template <typename Pred> bool Pump(Pred pred, int timeoutMs = 3000)
    {
        return testutil::WaitUntil(pred, timeoutMs, [this] {
            manager.TickScheduler();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
    }
    bool Settled(const ModbusAction *v) { return v->State != mbsRequested && v->State != mbsSent; }
    std::string ReadText(ModbusAction *v)
    {
        manager.GetValue(v->Name);
        EXPECT_TRUE(Pump([&] { return Settled(v); }));
        return v->Value.ToUtf8();
    }

    ChildProcess sim;
    testutil::MessageRecorder messages;
    cActionManager manager;
};

TEST_F(JournalSimTest, EachWriteGivesOneLineWithItsOutcome)
{
    ASSERT_NO_FATAL_FAILURE(Connect({"--refuse-write", "Reg.ChargeI"}));
    ModbusAction *maxU = Var(u"Reg.ChargeMaxU");
    ModbusAction *chargeI = Var(u"Reg.ChargeI");
    const std::string oldU = ReadText(maxU);
    const std::string oldI = ReadText(chargeI);
    ASSERT_NE(oldU, "--");
    {
        WriteOrigin origin("window: SupUsetEdit");
        ASSERT_TRUE(manager.Shell.RequestWrite(maxU, MString(u"14,4")));
        ASSERT_TRUE(Pump([&] { return Settled(maxU); }));
        EXPECT_EQ(maxU->State, mbsDone);
    }
    {
        WriteOrigin origin("command set");
        EXPECT_FALSE(manager.WriteNumber(MString(u"Reg.ChargeI"), 5));
        EXPECT_EQ(chargeI->State, mbsException);
    }
    // A few more turns: a late second line would show up here.
    Pump([] { return false; }, 200);
    std::vector<JournalLine> lines = Lines(path_);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].Origin, "window: SupUsetEdit");
    EXPECT_EQ(lines[0].Name, "Reg.ChargeMaxU");
    EXPECT_EQ(lines[0].OldValue, oldU);
    EXPECT_EQ(lines[0].NewValue, "14,4");
    EXPECT_EQ(lines[0].Outcome, "done");
    EXPECT_EQ(lines[1].Origin, "command set");
    EXPECT_EQ(lines[1].OldValue, oldI);
    EXPECT_EQ(lines[1].NewValue, MString::FromReal(5, 10, 5).ToUtf8());
    EXPECT_EQ(lines[1].Outcome, "device refused (exception reply)");

    // The device stops answering: the write ends when the engine gives it up.
    ASSERT_TRUE(sim.Signal(SIGSTOP));
    {
        WriteOrigin origin("mqtt quintavolte/set/Reg.ChargeMaxU");
        EXPECT_FALSE(manager.WriteNumber(MString(u"Reg.ChargeMaxU"), 14.5f));
    }
    ASSERT_TRUE(Pump([&] { return Settled(maxU); }));
    EXPECT_EQ(maxU->State, mbsTimedOut);
    Pump([] { return false; }, 200);
    ASSERT_TRUE(sim.Signal(SIGCONT));
    lines = Lines(path_);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2].Origin, "mqtt quintavolte/set/Reg.ChargeMaxU");
    EXPECT_EQ(lines[2].OldValue, "14,4");
    EXPECT_EQ(lines[2].Outcome, "timed out");
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(JournalSimTest, AWriteAskedForWhileAnotherIsOnTheWireStillGoesOut)
{
    ASSERT_NO_FATAL_FAILURE(Connect({"--delay", "50"}));
    ModbusAction *maxU = Var(u"Reg.ChargeMaxU");
    ASSERT_TRUE(manager.Shell.RequestWrite(maxU, MString(u"14,2")));
    ASSERT_TRUE(Pump([&] { return maxU->State == mbsSent; }));
    ASSERT_TRUE(manager.Shell.RequestWrite(maxU, MString(u"14,6")));
    // Only the scheduler runs: nothing asks for the variable again.
    ASSERT_TRUE(Pump([&] { return Settled(maxU) && !maxU->WritePending; }));
    EXPECT_EQ(maxU->State, mbsDone);
    EXPECT_NEAR(MString::FromUtf8(ReadText(maxU)).ToReal(), 14.6, 1e-4);
    const std::vector<JournalLine> lines = Lines(path_);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].NewValue, "14,2");
    EXPECT_EQ(lines[0].Outcome, "done");
    EXPECT_EQ(lines[1].OldValue, "14,2");
    EXPECT_EQ(lines[1].NewValue, "14,6");
    EXPECT_EQ(lines[1].Outcome, "done");
}

TEST_F(JournalSimTest, AJournalThatCannotBeWrittenNeitherStopsNorDelaysTheWrite)
{
    // A regular file where the journal's folder should be.
    const std::string blocker = dir_ + "/file";
    std::ofstream(blocker) << "x";
    SetJournalPath(blocker + "/writes.log");
    ASSERT_NO_FATAL_FAILURE(Connect());
    ModbusAction *maxU = Var(u"Reg.ChargeMaxU");
    EXPECT_TRUE(manager.WriteNumber(MString(u"Reg.ChargeMaxU"), 14.1f));
    EXPECT_TRUE(manager.WriteNumber(MString(u"Reg.ChargeMaxU"), 14.3f));
    EXPECT_NEAR(MString::FromUtf8(ReadText(maxU)).ToReal(), 14.3, 1e-4);
    ASSERT_EQ(messages.texts.size(), 1u);  // said once, not at every write
    const std::string shown = MString(messages.texts[0].c_str()).ToUtf8();
    EXPECT_NE(shown.find("Журнал записей не ведется: " + blocker + "/writes.log: "), std::string::npos) << shown;
}

}  // namespace
