#include "cli/CliMqtt.h"

#include "cli/CliCommands.h"

#ifdef QV_HAVE_BRIDGE
#include "bridge/MqttBridge.h"

int CmdMqtt(const CliOptions &o, std::ostream &out, std::ostream &err)
{
    BridgeOptions options;
    std::string error;
    if (!ParseBridgeOptions(o.Args, &options, &error)) {
        err << "quintavolte-cli: " << error << "\n" << BridgeUsage();
        return 2;
    }
    if (options.Help) {
        out << BridgeUsage();
        return 0;
    }
    cActionManager manager;
    manager.Shell.MaxReadRegisters = o.MaxRead;
    manager.LineBaud = o.Baud;
    MqttBridge bridge(
        manager, options, [&err](const MqttLinkSettings &s) { return MakeMosquittoLink(s, err); }, err);
    return bridge.Run(g_cliStop);
}

#else

int CmdMqtt(const CliOptions &, std::ostream &, std::ostream &err)
{
    err << "quintavolte-cli: this build has no MQTT bridge\n";
    return 1;
}

#endif
