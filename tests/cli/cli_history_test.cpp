// quintavolte-cli log and history against the stand-in: what is recorded can be printed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "device/ChildProcess.h"
#include "cli/CliRun.h"
#include "cli/CliHistory.h"

namespace {

using testutil::RunCliProgram;

TEST(CliHistory, LogRecordsTheDeviceAndHistoryPrintsIt)
{
    testutil::ChildProcess sim;
    ASSERT_TRUE(sim.Start({QUINTAVOLTE_SIM_PATH}));
    const std::string port = sim.FirstLine();
    ASSERT_FALSE(port.empty()) << sim.Stderr();
    const std::string db = testing::TempDir() + "cli-history-" + std::to_string(getpid()) + ".sqlite";
    std::filesystem::remove(db);

    // Interrupted like an operator would stop it; the samples queued by then are written.
    const auto log = RunCliProgram("--port " + port + " log --history-db " + db + " --history-interval 1",
                                   "LC_ALL=C timeout -s INT 6");
    EXPECT_NE(log.Out.find("recording to " + db), std::string::npos) << log.Out << log.Err;
    EXPECT_NE(log.Out.find("recorded "), std::string::npos) << log.Out << log.Err;

    const auto samples =
        RunCliProgram("history --history-db " + db + " --csv --from 2000-01-01T00:00 Adc.U_Accu Adc.EnergySolar");
    ASSERT_EQ(samples.Status, 0) << samples.Err;
    std::istringstream lines(samples.Out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "time,Adc.U_Accu,Adc.EnergySolar");
    ASSERT_TRUE(std::getline(lines, line));
    // A time and two numbers: the stand-in's battery is about 12.9 V.
    EXPECT_NE(line.find(",12."), std::string::npos) << samples.Out;

    const auto daily = RunCliProgram("history --history-db " + db + " --daily --csv Adc.EnergySolar");
    ASSERT_EQ(daily.Status, 0) << daily.Err;
    EXPECT_NE(daily.Out.find("day,Adc.EnergySolar Wh,recorded %"), std::string::npos) << daily.Out;

    const auto bad = RunCliProgram("history --history-db " + db + " Adc.Nothing");
    EXPECT_EQ(bad.Status, 2);
    EXPECT_NE(bad.Err.find("Adc.Nothing is not kept in the history"), std::string::npos) << bad.Err;
    std::filesystem::remove(db);
}

TEST(CliHistory, AFileThatIsNotAHistoryIsRefused)
{
    const std::string path = testing::TempDir() + "cli-not-history-" + std::to_string(getpid()) + ".txt";
    {
        std::ofstream(path) << "hello\n";
    }
    const auto o = RunCliProgram("history --history-db " + path);
    EXPECT_EQ(o.Status, 1);
    EXPECT_NE(o.Err.find("not a history database"), std::string::npos) << o.Err;
    EXPECT_EQ(testutil::SlurpFile(path), "hello\n");
    std::filesystem::remove(path);
}

TEST(CliHistory, DatesAreLocalAndADateAloneEndsAtItsLastSecond)
{
    setenv("TZ", "UTC0", 1);
    tzset();
    int64_t t = 0;
    ASSERT_TRUE(ParseHistoryTime("2026-06-01", false, &t));
    EXPECT_EQ(t, 1780272000);
    ASSERT_TRUE(ParseHistoryTime("2026-06-01", true, &t));
    EXPECT_EQ(t, 1780272000 + 86399);
    ASSERT_TRUE(ParseHistoryTime("2026-06-01T12:30", true, &t));
    EXPECT_EQ(t, 1780272000 + 12 * 3600 + 1800);
    for (const char *bad : {"2026-13-01", "yesterday", "2026-06-01x", "2026-06-01T25:00"})
        EXPECT_FALSE(ParseHistoryTime(bad, false, &t)) << bad;
}

}  // namespace
