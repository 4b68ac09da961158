#include "port/PortList.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <cerrno>
#include <sys/file.h>
#include <cstdlib>
#include <fcntl.h>
#include <cstring>
#include <fstream>
#include <unistd.h>

#include "port/PtyPair.h"

namespace fs = std::filesystem;

namespace {

class ExplicitPortsReset : public testing::Test {
protected:
    void TearDown() override { SetExplicitPorts({}); }
};

TEST_F(ExplicitPortsReset, AutomaticSearchOrdersFamiliesThenNumbers)
{
    fs::path dir = fs::temp_directory_path() / ("qv_portlist_" + std::to_string(getpid()));
    fs::create_directories(dir);
    for (const char *name : {"ttyS10", "ttyS2", "ttyUSB1", "ttyUSB0", "ttyACM0", "ttyS", "ttySx", "ttyUSB1a", "tty0",
                             "console", "ttyACM12", "ttyACM3"})
        std::ofstream(dir / name) << "";

    std::vector<std::string> expect;
    for (const char *name : {"ttyUSB0", "ttyUSB1", "ttyACM0", "ttyACM3", "ttyACM12", "ttyS2", "ttyS10"})
        expect.push_back((dir / name).string());
    EXPECT_EQ(ScanSerialDevices(dir.string()), expect);
    fs::remove_all(dir);

    EXPECT_TRUE(ScanSerialDevices((dir / "missing").string()).empty());
}

TEST_F(ExplicitPortsReset, ExplicitPortsFormTheListInTheirOrder)
{
    SetExplicitPorts({"/dev/pts/7", "/dev/ttyUSB3", "/tmp/link"});
    EXPECT_EQ(CandidatePorts(), (std::vector<std::string>{"/dev/pts/7", "/dev/ttyUSB3", "/tmp/link"}));

    const std::pair<int, const char *> cases[] = {
        {1, "/dev/pts/7"}, {2, "/dev/ttyUSB3"}, {3, "/tmp/link"}, {4, ""}, {0, ""}, {-1, ""}};
    for (const auto &[n, path] : cases)
        EXPECT_EQ(PortPath(n), path) << "port " << n;

    SetExplicitPorts({});
    EXPECT_EQ(CandidatePorts(), ScanSerialDevices("/dev"));
}

}  // namespace

namespace {

class PortSearchOrder : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("qv_portorder_" + std::to_string(getpid()));
        fs::create_directories(dir_ / "by-id");
        for (const char *name : {"ttyUSB0", "ttyUSB1", "ttyS0"})
            std::ofstream(dir_ / name) << "";
        fs::create_symlink(dir_ / "ttyUSB1", dir_ / "by-id" / "usb-Maker_Adapter_A1-if00-port0");
    }
    void TearDown() override
    {
        SetExplicitPorts({});
        SetPreferredPort({});
        SetPortOpenFunction(nullptr);
        fs::remove_all(dir_);
    }
    std::string P(const char *name) const { return (dir_ / name).string(); }
    fs::path dir_;
};

TEST_F(PortSearchOrder, ThePreferredPortGoesFirstWhenItIsACandidate)
{
    SetExplicitPorts({P("ttyUSB0"), P("ttyUSB1"), P("ttyS0")});
    SetPreferredPort(P("ttyUSB1"));
    EXPECT_EQ(CandidatePorts(), (std::vector<std::string>{P("ttyUSB1"), P("ttyUSB0"), P("ttyS0")}));
    EXPECT_EQ(PortPath(1), P("ttyUSB1"));

    // A by-id name finds the node it points at, whatever its number is today.
    SetPreferredPort(P("by-id/usb-Maker_Adapter_A1-if00-port0"));
    EXPECT_EQ(CandidatePorts().front(), P("ttyUSB1"));

    // Gone, or not among the candidates: the usual order, nothing tried in addition.
    for (const std::string &preferred : {P("ttyUSB7"), P("by-id/usb-Gone-port0"), std::string("/dev/null")}) {
        SetPreferredPort(preferred);
        EXPECT_EQ(CandidatePorts(), (std::vector<std::string>{P("ttyUSB0"), P("ttyUSB1"), P("ttyS0")})) << preferred;
    }
}

