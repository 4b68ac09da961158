// The commands of quintavolte-cli, run on the same cActionManager as the windows.
#pragma once
#include <atomic>
#include <ostream>

#include "cli/CliOptions.h"

// Set from a signal handler: ends a running watch.
extern std::atomic<bool> g_cliStop;

// Runs one parsed command line; returns the exit status (0 done, 1 failure, 2 usage).
int RunCli(const CliOptions &options, std::ostream &out, std::ostream &err);
