// Runs quintavolte-cli as a separate program and collects what it says, for the
// end-to-end tests of the command line.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace testutil {

struct CliOutcome {
    int Status = -1;
    std::string Out;
    std::string Err;
};

inline std::string SlurpFile(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// In the C locale (decimal points) unless the environment part of prefix says otherwise.
inline CliOutcome RunCliProgram(const std::string &args, const std::string &prefix = "LC_ALL=C")
{
    std::string err = testing::TempDir() + "cli-stderr-XXXXXX";
    const int fd = mkstemp(err.data());
    if (fd < 0)
        return CliOutcome{};
    close(fd);
    // No terminal to answer a question: whoever runs the tests, the program never waits.
    const std::string cmd = prefix + " " + QUINTAVOLTE_CLI_PATH + " " + args + " </dev/null 2>" + err;
    CliOutcome o;
    FILE *p = popen(cmd.c_str(), "r");
    if (p == nullptr)
        return o;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        o.Out.append(buf, n);
    const int status = pclose(p);
    o.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    o.Err = SlurpFile(err);
    unlink(err.c_str());
    return o;
}

}  // namespace testutil
