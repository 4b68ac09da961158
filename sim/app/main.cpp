// quintavolte-sim: a stand-in for the Quintavolte device on a pseudo-terminal.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "core/Version.h"
#include "sim/SimDeviceModel.h"
#include "sim/SimOptions.h"
#include "sim/SimServer.h"
#include "sim/SimSlave.h"
#include "sim/SimWriteLog.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnStopSignal(int)
{
    g_stop = 1;
}

}  // namespace

int main(int argc, char **argv)
{
    SimOptions options;
    std::string error;
    if (!ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
        std::fprintf(stderr, "quintavolte-sim: %s\n%s", error.c_str(), SimUsage());
        return 2;
    }
    if (options.Help) {
        std::fputs(SimUsage(), stdout);
        return 0;
    }
    if (options.ShowVersion) {
        std::puts("quintavolte-sim " QV_VERSION_TEXT);
        return 0;
    }

    SimDeviceModel model(SimModelConfig{options.DeviceType, options.StartHour, options.StateFile, options.ChipUid});
    std::vector<std::string> problems;
    bool loaded = model.LoadState(&problems);
    for (const std::string &p : problems)
        std::fprintf(stderr, "quintavolte-sim: %s%s\n", loaded ? "ignored: " : "", p.c_str());
    if (!loaded)
        return 1;
    if (options.Address > 0)
        model.Write(vMbMyModbusAddr, options.Address);

    SimWriteLog writeLog;
    if (!options.WriteLogPath.empty() && !writeLog.Open(options.WriteLogPath, &error)) {
        std::fprintf(stderr, "quintavolte-sim: %s\n", error.c_str());
        return 1;
    }

    SimSlave slave(model);
    if (writeLog.IsOpen())
        slave.SetWriteObserver(
            [&writeLog](int id, double value, const std::string &text) { writeLog.Record(id, value, text); });
    if (!options.ExceptionVar.empty())
        slave.SetFaultVar(SimFindVar(options.ExceptionVar));
    if (!options.RefuseWriteVar.empty())
        slave.SetRefusedWriteVar(SimFindVar(options.RefuseWriteVar));
    slave.SetLockAfter(options.LockAfter);
    slave.SetMaxRead(static_cast<uint16_t>(options.MaxRead));
    slave.SetNoBlockReads(options.NoBlockReads);
    writeLog.SetWithWords(options.LogWords);

    // The stop signals are blocked except while the server waits, so none is lost between
    // its check of the flag and its wait.
    sigset_t block, waitMask;
    sigemptyset(&block);
    sigaddset(&block, SIGINT);
    sigaddset(&block, SIGTERM);
    sigprocmask(SIG_BLOCK, &block, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    SimPty pty;
    if (!pty.Open(&error) || (!options.LinkPath.empty() && !pty.Link(options.LinkPath, &error))) {
        std::fprintf(stderr, "quintavolte-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", pty.SlavePath().c_str());
    std::fflush(stdout);

    SimServer server(pty, slave, model, options);
    int rc = server.Run(&g_stop, &waitMask);
    if (rc != 0)
        std::fprintf(stderr, "quintavolte-sim: the pseudo-terminal failed\n");
    return rc;
}