TEST_F(PortSearchOrder, ByIdNamesAndTheRememberedPort)
{
    EXPECT_EQ(SerialByIdName(P("ttyUSB1"), P("by-id")), P("by-id/usb-Maker_Adapter_A1-if00-port0"));
    EXPECT_EQ(SerialByIdName(P("ttyUSB0"), P("by-id")), "");
    EXPECT_EQ(SerialByIdName(P("ttyUSB0"), P("no-such-dir")), "");

    const char *old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    EXPECT_EQ(RememberedPortFile(), (dir_ / "config" / "quintavolte" / "last-port").string());
    EXPECT_EQ(RememberedPort(), "");
    ASSERT_TRUE(RememberPort(P("ttyUSB0")));  // no by-id name here: the path
    EXPECT_EQ(RememberedPort(), P("ttyUSB0"));
    ASSERT_TRUE(RememberPort(P("ttyS0")));
    EXPECT_EQ(RememberedPort(), P("ttyS0"));
    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

int RefuseAll(const char *, int)
{
    errno = EACCES;
    return -1;
}

TEST_F(PortSearchOrder, AnOpenRefusedThroughTheSeamIsKnownAsAPermissionRefusal)
{
    const int fd = OpenPortFile(P("ttyUSB0"), O_RDONLY);
    ASSERT_GE(fd, 0);
    close(fd);
    EXPECT_EQ(LastOpenErrno(P("ttyUSB0")), 0);
    EXPECT_LT(OpenPortFile(P("ttyUSB9"), O_RDONLY), 0);
    EXPECT_EQ(LastOpenErrno(P("ttyUSB9")), ENOENT);
    EXPECT_FALSE(OpenRefusedForPermission(P("ttyUSB9")));

    SetPortOpenFunction(&RefuseAll);
    EXPECT_LT(OpenPortFile(P("ttyUSB0"), O_RDONLY), 0);
    EXPECT_EQ(errno, EACCES);
    EXPECT_TRUE(OpenRefusedForPermission(P("ttyUSB0")));
    SetPortOpenFunction(nullptr);
    const int again = OpenPortFile(P("ttyUSB0"), O_RDONLY);
    EXPECT_GE(again, 0);
    close(again);
    EXPECT_FALSE(OpenRefusedForPermission(P("ttyUSB0")));

    EXPECT_FALSE(PortGroupName(P("ttyUSB0")).empty());
    EXPECT_EQ(PortGroupName(P("ttyUSB9")), "");
}

}  // namespace

namespace {

// A device directory of its own: nodes, by-id links, and the seam pointed at it.
class FakeDeviceDir : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("qv_fakedev_" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "serial" / "by-id");
        SetDeviceDirectory(dir_.string());
    }
    void TearDown() override
    {
        SetDeviceDirectory({});
        SetExplicitPorts({});
        SetPreferredPort({});
        SetPortOpenFunction(nullptr);
        fs::remove_all(dir_);
    }
    std::string P(const std::string &name) const { return (dir_ / name).string(); }
    void Node(const char *name) { std::ofstream(dir_ / name) << ""; }
    void ById(const std::string &name, const fs::path &target)
    {
        fs::create_symlink(target, dir_ / "serial" / "by-id" / name);
    }
    fs::path dir_;
};

TEST_F(FakeDeviceDir, NewFamiliesAndByIdLinksEachDeviceOnce)
{
    for (const char *name : {"ttyS1", "ttyS0", "rfcomm1", "rfcomm0", "ttyAMA10", "ttyAMA0", "ttyACM0", "ttyUSB0",
                             "ttyAMAx", "rfcomm", "ttyXRUSB0", "ttyCH343USB0"})
        Node(name);
    // Links to nodes that a family already names are those nodes; a relative link as udev
    // makes them, and an absolute one.
    ById("usb-Maker_Adapter_A1-if00-port0", "../../ttyUSB0");
    ById("usb-Board_UART-if00", dir_ / "ttyAMA0");
    // Two names of one adapter with a driver of its own: one port, the first name.
    ById("usb-Other_Bridge_B2-if00", "../../ttyXRUSB0");
    ById("usb-Other_Bridge_B2-if00-alias", "../../ttyXRUSB0");
    ById("usb-Radio_C3-if00", "../../ttyCH343USB0");
    ById("usb-Gone_D4-if00", "../../ttyUSB9");  // dangling: its device is unplugged

    const std::vector<std::string> expect{P("ttyUSB0"),
                                          P("ttyACM0"),
                                          P("serial/by-id/usb-Other_Bridge_B2-if00"),
                                          P("serial/by-id/usb-Radio_C3-if00"),
                                          P("ttyAMA0"),
                                          P("ttyAMA10"),
                                          P("rfcomm0"),
                                          P("rfcomm1"),
                                          P("ttyS0"),
                                          P("ttyS1")};
    EXPECT_EQ(ScanSerialDevices(dir_.string()), expect);
    EXPECT_EQ(CandidatePorts(), expect);
    EXPECT_EQ(PortPath(3), P("serial/by-id/usb-Other_Bridge_B2-if00"));
    // The by-id name of a node is found in the device directory's own by-id folder.
    EXPECT_EQ(SerialByIdName(P("ttyUSB0")), P("serial/by-id/usb-Maker_Adapter_A1-if00-port0"));
    EXPECT_TRUE(SamePort(P("serial/by-id/usb-Board_UART-if00"), P("ttyAMA0")));
    EXPECT_FALSE(SamePort(P("ttyAMA0"), P("ttyAMA10")));
}

