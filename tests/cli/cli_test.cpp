// The command-line front end: its argument parsing, and the real program talking to the
// real device stand-in over a pseudo-terminal.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <atomic>
#include <csignal>
#include <memory>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <sys/stat.h>
#include <thread>
#include <filesystem>
#include <unistd.h>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliCommands.h"
#include "cli/CliOptions.h"
#include "cli/CliRun.h"
#include "cli/ExactFloats.h"
#include "device/ChildProcess.h"
#include "device/DeviceTestUtil.h"

namespace {

struct ParseCase {
    std::vector<std::string> Args;
    bool Ok;
    std::string Command;
    size_t ArgCount;
};

TEST(CliOptions, ParsesCommandsAndRefusesBadLines)
{
    const ParseCase cases[] = {
        {{"info"}, true, "info", 0},
        {{"--port", "/dev/a", "--port", "/dev/b", "get", "X", "Y"}, true, "get", 2},
        {{"set", "Reg.ChargeMaxU", "14,2"}, true, "set", 2},
        {{"watch", "A", "--interval", "250", "--csv"}, true, "watch", 1},
        {{"--help"}, true, "", 0},
        {{}, false, "", 0},                                      // no command
        {{"frob"}, false, "frob", 0},                            // unknown command
        {{"get"}, false, "get", 0},                              // get needs a name
        {{"set", "A"}, false, "set", 1},                         // set needs a value
        {{"info", "--bogus"}, false, "info", 0},                 // unknown option
        {{"--port"}, false, "", 0},                              // option without its value
        {{"watch", "A", "--interval", "5"}, false, "watch", 1},  // below 10 ms
        {{"watch", "A", "--interval", "1x"}, false, "watch", 1},
        {{"get", "A", "--csv"}, false, "get", 1},  // --csv belongs to watch and stats
        {{"stats", "--interval", "500", "--csv"}, true, "stats", 0},
        {{"stats", "A"}, false, "stats", 1},  // stats polls everything
        {{"watch", "A", "--stats"}, true, "watch", 1},
        {{"get", "A", "--stats"}, false, "get", 1},  // --stats belongs to watch
        // The bridge parses its own options; only --port stays with the program.
        {{"mqtt", "--broker", "h", "--port", "/dev/a", "--interval", "200"}, true, "mqtt", 4},
        {{"--address", "17", "--rts-direction", "get", "X"}, true, "get", 1},
        {{"get", "X", "--address", "254"}, true, "get", 1},
        {{"--address", "0", "info"}, false, "", 0},
        {{"--address", "248", "info"}, false, "", 0},
        {{"info", "--address"}, false, "info", 0},
        {{"mqtt", "--broker", "h", "--address", "17"}, true, "mqtt", 4},  // the bridge's own, as in its file
    };
    for (const ParseCase &c : cases) {
        CliOptions o;
        std::string error;
        std::string line;
        for (const std::string &a : c.Args)
            line += a + " ";
        EXPECT_EQ(ParseCliOptions(c.Args, &o, &error), c.Ok) << line << error;
        if (c.Ok) {
            EXPECT_EQ(o.Command, c.Command) << line;
            EXPECT_EQ(o.Args.size(), c.ArgCount) << line;
        } else {
            EXPECT_FALSE(error.empty()) << line;
        }
    }
    CliOptions o;
    std::string error;
    ASSERT_TRUE(
        ParseCliOptions({"--port", "/dev/a", "watch", "A", "--port", "/dev/b", "--interval", "250"}, &o, &error));
    EXPECT_EQ(o.Ports, (std::vector<std::string>{"/dev/a", "/dev/b"}));
    EXPECT_EQ(o.IntervalMs, 250);
    EXPECT_EQ(o.Address, kAnyUnitAddress);
    EXPECT_FALSE(o.RtsDirection);
    ASSERT_TRUE(ParseCliOptions({"--address", "17", "--rts-direction", "info"}, &o, &error)) << error;
    EXPECT_EQ(o.Address, 17);
    EXPECT_TRUE(o.RtsDirection);
    EXPECT_FALSE(ParseCliOptions({"--address", "abc", "info"}, &o, &error));
    EXPECT_EQ(error,
              "--address wants a unit address from 1 to 247 (or 254, whichever device is on the line), not 'abc'");
}

using Outcome = testutil::CliOutcome;
using testutil::RunCliProgram;

Outcome RunCli(const std::string &args)
{
    return RunCliProgram(args);
}

std::string Slurp(const std::string &path)
{
    return testutil::SlurpFile(path);
}

class CliWithDevice : public testing::Test {
protected:
    void StartSim(std::vector<std::string> extra = {})
    {
        std::vector<std::string> argv{QUINTAVOLTE_SIM_PATH};
        argv.insert(argv.end(), extra.begin(), extra.end());
        ASSERT_TRUE(sim_.Start(argv));
        port_ = sim_.FirstLine();
        ASSERT_FALSE(port_.empty()) << sim_.Stderr();
    }
    std::string Port() const { return "--port " + port_ + " "; }
    // Twenty requests past the idle count have reached the stand-in: a dump (some 120
    // requests of 8 bytes) is under way and far from done.
    bool DumpUnderWay(unsigned long long idle) const { return sim_.BytesRead() >= idle + 20 * 8; }

