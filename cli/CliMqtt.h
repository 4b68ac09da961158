// The mqtt command: the device published to an MQTT broker until interrupted.
#pragma once
#include <ostream>

#include "cli/CliOptions.h"

// Runs the bridge on the ports of the command line; returns the exit status.
int CmdMqtt(const CliOptions &options, std::ostream &out, std::ostream &err);
