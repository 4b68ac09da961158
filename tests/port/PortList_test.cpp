#include "port/PortList.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

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
  for (const char *name : {"ttyS10", "ttyS2", "ttyUSB1", "ttyUSB0", "ttyACM0", "ttyS", "ttySx", "ttyUSB1a",
                           "tty0", "console", "ttyACM12", "ttyACM3"})
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
