// The stand-in device behind a connected cActionManager for the quick-setup and training
// page tests: a 10 ms heartbeat that ticks the scheduler while the test waits, the writes
// the stand-in stored (its --log file), and a message recorder.
#pragma once

#include <QTimer>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/Notify.h"
#include "device/ActionManager.h"
#include "device/ChildProcess.h"
#include "port/PortList.h"

namespace rig {

struct StoredWrite {
    std::string Name;
    double Value = 0;
};

class Messages {
public:
    Messages()
    {
        previous_ = SetMessageHook([this](std::u16string_view text) {
            Texts.append(QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())));
        });
    }
    ~Messages() { SetMessageHook(previous_); }
    QStringList Texts;

private:
    MessageHook previous_;
};

class SimDevice {
public:
    SimDevice()
    {
        char dir[] = "/tmp/qv-training-XXXXXX";
        if (mkdtemp(dir) != nullptr)
            Dir = dir;
        LogPath = Dir + "/writes.log";
        QObject::connect(&heartbeat_, &QTimer::timeout, [this] { Manager.TickScheduler(); });
    }
    ~SimDevice()
    {
        heartbeat_.stop();
        Manager.Shell.PollingEnabled = false;
        Manager.Shell.Port.Close();
        Sim.Stop();
        SetExplicitPorts({});
        (void)!std::system(("rm -rf '" + Dir + "'").c_str());
    }

    // Starts the stand-in with extra options and connects; false with the reason in Error.
    bool Start(std::vector<std::string> args = {})
    {
        args.insert(args.begin(), {QUINTAVOLTE_SIM_PATH, "--log", LogPath});
        if (!Sim.Start(args)) {
            Error = "cannot start the stand-in";
            return false;
        }
        const std::string path = Sim.FirstLine();
        if (path.empty()) {
            Error = "the stand-in did not start: " + Sim.Stderr();
            return false;
        }
        SetExplicitPorts({path});
        if (!Manager.Connect()) {
            Error = "no connection: " + Sim.Stderr();
            return false;
        }
        heartbeat_.start(10);
        return true;
    }

    // The writes the stand-in has stored so far, in order.
    std::vector<StoredWrite> Writes() const
    {
        std::vector<StoredWrite> writes;
        std::ifstream in(LogPath);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string ms, name, reg, value;
            if (fields >> ms >> name >> reg >> value) {
                // The log is in the C locale; the test program runs in the user's.
                double v = 0;
                std::from_chars(value.data(), value.data() + value.size(), v);
                writes.push_back({name, v});
            }
        }
        return writes;
    }
    std::vector<StoredWrite> WritesSince(size_t first) const
    {
        auto all = Writes();
        return first < all.size() ? std::vector<StoredWrite>(all.begin() + first, all.end())
                                  : std::vector<StoredWrite>{};
    }

    std::string Dir;
    std::string LogPath;
    std::string Error;
    testutil::ChildProcess Sim;
    cActionManager Manager;

private:
    QTimer heartbeat_;
};

}  // namespace rig