    testutil::ChildProcess sim_;
    std::string port_;
};

TEST_F(CliWithDevice, IdentifiesReadsAndWrites)
{
    StartSim();
    Outcome info = RunCli(Port() + "info");
    ASSERT_EQ(info.Status, 0) << info.Err;
    EXPECT_NE(info.Out.find("type: Quintavolte 1.11\n"), std::string::npos) << info.Out;
    EXPECT_NE(info.Out.find("version: 111\n"), std::string::npos) << info.Out;

    Outcome set = RunCli(Port() + "set Reg.ChargeMaxU 14,25");
    ASSERT_EQ(set.Status, 0) << set.Err;
    EXPECT_EQ(set.Out, "Reg.ChargeMaxU = 14.25\n");

    Outcome get = RunCli(Port() + "get Reg.ChargeMaxU DeviceType ChipUID.H1");
    ASSERT_EQ(get.Status, 0) << get.Err;
    std::istringstream lines(get.Out);
    std::string l1, l2, l3;
    std::getline(lines, l1);
    std::getline(lines, l2);
    std::getline(lines, l3);
    EXPECT_EQ(l1, "Reg.ChargeMaxU = 14.25");
    EXPECT_EQ(l2, "DeviceType = Quintavolte 1.11");
    EXPECT_EQ(l3.rfind("ChipUID.H1 = ", 0), 0u) << l3;
}

// Floats are printed as the shortest text that reads back to the float the device holds,
// with a decimal point in any locale: get, set's read-back and watch --csv.
TEST_F(CliWithDevice, FloatsArePrintedExactly)
{
    const std::string state = testing::TempDir() + "cli-exact-" + std::to_string(getpid()) + ".state";
    testutil::WriteExactFloatsState(state);
    StartSim({"--state", state});
    for (const char *locale : {"LC_ALL=C", "LC_ALL=ru_RU.UTF-8"}) {
        SCOPED_TRACE(locale);
        const Outcome get = RunCliProgram(Port() + "get " + testutil::ExactFloatNames(" "), locale);
        ASSERT_EQ(get.Status, 0) << get.Err;
        std::istringstream lines(get.Out);
        for (const testutil::FloatCase &c : testutil::kExactFloats) {
            std::string line;
            std::getline(lines, line);
            const std::string head = std::string(c.Name) + " = ";
            ASSERT_EQ(line.rfind(head, 0), 0u) << line;
            testutil::ExpectExactFloat(c, line.substr(head.size()), "get");
        }
    }
    const Outcome set = RunCliProgram(Port() + "set Reg.ChargeMaxU 27", "LC_ALL=ru_RU.UTF-8");
    ASSERT_EQ(set.Status, 0) << set.Err;
    EXPECT_EQ(set.Out, "Reg.ChargeMaxU = 27\n") << "once 26.99999";

    std::vector<std::string> argv{QUINTAVOLTE_CLI_PATH, "--port", port_, "watch"};
    for (const testutil::FloatCase &c : testutil::kExactFloats)
        argv.push_back(c.Name);
    argv.insert(argv.end(), {"--interval", "50", "--csv"});
    testutil::ChildProcess cli;
    ASSERT_TRUE(cli.Start(argv));
    ASSERT_EQ(cli.FirstLine(), "time," + testutil::ExactFloatNames(","));
    std::istringstream row(cli.FirstLine());
    std::string field;
    std::getline(row, field, ',');  // the time
    for (const testutil::FloatCase &c : testutil::kExactFloats) {
        ASSERT_TRUE(std::getline(row, field, ',')) << cli.Stderr();
        testutil::ExpectExactFloat(c, field, "watch --csv");
    }
    ASSERT_TRUE(cli.Signal(SIGINT));
    EXPECT_EQ(cli.WaitExit(10000), 0) << cli.Stderr();
    std::remove(state.c_str());
}

TEST_F(CliWithDevice, RefusesWhatCannotBeDoneWithAClearMessage)
{
    const std::string log = testing::TempDir() + "cli-refused-" + std::to_string(getpid()) + ".log";
    std::remove(log.c_str());
    StartSim({"--log", log});
    struct Case {
        std::string Args;
        int Status;
        std::string Message;
    };
    const Case cases[] = {
        {"get Reg.ChargeMaxU Nope", 1, "unknown variable Nope"},
        {"set Adc.U_Solar 1", 1, "Adc.U_Solar is read-only"},
        {"set Reg.ChargeMaxU abc", 1, "is not a number"},
        {"set Reg.ChargeMaxU 1e", 1, "is not a number"},  // the lenient reader would write 1
        {"set Reg.ChargeMaxU 14,2e", 1, "is not a number"},
        {"set Reg.bForceLoadOff 70000", 1, "out of range"},
        // Beyond 64 bits: must not wrap round to a small number that fits.
        {"set Reg.bForceLoadOff 18446744073709551617", 1, "out of range"},
        {"set Di1.ChangesCounter 4294967296", 1, "out of range"},
        // Within the type but beyond what the device really takes.
        {"set Reg.bForceLoadOff 2", 1,
         "refused, nothing written: Reg.bForceLoadOff: \"2\" is out of range (allowed: 0 or 1)"},
        {"set Do1.Mode 6", 1, "(allowed: 0..5)"},
        {"set Mb.MyModbusAddr 0", 1, "(allowed: 1..247)"},
        {"set 485.Init.BaudRate 9601", 1, "is not one of 1200, 2400"},
        {"set Reg.ChargeMaxU 1000", 1, "(allowed: 0..100)"},
        {"frob", 2, "unknown command frob"},
    };
    for (const Case &c : cases) {
        Outcome o = RunCli(Port() + c.Args);
        EXPECT_EQ(o.Status, c.Status) << c.Args << "\n" << o.Err;
        EXPECT_NE(o.Err.find(c.Message), std::string::npos) << c.Args << "\n" << o.Err;
    }
    EXPECT_EQ(Slurp(log), "") << "a refused value never reaches the device";
    // The log does record what the device stores.
    EXPECT_EQ(RunCli(Port() + "set Reg.bForceLoadOff 1").Status, 0);
    EXPECT_NE(Slurp(log).find(" Reg.bForceLoadOff 2013 1"), std::string::npos) << Slurp(log);
    std::remove(log.c_str());
}

TEST_F(CliWithDevice, DeviceRefusalIsAFailure)
{
    struct Case {
        std::string Refused;  // the variable the device answers with an exception
        std::string Args;
        std::string Message;
    };
    const Case cases[] = {
        {"Reg.ChargeI", "get Reg.ChargeI", "refused Reg.ChargeI"},
        {"Reg.ChargeI", "set Reg.ChargeI 2", "refused Reg.ChargeI"},
        {"SaveConfigToRomNow", "set Reg.ChargeI 2", "did not confirm saving"},
    };
    for (const Case &c : cases) {
        sim_.Stop();
        StartSim({"--exception", c.Refused});
        Outcome o = RunCli(Port() + c.Args);
        EXPECT_EQ(o.Status, 1) << c.Args;
        EXPECT_NE(o.Err.find(c.Message), std::string::npos) << c.Args << "\n" << o.Err;
    }
}

TEST_F(CliWithDevice, ANewBaudRateOrAddressNeedsYesWithoutATerminal)
{
    const std::string log = testing::TempDir() + "cli-link-" + std::to_string(getpid()) + ".log";
    std::remove(log.c_str());
    StartSim({"--log", log});
    for (const char *args : {"set 485.Init.BaudRate 1200", "set Mb.MyModbusAddr 5"}) {
        Outcome o = RunCli(Port() + args);
        EXPECT_EQ(o.Status, 2) << args;
        EXPECT_NE(o.Err.find("changes how the device is reached: after it the program may no longer reach it; nothing "
                             "written. Add --yes"),
                  std::string::npos)
            << o.Err;
        EXPECT_EQ(o.Out, "");
    }
    EXPECT_EQ(Slurp(log), "");
    Outcome yes = RunCli(Port() + "set Mb.MyModbusAddr 5 --yes");
    ASSERT_EQ(yes.Status, 0) << yes.Err;
    EXPECT_EQ(yes.Out, "Mb.MyModbusAddr = 5\n");
    EXPECT_NE(Slurp(log).find(" Mb.MyModbusAddr 100 5"), std::string::npos) << Slurp(log);
    std::remove(log.c_str());
}

// The third reply (after the identification and the write's acknowledgement) is the
// read-back's, and it is lost.
TEST_F(CliWithDevice, AFailedReadBackAfterAWriteIsAFailure)
{
    StartSim({"--drop-every", "4"});  // the search, the old value, the write, then the read-back is lost
    Outcome o = RunCli(Port() + "set Reg.ChargeI 3");
    EXPECT_EQ(o.Status, 1);
    EXPECT_EQ(o.Out, "");
    EXPECT_NE(o.Err.find("no reply for Reg.ChargeI\n"), std::string::npos) << o.Err;
    EXPECT_NE(o.Err.find("but the read-back failed: the write may or may not have landed"), std::string::npos) << o.Err;
}

std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// A device slower than the reply deadline, around it and beyond it as far as the quiet wait
// after a failed exchange absorbs: every value printed is the one the device holds, and a
// command that could not read everything exits 1 naming each variable it lacks.
TEST_F(CliWithDevice, SlowRepliesGiveTheRightValuesOrAFailure)
{
    const std::vector<std::string> names{"Reg.ChargeMinU", "Reg.ChargeMaxU", "Reg.ChargeI", "485.Init.BaudRate"};
    std::string get = "get";
    for (const std::string &name : names)
        get += " " + name;
    StartSim();
    const Outcome reference = RunCli(Port() + get);
    ASSERT_EQ(reference.Status, 0) << reference.Err;
    const std::vector<std::string> held = Lines(reference.Out);
    ASSERT_EQ(held.size(), names.size()) << reference.Out;

    for (const char *delay : {"200", "450", "480", "500", "550", "700", "800", "900", "1200", "1500"}) {
        SCOPED_TRACE(std::string("--delay ") + delay);
        sim_.Stop();
        StartSim({"--delay", delay});
        const Outcome o = RunCli(Port() + get);
        for (const std::string &line : Lines(o.Out))
            EXPECT_THAT(held, testing::Contains(line));
        if (o.Status == 0) {
            EXPECT_EQ(o.Out, reference.Out);
            continue;
        }
        EXPECT_EQ(o.Status, 1);
        if (o.Err.find("no Quintavolte device answered") != std::string::npos) {
            EXPECT_EQ(o.Out, "");
            continue;
        }
        for (const std::string &name : names) {
            if (o.Out.find(name + " = ") == std::string::npos) {
                EXPECT_NE(o.Err.find(" " + name), std::string::npos) << name << " neither printed nor named:\n"
                                                                     << o.Err;
            }
        }
    }
}

TEST_F(CliWithDevice, AnotherDeviceIsNotTakenForOurs)
{
    StartSim({"--type", "Other 1.0"});
    Outcome o = RunCli(Port() + "info");
    EXPECT_EQ(o.Status, 1);
    EXPECT_NE(o.Err.find("another kind of device answered on " + port_ + "\n"), std::string::npos) << o.Err;
    EXPECT_NE(o.Err.find("choose the port with --port PATH"), std::string::npos) << o.Err;
}

TEST_F(CliWithDevice, WatchSamplesUntilInterruptedOrItsReaderGoes)
{
    StartSim();
    setenv("LC_ALL", "C", 1);  // decimal points: no quoting of the CSV fields
    const std::vector<std::string> argv{QUINTAVOLTE_CLI_PATH, "--port",     port_, "watch", "Reg.ChargeMaxU",
                                        "Reg.bModeCharger",   "--interval", "50",  "--csv"};
    {
        SCOPED_TRACE("interrupted");
        testutil::ChildProcess cli;
        ASSERT_TRUE(cli.Start(argv));
        EXPECT_EQ(cli.FirstLine(), "time,Reg.ChargeMaxU,Reg.bModeCharger");
        const std::string row = cli.FirstLine();
        EXPECT_THAT(row, testing::MatchesRegex("[0-9][0-9]:[0-9][0-9]:[0-9][0-9],14[.][0-9]+,1"));
        ASSERT_TRUE(cli.Signal(SIGINT));
        EXPECT_EQ(cli.WaitExit(10000), 0) << cli.Stderr();
    }
    {
        SCOPED_TRACE("reader gone");
        testutil::ChildProcess cli;
        ASSERT_TRUE(cli.Start(argv));
        ASSERT_FALSE(cli.FirstLine().empty()) << cli.Stderr();
        cli.CloseOutput();
        // Writing into a closed pipe must end the watch with a failure, not loop for ever.
        EXPECT_EQ(cli.WaitExit(10000), 1);
        EXPECT_NE(cli.Stderr().find("cannot write the output"), std::string::npos) << cli.Stderr();
    }
}

// Reads the line at path until it has been silent for quietMs (within a few seconds).
bool LineFallsSilent(const std::string &path, int quietMs)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    termios raw{};
    if (tcgetattr(fd, &raw) == 0) {
        cfmakeraw(&raw);  // nothing held back waiting for an end of line
        tcsetattr(fd, TCSANOW, &raw);
    }
    bool quiet = false;
    for (int i = 0; i < 50 && !quiet; ++i) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, quietMs) == 0) {
            quiet = true;
        } else {
            char buf[256];
            [[maybe_unused]] const ssize_t n = read(fd, buf, sizeof buf);
        }
    }
    close(fd);
    return quiet;
}

