// The command line against a real line that changes under it: a device switched to
// another rate is found again without --baud, and watch carries on after the device was
// away. The stand-in answers on a link of a fixed name, so that it can come back there.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "cli/CliRun.h"
#include "device/ChildProcess.h"
#include "device/DeviceTestUtil.h"

namespace {

class CliLink : public testing::Test {
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/qv-cli-link-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        link_ = dir_ + "/device";
    }
    void TearDown() override
    {
        sim_.Stop();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    void StartSim(std::vector<std::string> extra = {})
    {
        std::vector<std::string> argv{QUINTAVOLTE_SIM_PATH, "--link", link_};
        argv.insert(argv.end(), extra.begin(), extra.end());
        ASSERT_TRUE(sim_.Start(argv));
        ASSERT_FALSE(sim_.FirstLine().empty()) << sim_.Stderr();
    }
    // The program with the test's own configuration folder (the port remembered there).
    testutil::CliOutcome Run(const std::string &args)
    {
        return testutil::RunCliProgram("--port " + link_ + " " + args, "LC_ALL=C XDG_CONFIG_HOME=" + dir_ + "/config");
    }

    std::string dir_, link_;
    testutil::ChildProcess sim_;
};

TEST_F(CliLink, ADeviceSwitchedTo19200IsFoundAgainWithoutBaud)
{
    StartSim({"--baud", "9600"});
    const testutil::CliOutcome set = Run("set 485.Init.BaudRate 19200 --yes");
    ASSERT_EQ(set.Status, 0) << set.Err;
    // Saved: the stand-in now answers at 19200 only.
    const testutil::CliOutcome fixed = Run("--baud 9600 get Reg.ChargeMaxU");
    EXPECT_EQ(fixed.Status, 1) << "a rate given is the only one tried";

    const auto start = std::chrono::steady_clock::now();
    const testutil::CliOutcome found = Run("get 485.Init.BaudRate");
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(found.Status, 0) << found.Err;
    EXPECT_EQ(found.Out, "485.Init.BaudRate = 19200\n");
    std::cerr << "found at 19200 in " << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms\n";
    // The rate is kept with the port and tried first next time.
    EXPECT_EQ(testutil::SlurpFile(dir_ + "/config/quintavolte/last-port"), link_ + "\n19200\n");
    const testutil::CliOutcome again = Run("info");
    EXPECT_EQ(again.Status, 0) << again.Err;
}

// The device goes away while watch runs: the loss is told with its time, its port searched
// again, and the values go on when the stand-in is back on the same link.
TEST_F(CliLink, WatchCarriesOnWhenTheDeviceComesBack)
{
    StartSim();
    testutil::ChildProcess cli;
    ASSERT_TRUE(cli.Start({QUINTAVOLTE_CLI_PATH, "--port", link_, "watch", "Reg.ChargeMaxU", "--interval", "200"}));
    const std::regex sample("[0-9]{2}:[0-9]{2}:[0-9]{2}  Reg.ChargeMaxU = 14.4");
    ASSERT_TRUE(std::regex_match(cli.FirstLine(8000), sample)) << cli.Stderr();

    // This one waits out the real time-outs of a lost device (the program runs apart).
    sim_.Stop();
    ASSERT_TRUE(
        testutil::WaitUntil([&] { return cli.Stderr().find("connection lost at") != std::string::npos; }, 30000))
        << cli.Stderr();
    EXPECT_TRUE(
        std::regex_search(cli.Stderr(), std::regex("quintavolte-cli: connection lost at [0-9]{2}:[0-9]{2}:[0-9]{2}; "
                                                   "trying " +
                                                   link_ + " again every 1 s\n")))
        << cli.Stderr();
    cli.ReadAll(200);  // the samples before the loss

    StartSim();
    const auto back = std::chrono::steady_clock::now();
    // Most returns take about a second; a try begun on the dead link still runs its attempts
    // out first, which has taken up to seven seconds: the bound is only that it comes back.
    ASSERT_TRUE(
        testutil::WaitUntil([&] { return cli.Stderr().find("connection back at") != std::string::npos; }, 15000))
        << cli.Stderr();
    const auto took = std::chrono::steady_clock::now() - back;
    std::cerr << "back after " << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms\n";
    EXPECT_TRUE(std::regex_match(cli.FirstLine(5000), sample)) << cli.Stderr();
    EXPECT_TRUE(cli.Signal(SIGINT));
    EXPECT_EQ(cli.WaitExit(5000), 0) << cli.Stderr();
}

// stats the same: its rows go on after the device was back.
TEST_F(CliLink, StatsCarriesOnWhenTheDeviceComesBack)
{
    StartSim();
    testutil::ChildProcess cli;
    ASSERT_TRUE(cli.Start({QUINTAVOLTE_CLI_PATH, "--port", link_, "stats", "--interval", "300", "--csv"}));
    ASSERT_EQ(cli.FirstLine(8000).rfind("time,", 0), 0u) << cli.Stderr();
    ASSERT_FALSE(cli.FirstLine(5000).empty()) << cli.Stderr();
    sim_.Stop();
    ASSERT_TRUE(
        testutil::WaitUntil([&] { return cli.Stderr().find("connection lost at") != std::string::npos; }, 30000))
        << cli.Stderr();
    StartSim();
    ASSERT_TRUE(
        testutil::WaitUntil([&] { return cli.Stderr().find("connection back at") != std::string::npos; }, 10000))
        << cli.Stderr();
    cli.ReadAll(400);  // rows of the time away
    // A row after the return counts the reconnection (the last field).
    const std::string row = cli.FirstLine(5000);
    EXPECT_TRUE(std::regex_match(row, std::regex("[0-9:]{8}(,[0-9]+)*,1"))) << row;
    EXPECT_TRUE(cli.Signal(SIGINT));
    EXPECT_EQ(cli.WaitExit(5000), 0) << cli.Stderr();
}

}  // namespace
