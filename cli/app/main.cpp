#include <csignal>
#include <iostream>

#include "cli/CliCommands.h"

namespace {
void OnSignal(int) { g_cliStop.store(true); }
}  // namespace

int main(int argc, char **argv)
{
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);
    CliOptions options;
    std::string error;
    if (!ParseCliOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
        std::cerr << "quintavolte-cli: " << error << "\n" << CliUsage();
        return 2;
    }
    return RunCli(options, std::cout, std::cerr);
}