// The link's counters: stats shows them while it polls everything; watch --stats and
// dump say them when they end.
TEST_F(CliWithDevice, TheLinksCountersAreShown)
{
    StartSim();
    {
        testutil::ChildProcess cli;
        ASSERT_TRUE(cli.Start({QUINTAVOLTE_CLI_PATH, "--port", port_, "stats", "--interval", "200", "--csv"}));
        EXPECT_EQ(
            cli.FirstLine(),
            "time,requests,good_replies,timeouts,bad_replies,exceptions,late_bytes_dropped,noise_bytes,reconnections");
        const std::string first = cli.FirstLine(), second = cli.FirstLine();
        const auto requests = [](const std::string &row) { return std::stoull(row.substr(row.find(',') + 1)); };
        EXPECT_THAT(first, testing::MatchesRegex("[0-9:]+,[0-9]+,[0-9]+,0,0,0,0,0,0")) << cli.Stderr();
        ASSERT_FALSE(second.empty()) << cli.Stderr();
        EXPECT_GT(requests(second), requests(first)) << "every variable is polled, round after round";
        ASSERT_TRUE(cli.Signal(SIGINT));
        EXPECT_EQ(cli.WaitExit(10000), 0) << cli.Stderr();
    }
    // The reply to the last request of the program just stopped may still be on its way: the
    // next one would rightly count it as late bytes. Let the line fall silent first.
    ASSERT_TRUE(LineFallsSilent(port_, 200));
    {
        testutil::ChildProcess cli;
        ASSERT_TRUE(
            cli.Start({QUINTAVOLTE_CLI_PATH, "--port", port_, "watch", "Reg.ChargeI", "--interval", "50", "--stats"}));
        ASSERT_FALSE(cli.FirstLine().empty()) << cli.Stderr();
        ASSERT_TRUE(cli.Signal(SIGINT));
        EXPECT_EQ(cli.WaitExit(10000), 0);
        EXPECT_THAT(cli.Stderr(),
                    testing::ContainsRegex("link: [0-9]+ requests, [0-9]+ good replies, 0 timeouts, "
                                           "0 bad replies, 0 exceptions, 0 late bytes dropped, 0 noise bytes, "
                                           "0 reconnections"));
    }
}

