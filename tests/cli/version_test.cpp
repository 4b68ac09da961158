// Every program prints the one version that the build (and the package) carries.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/Version.h"

namespace {

std::string Output(const std::string &command)
{
    std::string text;
    FILE *p = popen(command.c_str(), "r");
    if (p == nullptr)
        return text;
    char buf[256];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        text.append(buf, n);
    return pclose(p) == 0 ? text : "exit status not 0: " + text;
}

TEST(Version, EveryProgramPrintsTheProjectVersion)
{
    ASSERT_STRNE(QV_VERSION_TEXT, "");
    EXPECT_EQ(Output(std::string(QUINTAVOLTE_CLI_PATH) + " --version"),
              std::string("quintavolte-cli ") + QV_VERSION_TEXT + "\n");
    EXPECT_EQ(Output(std::string(QUINTAVOLTE_SIM_PATH) + " --version"),
              std::string("quintavolte-sim ") + QV_VERSION_TEXT + "\n");
}

}  // namespace
