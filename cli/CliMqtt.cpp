#include "cli/CliMqtt.h"

#include "cli/CliCommands.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#ifdef QV_HAVE_BRIDGE
#include "bridge/MqttBridge.h"
#include "history/HistoryRecorder.h"

namespace {

// The history options of the bridge, taken out before the bridge reads its own.
struct BridgeHistory {
    bool On = false;
    std::string Db;
    int IntervalS = HistoryRecorder::kDefaultIntervalS;
};

bool TakeHistoryOptions(std::vector<std::string> *args, BridgeHistory *h, std::string *error)
{
    std::vector<std::string> rest;
    for (size_t i = 0; i < args->size(); ++i) {
        const std::string &a = (*args)[i];
        if (a == "--history") {
            h->On = true;
        } else if (a == "--history-db" || a == "--history-interval") {
            if (i + 1 >= args->size() || (*args)[i + 1].empty()) {
                *error = a + " needs a value";
                return false;
            }
            const std::string &v = (*args)[++i];
            if (a == "--history-db") {
                h->Db = v;
            } else {
                char *end = nullptr;
                const long s = std::strtol(v.c_str(), &end, 10);
                if (*end != '\0' || s < 1 || s > 3600) {
                    *error = "--history-interval wants seconds from 1 to 3600, not '" + v + "'";
                    return false;
                }
                h->IntervalS = static_cast<int>(s);
            }
            h->On = true;
        } else {
            rest.push_back(a);
        }
    }
    *args = std::move(rest);
    return true;
}

}  // namespace

int CmdMqtt(const CliOptions &o, std::ostream &out, std::ostream &err)
{
    BridgeOptions options;
    std::string error;
    std::vector<std::string> args = o.Args;
    BridgeHistory history;
    if (!TakeHistoryOptions(&args, &history, &error)) {
        err << "quintavolte-cli: " << error << "\n";
        return 2;
    }
    // The link options given before the command stand above the bridge's file.
    if (o.AddressGiven)
        args.insert(args.end(), {"--address", std::to_string(o.Address)});
    if (o.RtsDirection)
        args.push_back("--rts-direction");
    if (!ParseBridgeOptions(args, &options, &error)) {
        err << "quintavolte-cli: " << error << "\n" << BridgeUsage();
        return 2;
    }
    if (options.Help) {
        out << BridgeUsage();
        return 0;
    }
    cActionManager manager;
    manager.SetMaxRead(o.MaxRead);
    manager.LineBaud = o.Baud;
    manager.SetUnitAddress(options.Address);
    manager.SetRtsDirection(options.RtsDirection);
    MqttBridge bridge(
        manager, options, [&err](const MqttLinkSettings &s) { return MakeMosquittoLink(s, err); }, err);
    // Recorded while the bridge holds the link: the recorder reads in the bridge's turns.
    std::unique_ptr<HistoryRecorder> recorder;
    if (history.On) {
        recorder = std::make_unique<HistoryRecorder>(manager, history.Db.empty() ? DefaultHistoryPath() : history.Db,
                                                     history.IntervalS);
        recorder->OnStopped = [&err](HistoryError, const std::string &text) {
            err << "quintavolte-cli: history recording stopped: " << text << "\n";
        };
    }
    return bridge.Run(g_cliStop);
}

#else

int CmdMqtt(const CliOptions &, std::ostream &, std::ostream &err)
{
    err << "quintavolte-cli: this build has no MQTT bridge\n";
    return 1;
}

#endif
