// The port search as a Linux user meets it: the port where the device answered is tried
// first next time, ports refused for permission are named with their group, the ports
// list says which ports open, and a terminal shows the port being tried.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <sstream>
#include <string>

#include "cli/CliCommands.h"
#include "cli/CliPorts.h"
#include "cli/CliOptions.h"
#include "cli/CliRun.h"
#include "device/ChildProcess.h"
#include "port/PortList.h"
#include "port/PtyPair.h"

extern char **environ;

namespace {

std::string g_refused;  // the path the open seam refuses

// The group the tests give a port to, as a serial port's group usually is ("dialout").
constexpr gid_t kPortGroup = 20;

std::string GroupName(gid_t gid)
{
    const struct group *g = getgrgid(gid);
    return g != nullptr ? g->gr_name : std::to_string(gid);
}

int RefuseOnePort(const char *path, int flags)
{
    if (g_refused == path) {
        errno = EACCES;
        return -1;
    }
    return ::open(path, flags);
}

class CliPorts : public testing::Test {
protected:
    void SetUp() override
    {
        config_ = testing::TempDir() + "qv-ports-" + std::to_string(getpid()) + "-" +
                  testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(config_);
    }
    void TearDown() override
    {
        SetPortOpenFunction(nullptr);
        SetExplicitPorts({});
        SetPreferredPort({});
        std::filesystem::remove_all(config_);
    }
    testutil::CliOutcome Cli(const std::string &args)
    {
        return testutil::RunCliProgram(args, "LC_ALL=C XDG_CONFIG_HOME=" + config_);
    }
    void StartSim()
    {
        ASSERT_TRUE(sim_.Start({QUINTAVOLTE_SIM_PATH}));
        simPort_ = sim_.FirstLine();
        ASSERT_FALSE(simPort_.empty()) << sim_.Stderr();
    }
    // The in-process front end, with the open seam in force.
    int RunInProcess(const std::vector<std::string> &args, std::string *out, std::string *err)
    {
        CliOptions o;
        std::string error;
        EXPECT_TRUE(ParseCliOptions(args, &o, &error)) << error;
        std::ostringstream o1, o2;
        const int status = RunCli(o, o1, o2);
        *out = o1.str();
        *err = o2.str();
        return status;
    }