TEST_F(CliWithDevice, ASecondInterruptEndsALongSearchAtOnce)
{
    StartSim({"--silent"});  // every identification attempt waits for its timeout
    testutil::ChildProcess cli;
    ASSERT_TRUE(cli.Start({QUINTAVOLTE_CLI_PATH, "--port", port_, "info"}));
    ASSERT_TRUE(testutil::WaitUntil([&] { return cli.Catches(SIGINT); }, 5000));
    // Interrupt until the program is gone; the first only asks for a clean stop.
    int status = -1;
    for (int i = 0; i < 100 && status == -1; ++i) {
        cli.Signal(SIGINT);
        status = cli.WaitExit(50, false);
    }
    // Not the search's own end ("no device", status 1), and not still running.
    EXPECT_EQ(status, 128 + SIGINT) << cli.Stderr();
}

// One unit of a shared bus: the search and every request go to its address, and a device
// at another address is not taken for it.
TEST_F(CliWithDevice, TheAddressPicksOneUnitOfTheBus)
{
    StartSim({"--address", "17"});
    Outcome at17 = RunCli(Port() + "--address 17 get Mb.MyModbusAddr Reg.ChargeMaxU");
    ASSERT_EQ(at17.Status, 0) << at17.Err;
    EXPECT_EQ(at17.Out.rfind("Mb.MyModbusAddr = 17\nReg.ChargeMaxU = ", 0), 0u) << at17.Out;

    Outcome at18 = RunCli(Port() + "--address 18 get Reg.ChargeMaxU");
    EXPECT_EQ(at18.Status, 1);
    EXPECT_NE(at18.Err.find("no Quintavolte device answered on " + port_ + " at address 18\n"), std::string::npos)
        << at18.Err;
    EXPECT_EQ(at18.Out, "");

    // One device on the line needs no address: every unit answers 254.
    Outcome any = RunCli(Port() + "get Mb.MyModbusAddr");
    ASSERT_EQ(any.Status, 0) << any.Err;
    EXPECT_EQ(any.Out, "Mb.MyModbusAddr = 17\n");

    // A pseudo-terminal has no RS-485 mode and no RTS line: direction control falls back to
    // toggling RTS, which the line ignores, and the exchange goes on.
    Outcome rts = RunCli(Port() + "--rts-direction --address 17 get Mb.MyModbusAddr");
    ASSERT_EQ(rts.Status, 0) << rts.Err;
    EXPECT_EQ(rts.Out, "Mb.MyModbusAddr = 17\n");

    for (const char *bad : {"0", "248", "255", "abc"}) {
        Outcome o = RunCli(Port() + "--address " + bad + " info");
        EXPECT_EQ(o.Status, 2) << bad;
        EXPECT_NE(o.Err.find("--address wants a unit address from 1 to 247"), std::string::npos) << o.Err;
    }
}

