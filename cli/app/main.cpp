#include <csignal>
#include <iostream>

#include "cli/CliCommands.h"

namespace {
void OnSignal(int)
{
    g_cliStop.store(true);
}

// The first interrupt asks for a clean stop (a watch ends after its sample); the handler
// then gives way, so a second one ends the program even inside a long port search.
void StopOn(int sig)
{
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(sig, &action, nullptr);
}
}  // namespace

int main(int argc, char **argv)
{
    StopOn(SIGINT);
    StopOn(SIGTERM);
    std::signal(SIGPIPE, SIG_IGN);
    CliOptions options;
    std::string error;
    if (!ParseCliOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
        std::cerr << "quintavolte-cli: " << error << "\n" << CliUsage();
        return 2;
    }
    return RunCli(options, std::cout, std::cerr);
}