    std::string config_;
    testutil::ChildProcess sim_;
    std::string simPort_;
};

TEST_F(CliPorts, TheRememberedPortIsTriedFirst)
{
    StartSim();
    PtyPair silent;  // a port with nothing behind it, listed first
    ASSERT_TRUE(silent.Ok());
    const std::string ports = "--port " + silent.SlavePath() + " --port " + simPort_ + " ";

    testutil::CliOutcome first = Cli(ports + "info");
    ASSERT_EQ(first.Status, 0) << first.Err;
    EXPECT_NE(first.Out.find("port: " + simPort_ + "\n"), std::string::npos) << first.Out;
    EXPECT_FALSE(silent.Read(1, 500).empty()) << "the first search asks the first port";
    silent.Read(4096, 200);
    EXPECT_EQ(testutil::SlurpFile(config_ + "/quintavolte/last-port"), simPort_ + "\n");

    testutil::CliOutcome second = Cli(ports + "info");
    ASSERT_EQ(second.Status, 0) << second.Err;
    EXPECT_NE(second.Out.find("port: " + simPort_ + "\n"), std::string::npos) << second.Out;
    EXPECT_TRUE(silent.Read(1, 300).empty()) << "the remembered port was not the first probe";
}

TEST_F(CliPorts, ARefusedPortIsNamedWithItsGroupWhenNoDeviceIsFound)
{
    PtyPair refused, other;
    ASSERT_TRUE(refused.Ok() && other.Ok());
    if (geteuid() != 0)
        GTEST_SKIP() << "giving the port to another group needs root";
    // As a serial port usually is: its group may read and write it.
    ASSERT_EQ(chown(refused.SlavePath().c_str(), static_cast<uid_t>(-1), kPortGroup), 0);
    ASSERT_EQ(chmod(refused.SlavePath().c_str(), 0660), 0);
    g_refused = refused.SlavePath();
    SetPortOpenFunction(&RefuseOnePort);
    std::string out, err;
    // A missing port is no permission matter; the silent one is searched after the refusal.
    EXPECT_EQ(RunInProcess(
                  {"--port", "/nonexistent/qv-tty", "--port", refused.SlavePath(), "--port", other.SlavePath(), "info"},
                  &out, &err),
              1);
    const std::string group = PortGroupName(refused.SlavePath());
    ASSERT_FALSE(group.empty());
    EXPECT_NE(err.find("quintavolte-cli: no Quintavolte device answered on"), std::string::npos) << err;
    EXPECT_NE(err.find("quintavolte-cli: permission denied on " + refused.SlavePath() +
                       ": these ports belong to the group " + group + "; add yourself to it (sudo adduser $USER " +
                       group + ") and log in again\n"),
              std::string::npos)
        << err;
    // The missing port is named for what it is, not among the refused ones.
    EXPECT_NE(err.find("quintavolte-cli: cannot open /nonexistent/qv-tty: No such file or directory\n"),
              std::string::npos)
        << err;
    EXPECT_EQ(err.find("permission denied on /nonexistent"), std::string::npos) << err;
    EXPECT_FALSE(other.Read(1, 1000).empty()) << "the search went on past the refused port";

    ASSERT_EQ(RunInProcess({"--port", refused.SlavePath(), "--port", other.SlavePath(), "--port", "/nonexistent/qv-tty",
                            "ports"},
                           &out, &err),
              0);
    EXPECT_EQ(out, "COM1 " + refused.SlavePath() + ": cannot be opened: permission denied (group " + group + ")\n" +
                       "COM2 " + other.SlavePath() + ": can be opened\n" +
                       "COM3 /nonexistent/qv-tty: cannot be opened: No such file or directory\n");
}

TEST_F(CliPorts, JoiningTheGroupIsAdvisedOnlyWhenTheGroupMayReadAndWriteThePort)
{
    PtyPair port;
    ASSERT_TRUE(port.Ok());
    if (geteuid() != 0)
        GTEST_SKIP() << "giving the port to another group needs root";
    const std::string path = port.SlavePath();
    const struct {
        gid_t Group;
        mode_t Mode;
        std::string Line;  // after "permission denied on PATH"
    } cases[] = {
        {kPortGroup, 0660, ": these ports belong to the group " + GroupName(kPortGroup)},
        {kPortGroup, 0600, " (owner root, group " + GroupName(kPortGroup) + ", mode 0600)\n"},
        {kPortGroup, 0640, " (owner root, group " + GroupName(kPortGroup) + ", mode 0640)\n"},
        {kPortGroup, 0620, " (owner root, group " + GroupName(kPortGroup) + ", mode 0620)\n"},
        {0, 0660, " (owner root, group root, mode 0660)\n"},  // joining root is no advice
    };
    for (const auto &c : cases) {
        ASSERT_EQ(chown(path.c_str(), 0, c.Group), 0);
        ASSERT_EQ(chmod(path.c_str(), c.Mode), 0);
        std::ostringstream err;
        ReportRefusedPorts({path}, err);
        EXPECT_EQ(err.str().rfind("quintavolte-cli: permission denied on " + path + c.Line, 0), 0u) << err.str();
        EXPECT_EQ(err.str().find("adduser") != std::string::npos, c.Mode == 0660 && c.Group != 0) << err.str();
    }
    // The ports list says the same of a port only its owner may use.
    g_refused = path;
    SetPortOpenFunction(&RefuseOnePort);
    std::string out, err;
    ASSERT_EQ(RunInProcess({"--port", path, "ports"}, &out, &err), 0);
    EXPECT_EQ(out, "COM1 " + path + ": cannot be opened: permission denied (owner root, group root, mode 0660)\n");
}

TEST_F(CliPorts, TheDeviceFoundAfterARefusalNeedsNoPermissionLine)
{
    StartSim();
    PtyPair refused;
    ASSERT_TRUE(refused.Ok());
    g_refused = refused.SlavePath();
    SetPortOpenFunction(&RefuseOnePort);
    setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
    std::string out, err;
    EXPECT_EQ(RunInProcess({"--port", refused.SlavePath(), "--port", simPort_, "info"}, &out, &err), 0) << err;
    EXPECT_EQ(err, "");
    EXPECT_NE(out.find("port: " + simPort_), std::string::npos) << out;
}

// Runs the program with its standard error on a terminal; returns what the terminal showed.
std::string RunOnTerminal(const std::vector<std::string> &args)
{
    PtyPair terminal;
    if (!terminal.Ok())
        return "no terminal";
    const int slave = open(terminal.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, slave, 2);
    std::vector<std::string> all{QUINTAVOLTE_CLI_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(slave);
    if (rc != 0)
        return "not started";
    waitpid(pid, nullptr, 0);
    const std::vector<uint8_t> shown = terminal.Read(65536, 500);
    return std::string(shown.begin(), shown.end());
}

TEST_F(CliPorts, ATerminalShowsThePortBeingTriedAPipeDoesNot)
{
    const std::string shown = RunOnTerminal({"--port", "/nonexistent/qv-a", "--port", "/nonexistent/qv-b", "info"});
    EXPECT_NE(shown.find("searching for the device: /nonexistent/qv-a"), std::string::npos) << shown;
    EXPECT_NE(shown.find("searching for the device: /nonexistent/qv-b"), std::string::npos) << shown;
    // The line is wiped before the failure is reported.
    EXPECT_NE(shown.find("\r\033[Kquintavolte-cli: cannot open /nonexistent/qv-a: No such file or directory"),
              std::string::npos)
        << shown;

    testutil::CliOutcome piped = Cli("--port /nonexistent/qv-a info");
    EXPECT_EQ(piped.Status, 1);
    EXPECT_EQ(piped.Err.find("searching"), std::string::npos) << piped.Err;
}

}  // namespace