TEST_F(FakeDeviceDir, APortTheSearchWouldNotFindGoesFirstWhilePreferred)
{
    Node("ttyUSB0");
    Node("ttyS0");
    fs::create_directories(dir_ / "elsewhere");
    std::ofstream(dir_ / "elsewhere" / "radio") << "";
    fs::create_symlink(dir_ / "elsewhere" / "radio", dir_ / "elsewhere" / "my-radio-link");
    const std::string link = P("elsewhere/my-radio-link");

    SetPreferredPort(link);
    EXPECT_EQ(CandidatePorts(), (std::vector<std::string>{link, P("ttyUSB0"), P("ttyS0")}));
    EXPECT_EQ(PortPath(1), link);
    // Named on the command line, the ports are exactly those: nothing is added to them.
    SetExplicitPorts({P("ttyS0")});
    EXPECT_EQ(CandidatePorts(), (std::vector<std::string>{P("ttyS0")}));
    // The choice still offers the rest, each device once.
    EXPECT_EQ(PortChoices(), (std::vector<std::string>{P("ttyS0"), link, P("ttyUSB0")}));
    SetExplicitPorts({});

    // Gone: nothing is tried for it.
    fs::remove(link);
    EXPECT_EQ(CandidatePorts(), (std::vector<std::string>{P("ttyUSB0"), P("ttyS0")}));

    // A pseudo-terminal by its bare number belongs to the next terminal opened: not added.
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    SetPreferredPort(pty.SlavePath());
    EXPECT_EQ(CandidatePorts(), (std::vector<std::string>{P("ttyUSB0"), P("ttyS0")}));
    // Through a link of its own (as a network adapter's program makes one) it is.
    fs::create_symlink(pty.SlavePath(), dir_ / "elsewhere" / "net-port");
    SetPreferredPort(P("elsewhere/net-port"));
    EXPECT_EQ(CandidatePorts().front(), P("elsewhere/net-port"));
}

int RefuseWithPermission(const char *, int)
{
    errno = EACCES;
    return -1;
}

TEST_F(FakeDeviceDir, ExaminingAPortTellsFreeInUseRefusedAndMissing)
{
    PtyPair free, held;
    ASSERT_TRUE(free.Ok() && held.Ok());
    fs::create_symlink(free.SlavePath(), dir_ / "ttyUSB0");
    ById("usb-Maker_Radio-if00", "../../ttyUSB0");
    // Another program holds the port the way ours does: with the lock.
    const int holder = open(held.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);

    PortState s = ExaminePort(P("ttyUSB0"));
    EXPECT_EQ(s.Access, PortAccess::Free);
    EXPECT_EQ(s.ById, P("serial/by-id/usb-Maker_Radio-if00"));
    EXPECT_EQ(ExaminePort(P("serial/by-id/usb-Maker_Radio-if00")).ById, "");  // is its own name

    s = ExaminePort(held.SlavePath());
    EXPECT_EQ(s.Access, PortAccess::InUse);
    close(holder);
    EXPECT_EQ(ExaminePort(held.SlavePath()).Access, PortAccess::Free);  // the lock went with it

    s = ExaminePort(P("ttyUSB7"));
    EXPECT_EQ(s.Access, PortAccess::CannotOpen);
    EXPECT_EQ(s.Error, std::strerror(ENOENT));

    SetPortOpenFunction(&RefuseWithPermission);
    s = ExaminePort(free.SlavePath());
    EXPECT_EQ(s.Access, PortAccess::NoPermission);
    // A pseudo-terminal's group may not read it: no group to join, its owner instead.
    EXPECT_EQ(s.Group, "");
    EXPECT_FALSE(s.Owner.User.empty());
    EXPECT_EQ(s.Owner.Mode.size(), 4u);
}

// A path that opens but is no terminal is not offered as a free port; a port that another
// process has open, or whose lock file names a living process, is in use even without flock.
TEST_F(FakeDeviceDir, NoTerminalAndHoldersWithoutALock)
{
    Node("ttyUSB3");
    EXPECT_EQ(ExaminePort(P("ttyUSB3")).Access, PortAccess::NotSerial);
    EXPECT_EQ(ExaminePort("/dev/null").Access, PortAccess::NotSerial);

    const fs::path proc = dir_ / "proc";
    const fs::path locks = dir_ / "lock";
    fs::create_directories(proc / std::to_string(getppid()) / "fd");
    fs::create_directories(proc / std::to_string(getpid()) / "fd");
    fs::create_directories(locks);
    SetHolderDirectories(proc.string(), locks.string());
    // Our own descriptors do not count.
    fs::create_symlink(P("ttyUSB3"), proc / std::to_string(getpid()) / "fd" / "5");
    EXPECT_FALSE(HeldByOtherProcess(P("ttyUSB3")));
    fs::create_symlink(P("ttyUSB3"), proc / std::to_string(getppid()) / "fd" / "3");
    EXPECT_TRUE(HeldByOtherProcess(P("ttyUSB3")));

    Node("ttyUSB4");
    std::ofstream(locks / "LCK..ttyUSB4") << "999999999\n";  // no such process: a stale lock
    EXPECT_FALSE(HeldByOtherProcess(P("ttyUSB4")));
    std::ofstream(locks / "LCK..ttyUSB4") << "      " << getppid() << "\n";
    EXPECT_TRUE(HeldByOtherProcess(P("ttyUSB4")));
    EXPECT_TRUE(LockFileHeld(P("ttyUSB4")));
    SetHolderDirectories({}, {});
}

}  // namespace
