#include "port/PortList.h"

#include <gtest/gtest.h>

#include <filesystem>
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