TEST(Cli, APortThatCannotBeOpenedIsNamedWithTheSystemsReason)
{
    const std::string plain = testing::TempDir() + "cli-not-a-tty-" + std::to_string(getpid());
    std::ofstream(plain) << "x";
    Outcome o = RunCli("--port /nonexistent/tty --port " + plain + " info");
    EXPECT_EQ(o.Status, 1);
    EXPECT_NE(o.Err.find("cannot open /nonexistent/tty: No such file or directory\n"), std::string::npos) << o.Err;
    EXPECT_NE(o.Err.find("cannot open " + plain + ": not a terminal (not a serial port)\n"), std::string::npos)
        << o.Err;
    EXPECT_EQ(o.Err.find("no Quintavolte device answered"), std::string::npos) << o.Err;
    std::filesystem::remove(plain);
}

TEST_F(CliWithDevice, DumpsEveryVariableAndShowsTheFile)
{
    StartSim();
    const std::string file = testing::TempDir() + "cli-dump-" + std::to_string(getpid()) + ".debug";
    Outcome dump = RunCli(Port() + "dump " + file);
    ASSERT_EQ(dump.Status, 0) << dump.Err;
    EXPECT_EQ(dump.Out, "saved 120 variables to " + file + "\n");
    EXPECT_THAT(dump.Err, testing::ContainsRegex("link: [0-9]+ requests, [0-9]+ good replies, 0 timeouts"));

    Outcome show = RunCli("show " + file);
    ASSERT_EQ(show.Status, 0) << show.Err;
    size_t lines = 0;
    for (char c : show.Out)
        lines += c == '\n';
    EXPECT_EQ(lines, 120u);
    EXPECT_NE(show.Out.find("DeviceType = Quintavolte 1.11\n"), std::string::npos);
    EXPECT_LT(show.Out.find("485.Init.BaudRate = 9600\n"), show.Out.find("Adc.AvddVoltage"));  // code-unit order

    // Cut the file short: only the damaged line, and a failure status.
    const std::string text = Slurp(file);
    const std::string cut = testing::TempDir() + "cli-cut-" + std::to_string(getpid()) + ".debug";
    std::ofstream(cut, std::ios::binary) << text.substr(0, text.size() / 2);
    Outcome bad = RunCli("show " + cut);
    EXPECT_EQ(bad.Status, 1);
    EXPECT_EQ(bad.Out, "Файл " + cut + " поврежден!\n");

    // Named relative to the working directory, the file is still reported by its full path.
    const std::string relative = std::filesystem::relative(cut).string();
    ASSERT_NE(relative, cut);
    Outcome badRelative = RunCli("show " + relative);
    EXPECT_EQ(badRelative.Status, 1);
    EXPECT_EQ(badRelative.Out, "Файл " + cut + " поврежден!\n");
}

}  // namespace

namespace {

TEST_F(CliWithDevice, ADumpCutShortLeavesTheOldFileAndFails)
{
    StartSim();
    const std::string file = testing::TempDir() + "cli-kept-" + std::to_string(getpid()) + ".debug";
    ASSERT_EQ(RunCli(Port() + "dump " + file).Status, 0);
    const std::string good = Slurp(file);
    ASSERT_FALSE(good.empty());

    // The stand-in goes away while the dump runs. The command runs in process, so that the
    // lost device's time-outs pass on the test's clock, started as the stand-in goes.
    CliOptions options;
    std::string error;
    ASSERT_TRUE(ParseCliOptions({"--port", port_, "dump", file}, &options, &error)) << error;
    const unsigned long long idle = sim_.BytesRead();
    std::unique_ptr<testkit::FakeClock> clock;
    std::atomic<bool> done{false}, underWay{false};
    std::thread watcher([&] {
        underWay = testutil::WaitUntil([&] { return done.load() || DumpUnderWay(idle); }, 10000) && !done.load();
        sim_.Stop();
        clock = std::make_unique<testkit::FakeClock>(GetTickCount32());
    });
    std::ostringstream out, err;
    const int status = RunCli(options, out, err);
    done = true;
    watcher.join();
    clock.reset();
    ASSERT_TRUE(underWay.load()) << err.str();
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.str().find("connection lost during the dump"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find(file + " was not written"), std::string::npos) << err.str();
    EXPECT_EQ(Slurp(file), good);
    std::filesystem::remove(file);
}

TEST_F(CliWithDevice, AnInterruptedDumpWritesNothing)
{
    StartSim();
    const std::string file = testing::TempDir() + "cli-int-" + std::to_string(getpid()) + ".debug";
    std::filesystem::remove(file);
    testutil::ChildProcess cli;
    const unsigned long long idle = sim_.BytesRead();
    ASSERT_TRUE(cli.Start({QUINTAVOLTE_CLI_PATH, "--port", port_, "dump", file}));
    ASSERT_TRUE(testutil::WaitUntil([&] { return DumpUnderWay(idle) && cli.Catches(SIGINT); }, 10000)) << cli.Stderr();
    cli.Signal(SIGINT);
    EXPECT_EQ(cli.WaitExit(10000), 1);
    EXPECT_NE(cli.Stderr().find("interrupted"), std::string::npos) << cli.Stderr();
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(Cli, ShowNamesWhyAFileCannotBeRead)
{
    const std::string dir = testing::TempDir() + "cli-show-" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    const std::string fifo = dir + "/pipe.debug", empty = dir + "/empty.debug";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::ofstream(empty).close();
    const struct {
        std::string Path;
        std::string Reason;
    } cases[] = {
        {dir + "/missing.debug", "No such file or directory"},
        {dir, "is a directory"},
        {fifo, "is not a regular file"},  // once hung forever waiting for a writer
        {empty, "is empty"},
    };
    for (const auto &c : cases) {
        Outcome o = RunCli("show " + c.Path);
        EXPECT_EQ(o.Status, 1) << c.Path;
        EXPECT_EQ(o.Out, "") << c.Path;
        EXPECT_NE(o.Err.find("cannot read " + c.Path + ": " + c.Reason), std::string::npos) << o.Err;
    }
    std::filesystem::remove_all(dir);
}

TEST_F(CliWithDevice, FileNamesReachTheSystemByteForByte)
{
    StartSim();
    const std::string dir = testing::TempDir() + "cli-bytes-" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    const std::string file = dir + "/caf\xe9.debug";  // Latin-1, not UTF-8
    Outcome dump = RunCli(Port() + "dump '" + file + "'");
    ASSERT_EQ(dump.Status, 0) << dump.Err;
    std::vector<std::string> names;
    for (const auto &e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"caf\xe9.debug"});
    Outcome show = RunCli("show '" + file + "'");
    EXPECT_EQ(show.Status, 0) << show.Err;
    EXPECT_NE(show.Out.find("DeviceType = Quintavolte 1.11\n"), std::string::npos);
    std::filesystem::remove_all(dir);
}

}  // namespace
